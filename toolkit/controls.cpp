// The standard control classes: their state lives in the window record and
// the backend shows it; the procedures answer the controls' messages.
#include "toolkit/controls.h"

#include <algorithm>
#include <mutex>

#include "toolkit/combo_box.h"
#include "toolkit/tab_control.h"
#include "toolkit/window_record.h"

LResult LDialogClassProc(LHwnd h, uint32_t msg, LWParam w, LLParam l);

namespace {

void Changed(LWnd& w, uint32_t what) {
    if (LBackend()) LBackend()->Changed(w, what);
}

void ApplyCheck(LHwnd h, int check, bool sync) {
    LWndRef w = LWndFind(h);
    if (!w) return;
    uint32_t type = w->style & LBS_TYPEMASK;
    if (type == LBS_AUTORADIOBUTTON && check) {
        for (LHwnd r : LRadioGroup(h)) {
            LWndRef rw = LWndFind(r);
            if (!rw) continue;
            int c = r == h ? 1 : 0;
            if (rw->check != c) {
                rw->check = c;
                if (sync) Changed(*rw, LChangeState);
            }
        }
        return;
    }
    if (w->check != check) {
        w->check = check;
        if (sync) Changed(*w, LChangeState);
    }
}

int ClickedCheck(const LWnd& w) {
    switch (w.style & LBS_TYPEMASK) {
    case LBS_AUTOCHECKBOX: return w.check ? 0 : 1;
    case LBS_AUTORADIOBUTTON: return 1;
    default: return w.check;
    }
}

void NotifyParent(LHwnd h, bool post) {
    LWndRef w = LWndFind(h);
    if (!w || w->parent == LHwnd::Null) return;
    LWParam wp = LMakeWParam(static_cast<uint32_t>(w->id), LBN_CLICKED);
    if (post) {
        LMsg m;
        m.hwnd = w->parent;
        m.message = LWM_COMMAND;
        m.wParam = wp;
        m.lParam = LHwndToParam(h);
        LPostInput(m);
    } else {
        LSendMessage(w->parent, LWM_COMMAND, wp, LHwndToParam(h));
    }
}

LResult ButtonProc(LHwnd h, uint32_t msg, LWParam wp, LLParam lp) {
    LWndRef w = LWndFind(h);
    if (!w) return 0;
    switch (msg) {
    case LBM_GETCHECK: return w->check;
    case LBM_SETCHECK: ApplyCheck(h, static_cast<int>(wp), true); return 0;
    case LBM_CLICK:
        if (!w->enabled) return 0;
        ApplyCheck(h, ClickedCheck(*w), true);
        NotifyParent(h, false);
        return 0;
    case LWM_KEYDOWN:
        // The backend's toolkit presses a focused button on space itself.
        if (wp == LVK_SPACE && !LCurrentInputHandledBySystem()) return ButtonProc(h, LBM_CLICK, 0, 0);
        return 0;
    default: return LDefWindowProc(h, msg, wp, lp);
    }
}

LResult StaticProc(LHwnd h, uint32_t msg, LWParam wp, LLParam lp) {
    if (msg == LSTM_SETICON) {
        LWndRef w = LWndFind(h);
        if (!w) return 0;
        intptr_t old = w->icon;
        w->icon = static_cast<intptr_t>(wp);
        Changed(*w, LChangeState);
        return old;
    }
    return LDefWindowProc(h, msg, wp, lp);
}

LResult EditProc(LHwnd h, uint32_t msg, LWParam wp, LLParam lp) {
    if (msg == LEM_LIMITTEXT) {
        // What the user may type; text set by the program is not cut.
        LWndRef w = LWndFind(h);
        if (!w) return 0;
        w->text_limit = static_cast<int>(std::min<LWParam>(wp, 0x7FFFFFFE));
        Changed(*w, LChangeState);
        return 0;
    }
    if (msg == LEM_SETCUEBANNER) {
        LWndRef w = LWndFind(h);
        if (!w) return 0;
        w->cue = lp ? reinterpret_cast<const char16_t*>(lp) : u"";
        w->cue_when_focused = wp != 0;
        Changed(*w, LChangeState);
        return 1;
    }
    return LDefWindowProc(h, msg, wp, lp);
}

LResult ProgressProc(LHwnd h, uint32_t msg, LWParam wp, LLParam lp) {
    LWndRef w = LWndFind(h);
    if (!w) return 0;
    switch (msg) {
    case LPBM_SETRANGE: {
        LResult old = static_cast<LResult>(LMakeWParam(static_cast<uint32_t>(w->range_lo), static_cast<uint32_t>(w->range_hi)));
        w->range_lo = static_cast<int>(LLoWord(static_cast<uintptr_t>(lp)));
        w->range_hi = static_cast<int>(LHiWord(static_cast<uintptr_t>(lp)));
        Changed(*w, LChangeState);
        return old;
    }
    case LPBM_SETPOS: {
        int old = w->pos;
        w->pos = std::clamp(static_cast<int>(wp), w->range_lo, w->range_hi);
        Changed(*w, LChangeState);
        return old;
    }
    case LPBM_GETPOS: return w->pos;
    case LPBM_SETMARQUEE:
        w->marquee = wp != 0 && (w->style & LPBS_MARQUEE);
        Changed(*w, LChangeState);
        return 1;
    case LPBM_SETSTATE: {
        int old = w->bar_state;
        w->bar_state = static_cast<int>(wp);
        Changed(*w, LChangeState);
        return old;
    }
    case LPBM_GETSTATE: return w->bar_state;
    default: return LDefWindowProc(h, msg, wp, lp);
    }
}

LResult ListViewProc(LHwnd h, uint32_t msg, LWParam wp, LLParam lp) {
    LWndRef w = LWndFind(h);
    if (!w) return 0;
    switch (msg) {
    case LLVM_INSERTCOLUMN: {
        if (!lp) return -1;
        auto* c = reinterpret_cast<const LListColumnInfo*>(lp);
        size_t at = std::min<size_t>(wp, w->columns.size());
        w->columns.insert(w->columns.begin() + static_cast<ptrdiff_t>(at), {c->title ? c->title : u"", c->width, c->format});
        Changed(*w, LChangeList);
        return static_cast<LResult>(at);
    }
    case LLVM_SETCOLUMNWIDTH:
        if (wp >= w->columns.size()) return 0;
        w->columns[wp].width = static_cast<int>(lp);
        Changed(*w, LChangeList);
        return 1;
    case LLVM_GETCOLUMNWIDTH: return wp < w->columns.size() ? w->columns[wp].width : 0;
    case LLVM_SETEXTENDEDLISTVIEWSTYLE: {
        uint32_t old = w->list_ex_style;
        uint32_t mask = wp ? static_cast<uint32_t>(wp) : 0xFFFFFFFFu;
        w->list_ex_style = (old & ~mask) | (static_cast<uint32_t>(lp) & mask);
        return old;
    }
    case LLVM_INSERTITEM:
        w->rows.emplace_back(lp ? reinterpret_cast<const char16_t*>(lp) : u"");
        Changed(*w, LChangeList);
        return static_cast<LResult>(w->rows.size() - 1);
    case LLVM_GETITEMCOUNT: return static_cast<LResult>(w->rows.size());
    case LLVM_ISGROUPVIEWENABLED: return 0;
    default: return LDefWindowProc(h, msg, wp, lp);
    }
}

LResult TooltipMessage(const LWndRef& w, LHwnd h, uint32_t msg, LWParam wp, LLParam lp);

LToolEntry* FindTool(LWnd& w, LHwnd tool) {
    for (LToolEntry& t : w.tools)
        if (t.tool == tool) return &t;
    return nullptr;
}

// The bubble's size from its text, title and close box, so that the
// placement arithmetic sees what the screen shows.
void SizeTip(LWnd& w) {
    const LToolEntry* shown = nullptr;
    for (const LToolEntry& t : w.tools)
        if (t.flags & LTTF_TRACK) shown = &t;
    if (!shown) return;
    LFontDesc font = LGetInterfaceFont();
    constexpr int kPad = 8;
    LSize text = LMeasureText(font, shown->text, w.max_tip_width > 0 ? w.max_tip_width - 2 * kPad : 0);
    int width = text.cx, height = text.cy;
    if (!w.tip_title.empty()) {
        LFontDesc bold = font;
        bold.weight = 700;
        LSize t = LMeasureText(bold, w.tip_title, 0);
        width = std::max(width, t.cx + (w.tip_icon ? t.cy + 4 : 0));
        height += t.cy + 4;
    }
    if (w.style & LTTS_CLOSE) width += 20;
    w.rect.right = w.rect.left + width + 2 * kPad;
    w.rect.bottom = w.rect.top + height + 2 * kPad;
}

LResult TooltipProc(LHwnd h, uint32_t msg, LWParam wp, LLParam lp) {
    LWndRef w = LWndFind(h);
    if (!w) return 0;
    LResult r = TooltipMessage(w, h, msg, wp, lp);
    switch (msg) {
    case LTTM_ADDTOOL:
    case LTTM_UPDATETIPTEXT:
    case LTTM_SETTITLE:
    case LTTM_SETMAXTIPWIDTH:
        if (!w->destroyed) {
            SizeTip(*w);
            Changed(*w, LChangeRect);
        }
        break;
    default: break;
    }
    return r;
}

LResult TooltipMessage(const LWndRef& w, LHwnd h, uint32_t msg, LWParam wp, LLParam lp) {
    auto* info = reinterpret_cast<LToolInfo*>(lp);
    switch (msg) {
    case LTTM_ADDTOOL:
        if (!info || info->tool == LHwnd::Null) return 0;
        if (LToolEntry* t = FindTool(*w, info->tool)) {
            t->flags = info->flags;
            t->text = info->text ? info->text : u"";
        } else {
            w->tools.push_back({info->tool, info->flags, info->text ? info->text : u""});
        }
        Changed(*w, LChangeTools);
        return 1;
    case LTTM_UPDATETIPTEXT:
        if (!info) return 0;
        if (LToolEntry* t = FindTool(*w, info->tool)) {
            t->text = info->text ? info->text : u"";
            Changed(*w, LChangeTools);
        }
        return 0;
    case LTTM_GETTEXT:
        if (!info || !info->text_out) return 0;
        info->text_out[0] = 0;
        if (LToolEntry* t = FindTool(*w, info->tool)) {
            size_t n = std::min<size_t>(t->text.size(), 259);
            std::copy(t->text.begin(), t->text.begin() + static_cast<ptrdiff_t>(n), info->text_out);
            info->text_out[n] = 0;
        }
        return 0;
    case LTTM_TRACKACTIVATE:
        w->track_active = wp != 0;
        w->visible = w->track_active;
        Changed(*w, LChangeVisible | LChangeTools);
        return 0;
    case LTTM_TRACKPOSITION: {
        w->track_pos = {static_cast<int16_t>(LLoWord(static_cast<uintptr_t>(lp))),
                        static_cast<int16_t>(LHiWord(static_cast<uintptr_t>(lp)))};
        int width = w->rect.Width(), height = w->rect.Height();
        w->rect = {w->track_pos.x, w->track_pos.y, w->track_pos.x + width, w->track_pos.y + height};
        Changed(*w, LChangeRect);
        return 0;
    }
    case LTTM_SETMAXTIPWIDTH: {
        int old = w->max_tip_width;
        w->max_tip_width = static_cast<int>(lp);
        return old;
    }
    case LTTM_SETTITLE:
        w->tip_icon = static_cast<int>(wp);
        w->tip_title = lp ? reinterpret_cast<const char16_t*>(lp) : u"";
        Changed(*w, LChangeTools);
        return 1;
    case LTTM_GETBUBBLESIZE: return static_cast<LResult>(LMakeWParam(static_cast<uint32_t>(w->rect.Width()),
                                                                      static_cast<uint32_t>(w->rect.Height())));
    default: return LDefWindowProc(h, msg, wp, lp);
    }
}

}  // namespace

void LButtonClicked(LHwnd h, int new_check) {
    ApplyCheck(h, new_check, false);
    NotifyParent(h, true);
}

void LRegisterStandardClasses() {
    static std::once_flag once;
    std::call_once(once, [] {
        LRegisterClass(u"#32770", LDialogClassProc);
        LRegisterClass(u"Button", ButtonProc);
        LRegisterClass(u"Static", StaticProc);
        LRegisterClass(u"Edit", EditProc);
        LRegisterClass(u"ComboBox", LComboBoxProc);
        LRegisterClass(u"msctls_progress32", ProgressProc);
        LRegisterClass(u"SysListView32", ListViewProc);
        LRegisterClass(u"tooltips_class32", TooltipProc);
        LRegisterClass(u"SysTabControl32", LTabControlProc);
    });
}
