#include "toolkit/property_sheet.h"

#include <memory>

#include "toolkit/window_record.h"

LResult LPropertyPage::BaseHandleMessage(uint32_t msg, LWParam w, LLParam l) {
    LAliveCheck alive(this);
    switch (msg) {
    case LWM_NOTIFY: {
        auto* nh = reinterpret_cast<const LNotifyHeader*>(l);
        if (!nh || (nh->from != LGetParent(hwnd) && nh->from != hwnd)) break;
        LHwnd h = hwnd;
        switch (nh->code) {
        case LPSN_QUERYCANCEL: {
            bool ok = OnCancel();
            if (alive.Alive()) LSetWindowLongPtr(h, LDWLP_MSGRESULT, ok ? 0 : 1);
            return 1;
        }
        case LPSN_HELP: OnHelp(); return 1;
        case LPSN_APPLY: {
            bool ok = OnOk();
            if (alive.Alive()) LSetWindowLongPtr(h, LDWLP_MSGRESULT, ok ? 0 : 1);
            return 1;
        }
        case LPSN_KILLACTIVE:
            OnDeactivate();
            if (alive.Alive()) LSetWindowLongPtr(h, LDWLP_MSGRESULT, 0);
            return 1;
        default: break;
        }
        break;
    }
    case LWM_COMMAND:
        // The sheet owns OK and Cancel; Enter on a page must not end it.
        if (LLoWord(w) == LIDOK || LLoWord(w) == LIDCANCEL) return 1;
        break;
    default: break;
    }
    return LDialog::HandleMessage(msg, w, l);
}

intptr_t LPropertyPageDialogProc(LHwnd h, uint32_t msg, LWParam w, LLParam l) {
    if (msg == LWM_INITDIALOG && l) {
        LSetWindowLongPtr(h, LDWLP_USER, l);
        auto* page = reinterpret_cast<LPropertyPage*>(l);
        page->hwnd = h;
        page->bound = h;
        return page->HandleMessage(msg, w, l);
    }
    return LDialogProc(h, msg, w, l);
}

void LShowPageWarningBalloon(LPropertyPage* page, int item, const char16_t* text) {
    LHwnd sheet = LGetParent(page->hwnd);
    for (int index = 0; index < 65; ++index) {
        if (LHwndFromParam(LSendMessage(sheet, LPSM_GETCURRENTPAGEHWND, 0, 0)) == page->hwnd) break;
        LSendMessage(sheet, LPSM_SETCURSEL, static_cast<LWParam>(index), 0);
    }
    page->ShowBalloonTip(item, text, 2, u"Uninstall Reason");
}

