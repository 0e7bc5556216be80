#include "toolkit/combo_box.h"

#include <algorithm>

#include "toolkit/window_record.h"

namespace {

void Changed(LWnd& w, uint32_t what) {
    if (LBackend()) LBackend()->Changed(w, what);
}

}  // namespace

LResult LComboBoxProc(LHwnd h, uint32_t msg, LWParam wp, LLParam lp) {
    LWndRef w = LWndFind(h);
    if (!w) return 0;
    switch (msg) {
    case LCB_ADDSTRING:
        if (w->rows.size() >= LComboMaxItems) return LCB_ERR;
        w->rows.emplace_back(lp ? reinterpret_cast<const char16_t*>(lp) : u"");
        Changed(*w, LChangeList);
        return static_cast<LResult>(w->rows.size() - 1);
    case LCB_GETCOUNT: return static_cast<LResult>(w->rows.size());
    case LCB_GETCURSEL: return w->cur_sel;
    case LCB_SETCURSEL:
        // An index beyond the list clears the choice and answers CB_ERR.
        w->cur_sel = wp < w->rows.size() ? static_cast<int>(wp) : -1;
        Changed(*w, LChangeState);
        return w->cur_sel < 0 ? LCB_ERR : w->cur_sel;
    case LCB_GETLBTEXTLEN: return wp < w->rows.size() ? static_cast<LResult>(w->rows[wp].size()) : LCB_ERR;
    case LCB_GETLBTEXT: {
        if (wp >= w->rows.size() || !lp) return LCB_ERR;
        const std::u16string& t = w->rows[wp];
        auto* out = reinterpret_cast<char16_t*>(lp);
        std::copy(t.begin(), t.end(), out);
        out[t.size()] = 0;
        return static_cast<LResult>(t.size());
    }
    case LCB_RESETCONTENT:
        w->rows.clear();
        w->cur_sel = -1;
        Changed(*w, LChangeList | LChangeState);
        return 0;
    default: return LDefWindowProc(h, msg, wp, lp);
    }
}

void LComboSelectedByUser(LHwnd h, int index) {
    LWndRef w = LWndFind(h);
    if (!w || index < 0 || static_cast<size_t>(index) >= w->rows.size() || w->cur_sel == index) return;
    w->cur_sel = index;
    if (w->parent == LHwnd::Null) return;
    LMsg m;
    m.hwnd = w->parent;
    m.message = LWM_COMMAND;
    m.wParam = LMakeWParam(static_cast<uint32_t>(w->id), LCBN_SELCHANGE);
    m.lParam = LHwndToParam(h);
    LPostInput(m);
}
