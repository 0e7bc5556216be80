// Item operations of a window: creation with the window's font, dialog
// units, moves, texts, enabling and showing by id, the standard button row
// and the list-view column fitter.
#include <algorithm>

#include "toolkit/list_columns.h"
#include "toolkit/window.h"

LHwnd LWindow::CreateChild(int id, const char16_t* cls, const char16_t* text, uint32_t style, uint32_t exstyle) {
    LHwnd h = LCreateWindowEx(exstyle, cls, text, style | LWS_CHILD, 0, 0, 0, 0, hwnd, id);
    if (h != LHwnd::Null) LSetWindowFont(h, LGetWindowFont(hwnd), true);
    return h;
}

int LWindow::DialogUnitsToPixelsX(int n) { return LMapDialogRect(hwnd, {n, 0, 0, 0}).left; }
int LWindow::DialogUnitsToPixelsY(int n) { return LMapDialogRect(hwnd, {0, n, 0, 0}).top; }

void LWindow::MoveItem(int id, int x, int y, int width, int height) {
    // Drop-down lists need no minimum height on current systems.
    LSetWindowPos(LGetDlgItem(hwnd, id), x, y, width, height, LSWP_NOZORDER | LSWP_NOCOPYBITS);
}

void LWindow::MoveItemDlgUnits(int id, const LRect& du) {
    LRect r = LMapDialogRect(hwnd, {du.left, du.top, du.left + du.right, du.top + du.bottom});
    LMoveWindow(LGetDlgItem(hwnd, id), r.left, r.top, r.right - r.left, r.bottom - r.top, true);
}

void LWindow::GetItemRect(int id, int* x, int* y, int* width, int* height) {
    LHwnd item = LGetDlgItem(hwnd, id);
    LRect r = LGetWindowRect(item);
    LPoint p = LScreenToClient(hwnd, {r.left, r.top});
    if (x) *x = p.x;
    if (y) *y = p.y;
    if (width) *width = r.Width();
    if (height) *height = r.Height();
}

void LWindow::GetItemText(int id, char16_t out[260]) { GetItemTextN(id, out, 260); }

void LWindow::GetItemTextN(int id, char16_t* out, int length) {
    if (!out || length <= 0) return;
    out[0] = 0;
    LSendMessage(LGetDlgItem(hwnd, id), LWM_GETTEXT, static_cast<LWParam>(length), reinterpret_cast<LLParam>(out));
}

void LWindow::SetItemText(int id, const char16_t* text) { LSetWindowText(LGetDlgItem(hwnd, id), text ? text : u""); }

void LWindow::EnableItem(int id, bool enable) {
    LHwnd item = LGetDlgItem(hwnd, id);
    // The focus leaves first, or a disabled control would keep it.
    if (!enable && item != LHwnd::Null && LGetFocus() == item) LPostMessage(hwnd, LWM_NEXTDLGCTL, 1, 0);
    LEnableWindow(item, enable);
}

void LWindow::EnableChoiceItems(bool enable) {
    for (int id = 112; id <= 116; ++id) EnableItem(id, enable);
}

void LWindow::ShowItemRange(int first, int last, bool show) {
    for (int id = first; id <= last; ++id) LShowWindow(LGetDlgItem(hwnd, id), show ? LSW_SHOW : LSW_HIDE);
}

int LWindow::PlaceStandardButtons(int client_width, int client_height) {
    int right = client_width - DialogUnitsToPixelsX(7);
    int top = client_height - DialogUnitsToPixelsY(21);
    int height = DialogUnitsToPixelsY(14);
    int gap = DialogUnitsToPixelsX(4);
    int narrow = DialogUnitsToPixelsX(50);
    auto place = [&](int id, bool may_widen) {
        if (LGetDlgItem(hwnd, id) == LHwnd::Null) return;
        int width = narrow;
        if (may_widen && GetItemTextWidthPadded(id) > narrow) width = DialogUnitsToPixelsX(80);
        right -= width;
        MoveItem(id, right, top, width, height);
        right -= gap;
    };
    place(LIDHELP, false);
    place(LIDCANCEL, true);
    // The task dialog's Close button stands where Cancel would.
    place(LIDCLOSE, true);
    place(LIDOK, true);
    return LGetDlgItem(hwnd, LIDOK) != LHwnd::Null ? gap : 0;
}

static LResult HookItemColors(LWindow*, LWParam w, LLParam l, const LHookBlock& b) {
    if (l != b.data) return 0;
    auto* dc = reinterpret_cast<LColorContext*>(w);
    LSetBkMode(dc, LTRANSPARENT);
    LSetTextColor(dc, static_cast<LColor>(b.value));
    return b.extra;
}

void LWindow::SetItemTextColors(int id, LColor text, LBrush background) {
    LHwnd item = LGetDlgItem(hwnd, id);
    AddMessageHook(LWM_CTLCOLORSTATIC, HookItemColors, LHwndToParam(item), static_cast<intptr_t>(text), background);
    LInvalidate(item);
}