namespace {

constexpr const char* kState = "PropertySheetState";

struct Sheet {
    LPropertySheetSpec spec;
    std::vector<LHwnd> windows;
    int current = -1;
    bool ended = false;
    intptr_t result = 0;
    int header = 0;  // pixels above the page area
};

Sheet* StateOf(LHwnd h) { return reinterpret_cast<Sheet*>(LGetProp(h, kState)); }

LResult Notify(LHwnd sheet, LHwnd page, int code) {
    if (page == LHwnd::Null) return 0;
    LSetWindowLongPtr(page, LDWLP_MSGRESULT, 0);
    LNotifyHeader nh{sheet, 0, code};
    LSendMessage(page, LWM_NOTIFY, 0, reinterpret_cast<LLParam>(&nh));
    return LIsWindow(page) ? LGetWindowLongPtr(page, LDWLP_MSGRESULT) : 0;
}

LHwnd CurrentPage(Sheet* s) {
    return s->current >= 0 && s->current < static_cast<int>(s->windows.size()) ? s->windows[s->current] : LHwnd::Null;
}

LHwnd MakePage(LHwnd sheet, Sheet* s, int index) {
    LRect area = LMapDialogRect(sheet, {0, 0, s->spec.width, s->spec.height});
    LHwnd h = LCreateWindowEx(0, u"#32770", u"", LWS_CHILD, 0, s->header, area.right, area.bottom, sheet, 0);
    if (LWndRef w = LWndFind(h)) {
        w->is_dialog = true;
        w->dlgproc = LPropertyPageDialogProc;
        w->font = LGetWindowFont(sheet);
    }
    s->windows[static_cast<size_t>(index)] = h;
    LSendMessage(h, LWM_INITDIALOG, 0, reinterpret_cast<LLParam>(s->spec.pages[static_cast<size_t>(index)]));
    return h;
}

bool Select(LHwnd sheet, Sheet* s, int index) {
    if (index < 0 || index >= static_cast<int>(s->spec.pages.size())) return false;
    LHwnd old = CurrentPage(s);
    if (old != LHwnd::Null && Notify(sheet, old, LPSN_KILLACTIVE) != 0) return false;
    LHwnd page = s->windows[static_cast<size_t>(index)];
    if (page == LHwnd::Null || !LIsWindow(page)) page = MakePage(sheet, s, index);
    if (old != LHwnd::Null && old != page) LShowWindow(old, LSW_HIDE);
    s->current = index;
    if (s->header > 0) {
        auto text = [index](const std::vector<std::u16string>& v) {
            return static_cast<size_t>(index) < v.size() ? v[static_cast<size_t>(index)] : std::u16string();
        };
        LSetWindowText(LGetDlgItem(sheet, LIDC_HEADER_TITLE), text(s->spec.header_titles));
        LSetWindowText(LGetDlgItem(sheet, LIDC_HEADER_SUBTITLE), text(s->spec.header_subtitles));
    }
    LShowWindow(page, LSW_SHOW);
    Notify(sheet, page, LPSN_SETACTIVE);
    return true;
}

void End(LHwnd sheet, Sheet* s, intptr_t result) {
    s->ended = true;
    s->result = result;
    LEndDialog(sheet, result);
}

void Press(LHwnd sheet, Sheet* s, int button) {
    LHwnd page = CurrentPage(s);
    switch (button) {
    case LPSBTN_BACK:
        if (Notify(sheet, page, LPSN_WIZBACK) != -1) Select(sheet, s, s->current - 1);
        break;
    case LPSBTN_NEXT:
        if (Notify(sheet, page, LPSN_WIZNEXT) == 0) Select(sheet, s, s->current + 1);
        break;
    case LPSBTN_FINISH:
        if (Notify(sheet, page, LPSN_WIZFINISH) == 0) End(sheet, s, 1);
        break;
    case LPSBTN_CANCEL:
        if (Notify(sheet, page, LPSN_QUERYCANCEL) == 0) End(sheet, s, 0);
        break;
    case LPSBTN_HELP: Notify(sheet, page, LPSN_HELP); break;
    default: break;
    }
}

void SetButtons(LHwnd sheet, uint32_t flags) {
    LEnableWindow(LGetDlgItem(sheet, LIDC_BACK), (flags & LPSWIZB_BACK) != 0);
    LEnableWindow(LGetDlgItem(sheet, LIDC_NEXT), (flags & LPSWIZB_NEXT) != 0);
    bool finish = (flags & (LPSWIZB_FINISH | LPSWIZB_DISABLEDFINISH)) != 0;
    LShowWindow(LGetDlgItem(sheet, LIDC_FINISH), finish ? LSW_SHOW : LSW_HIDE);
    LShowWindow(LGetDlgItem(sheet, LIDC_NEXT), finish ? LSW_HIDE : LSW_SHOW);
    LEnableWindow(LGetDlgItem(sheet, LIDC_FINISH), (flags & LPSWIZB_FINISH) != 0);
}

void ShowButtons(LHwnd sheet, uint32_t shown, uint32_t mask) {
    const struct {
        uint32_t flag;
        int id;
    } kButtons[] = {{LPSWIZB_BACK, LIDC_BACK},     {LPSWIZB_NEXT, LIDC_NEXT}, {LPSWIZB_FINISH, LIDC_FINISH},
                    {LPSWIZB_CANCEL, LIDCANCEL}, {LPSWIZB_HELP, LIDHELP}};
    for (const auto& b : kButtons)
        if (mask & b.flag) LShowWindow(LGetDlgItem(sheet, b.id), (shown & b.flag) ? LSW_SHOW : LSW_HIDE);
}

void Build(LHwnd sheet, Sheet* s) {
    LRect area = LMapDialogRect(sheet, {0, 0, s->spec.width, s->spec.height});
    LRect unit = LMapDialogRect(sheet, {0, 0, 50, 14});
    LRect gap = LMapDialogRect(sheet, {0, 0, 7, 7});
    if (!s->spec.header_titles.empty() || !s->spec.header_subtitles.empty()) {
        // Title and subtitle lines, each 10 high, then a gap to the page.
        LRect line = LMapDialogRect(sheet, {0, 0, 0, 10});
        LCreateWindowEx(0, u"Static", u"", LWS_CHILD | LWS_VISIBLE, gap.right, gap.bottom / 2, area.right - 2 * gap.right,
                        line.bottom, sheet, LIDC_HEADER_TITLE);
        LCreateWindowEx(0, u"Static", u"", LWS_CHILD | LWS_VISIBLE, 2 * gap.right, gap.bottom / 2 + line.bottom,
                        area.right - 3 * gap.right, line.bottom, sheet, LIDC_HEADER_SUBTITLE);
        s->header = gap.bottom + 2 * line.bottom;
    }
    int width = area.right, top = s->header + area.bottom + gap.bottom;
    const struct {
        int id;
        const char16_t* text;
    } kButtons[] = {{LIDHELP, u"Help"}, {LIDCANCEL, u"Cancel"}, {LIDC_FINISH, u"Finish"}, {LIDC_NEXT, u"&Next >"},
                    {LIDC_BACK, u"< &Back"}};
    int x = width - gap.right;
    for (const auto& b : kButtons) {
        if (b.id == LIDC_NEXT) x += unit.right + gap.right / 2;  // Next and Finish share a place
        x -= unit.right;
        LHwnd h = LCreateWindowEx(0, u"Button", b.text, LWS_CHILD | LWS_VISIBLE | LWS_TABSTOP, x, top, unit.right,
                                  unit.bottom, sheet, b.id);
        if (b.id == LIDHELP) LShowWindow(h, LSW_HIDE);
        x -= gap.right / 2;
    }
    LSetWindowPos(sheet, 0, 0, width, top + unit.bottom + gap.bottom, LSWP_NOMOVE | LSWP_NOZORDER);
    SetButtons(sheet, LPSWIZB_NEXT);
    s->windows.assign(s->spec.pages.size(), LHwnd::Null);
    Select(sheet, s, 0);
}

intptr_t SheetProc(LHwnd h, uint32_t msg, LWParam w, LLParam l) {
    if (msg == LWM_INITDIALOG) {
        LSetProp(h, kState, l);
        Build(h, reinterpret_cast<Sheet*>(l));
        return 0;
    }
    Sheet* s = StateOf(h);
    if (!s) return 0;
    auto answer = [h](LResult r) {
        LSetWindowLongPtr(h, LDWLP_MSGRESULT, r);
        return 1;
    };
    switch (msg) {
    case LPSM_SETCURSEL: return answer(Select(h, s, static_cast<int>(w)) ? 1 : 0);
    case LPSM_GETCURRENTPAGEHWND: return answer(LHwndToParam(CurrentPage(s)));
    case LPSM_SETWIZBUTTONS: SetButtons(h, static_cast<uint32_t>(l)); return answer(0);
    case LPSM_SHOWWIZBUTTONS: ShowButtons(h, static_cast<uint32_t>(w), static_cast<uint32_t>(l)); return answer(0);
    case LPSM_PRESSBUTTON: Press(h, s, static_cast<int>(w)); return answer(0);
    case LWM_CLOSE: Press(h, s, LPSBTN_CANCEL); return 1;
    case LWM_COMMAND:
        switch (LLoWord(w)) {
        case LIDC_BACK: Press(h, s, LPSBTN_BACK); return 1;
        case LIDC_NEXT: Press(h, s, LPSBTN_NEXT); return 1;
        case LIDC_FINISH: Press(h, s, LPSBTN_FINISH); return 1;
        case LIDCANCEL: Press(h, s, LPSBTN_CANCEL); return 1;
        case LIDHELP: Press(h, s, LPSBTN_HELP); return 1;
        default: return 0;
        }
    case LWM_DESTROY:
        LRemoveProp(h, kState);
        delete reinterpret_cast<Sheet*>(LRemoveProp(h, "PropertySheetOwned"));
        return 0;
    default: return 0;
    }
}

LDialogCreate SheetTemplate(const LPropertySheetSpec& spec) {
    LDialogCreate t;
    t.title = spec.title;
    t.style = LWS_POPUP | LWS_CAPTION | LWS_SYSMENU | LDS_CENTER | LDS_SETFONT;
    t.cx = spec.width;
    t.cy = spec.height + 28 + (spec.header_titles.empty() && spec.header_subtitles.empty() ? 0 : 24);
    return t;
}

}  // namespace

