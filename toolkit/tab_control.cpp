#include "toolkit/tab_control.h"

#include <algorithm>

#include "toolkit/window.h"
#include "toolkit/window_record.h"

namespace {

// A pick from the user, queued as input so the parent hears of it from
// the loop.
constexpr uint32_t kPicked = LWM_APP + 0x7F01;

// The tabs are the record's rows; the selection its current-item slot.
void Changed(LWnd& w) { LWndNotify(w, LChangeList); }

}  // namespace

LResult LTabControlProc(LHwnd h, uint32_t msg, LWParam wp, LLParam lp) {
    LWndRef w = LWndFind(h);
    if (!w) return 0;
    switch (msg) {
    case LTCM_INSERTITEM: {
        size_t at = std::min<size_t>(wp, w->rows.size());
        w->rows.insert(w->rows.begin() + static_cast<ptrdiff_t>(at), lp ? reinterpret_cast<const char16_t*>(lp) : u"");
        if (w->cur_sel < 0) w->cur_sel = 0;
        else if (static_cast<size_t>(w->cur_sel) >= at) ++w->cur_sel;
        Changed(*w);
        return static_cast<LResult>(at);
    }
    case LTCM_DELETEITEM: {
        if (wp >= w->rows.size()) return 0;
        w->rows.erase(w->rows.begin() + static_cast<ptrdiff_t>(wp));
        int index = static_cast<int>(wp);
        if (w->cur_sel > index || w->cur_sel >= static_cast<int>(w->rows.size())) --w->cur_sel;
        Changed(*w);
        return 1;
    }
    case LTCM_GETITEMCOUNT: return static_cast<LResult>(w->rows.size());
    case LTCM_GETCURSEL: return w->cur_sel;
    case LTCM_SETCURSEL: {
        int old = w->cur_sel;
        if (wp >= w->rows.size()) return -1;
        w->cur_sel = static_cast<int>(wp);
        Changed(*w);
        return old;
    }
    case kPicked: {
        int index = static_cast<int>(wp);
        if (index < 0 || index >= static_cast<int>(w->rows.size()) || index == w->cur_sel) return 0;
        w->cur_sel = index;
        LNotifyHeader nh{h, static_cast<uintptr_t>(w->id), LTCN_SELCHANGE};
        LSendMessage(LGetParent(h), LWM_NOTIFY, static_cast<LWParam>(w->id), reinterpret_cast<LLParam>(&nh));
        return 0;
    }
    default: return LDefWindowProc(h, msg, wp, lp);
    }
}

void LTabPickedByUser(LHwnd h, int index) {
    LMsg m;
    m.hwnd = h;
    m.message = kPicked;
    m.wParam = static_cast<LWParam>(index);
    LPostInput(m);
}

std::vector<std::u16string> LTabTitles(LHwnd h) {
    LWndRef w = LWndFind(h);
    return w ? w->rows : std::vector<std::u16string>{};
}