static LResult HookItem998(LWindow*, LWParam w, LLParam l, const LHookBlock& b) {
    if (l != b.data) return 0;
    LSetBkMode(reinterpret_cast<LColorContext*>(w), LTRANSPARENT);
    return reinterpret_cast<const LBackgroundPainter*>(b.value)->brush;
}

void LWindow::SetItem998TextColor(const LBackgroundPainter* background) {
    LHwnd item = LGetDlgItem(hwnd, 998);
    AddMessageHook(LWM_CTLCOLORSTATIC, HookItem998, LHwndToParam(item), reinterpret_cast<intptr_t>(background), 0);
    LInvalidate(item);
}

LResult LHookStaticTextColor(LWindow* window, LWParam w, LLParam l, const LHookBlock& b) {
    if (l != b.data) return 0;
    auto* dc = reinterpret_cast<LColorContext*>(w);
    LSetBkMode(dc, LTRANSPARENT);
    LSetTextColor(dc, static_cast<LColor>(b.value));
    return LSendMessage(window->hwnd, LWM_CTLCOLORDLG, w, LHwndToParam(window->hwnd));
}

LResult LHookEditPromptColor(LWindow*, LWParam w, LLParam l, const LHookBlock& b) {
    if (l != b.data) return 0;
    if (LGetProp(LHwndFromParam(l), "PromptActive") != 1) return 0;
    LSetTextColor(reinterpret_cast<LColorContext*>(w), 0x555555);
    return LSysColorBrush(LCOLOR_WINDOW);
}

void LFitListColumns(const LListColumnSpec* table, uint32_t hidden, int client_width, int char_width, int* widths) {
    int64_t fixed = 0, stretch_total = 0;
    for (int i = 0; table[i].title; ++i) {
        if (hidden & (1u << i)) continue;
        int64_t weight = table[i].width_chars ? table[i].width_chars + 2 : 0;
        fixed += static_cast<int64_t>(char_width) * weight;
        if (table[i].stretch) stretch_total += weight;
    }
    int64_t spare = std::max<int64_t>(client_width - fixed, 0);
    for (int i = 0; table[i].title; ++i) {
        widths[i] = -1;
        if (hidden & (1u << i)) continue;
        int64_t weight = table[i].width_chars ? table[i].width_chars + 2 : 0;
        int64_t width = char_width * weight;
        if (table[i].stretch && stretch_total > 0) {
            int64_t share = spare * weight / stretch_total;
            width += share - 1;
            spare -= share;
            stretch_total -= weight;
        }
        widths[i] = static_cast<int>(width);
    }
}

const LListColumnSpec LProgramListColumns[] = {
    {u"Standard User", 50, LLVCFMT_LEFT, true},
    {nullptr, 0, 0, false},
};

void LWindow::InitListViewColumns() {
    LHwnd list = LGetDlgItem(hwnd, 107);
    if (list == LHwnd::Null) return;
    int n = 0;
    for (; LProgramListColumns[n].title; ++n) {
        LListColumnInfo c;
        c.title = LProgramListColumns[n].title;
        c.width = LProgramListColumns[n].width_chars;
        c.format = LProgramListColumns[n].format;
        LSendMessage(list, LLVM_INSERTCOLUMN, static_cast<LWParam>(n), reinterpret_cast<LLParam>(&c));
    }
    LSendMessage(list, LLVM_SETEXTENDEDLISTVIEWSTYLE, 0, LLVS_EX_FULLROWSELECT | LLVS_EX_DOUBLEBUFFER);
    LApplyExplorerTheme(list);
    std::vector<int> widths(static_cast<size_t>(n));
    LFitListColumns(LProgramListColumns, static_cast<uint32_t>(LGetProp(list, "HideCols")),
                    LGetClientRect(list).right, DialogUnitsToPixelsX(4), widths.data());
    for (int i = 0; i < n; ++i)
        if (widths[static_cast<size_t>(i)] >= 0)
            LSendMessage(list, LLVM_SETCOLUMNWIDTH, static_cast<LWParam>(i), widths[static_cast<size_t>(i)]);
}

void LForceForegroundWindow(LHwnd window) {
    // The window is presented; no synthetic key presses are made to get
    // past focus-stealing rules.
    LSetForegroundWindow(window);
}

LBackgroundPainter::Fill LBackgroundPainter::FillBackground(LHwnd window) const {
    Fill f;
    LColor c;
    switch (fill_mode) {
    case 1: f = {1, first, 0}; break;
    case 2:
        if (LBrushColor(brush, &c)) f = {1, c, 0};
        break;
    case 4: f = {2, first, second}; break;
    case 5: f = {3, first, second}; break;
    case 7: {
        LColorContext dc;
        LBrush b = LSendMessage(LGetParent(window), LWM_CTLCOLORSTATIC, reinterpret_cast<LWParam>(&dc),
                                LHwndToParam(window));
        if (LBrushColor(b, &c)) f = {1, c, 0};
        break;
    }
    default: break;  // 3 (a picture) has none here, other modes paint nothing
    }
    return f;
}