intptr_t LPropertySheetRun(const LPropertySheetSpec& spec, LHwnd owner) {
    if (spec.pages.empty()) return -1;
    auto s = std::make_unique<Sheet>();
    s->spec = spec;
    intptr_t r = LDialogBox(SheetTemplate(spec), owner, SheetProc, reinterpret_cast<LLParam>(s.get()));
    return r < 0 ? -1 : s->result;
}

LHwnd LPropertySheetCreate(const LPropertySheetSpec& spec, LHwnd owner) {
    if (spec.pages.empty()) return LHwnd::Null;
    auto* s = new Sheet{spec, {}, -1, false, 0, 0};
    LDialogCreate t = SheetTemplate(spec);
    t.style |= LWS_VISIBLE;
    LHwnd h = LCreateDialog(t, owner, SheetProc, reinterpret_cast<LLParam>(s));
    if (h == LHwnd::Null) {
        delete s;
        return h;
    }
    // A modeless sheet's state goes with its window.
    LSetProp(h, "PropertySheetOwned", reinterpret_cast<intptr_t>(s));
    return h;
}

bool LPropertySheetEnded(LHwnd sheet, intptr_t* result) {
    auto* s = reinterpret_cast<Sheet*>(LGetProp(sheet, "PropertySheetOwned"));
    if (!s || !s->ended) return false;
    if (result) *result = s->result;
    return true;
}
