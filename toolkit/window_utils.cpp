// Window utilities: font copies and variants, icons, placement on the work
// area, text measuring, list rows, command links and the search prompt.
#include <algorithm>
#include <cmath>

#include "toolkit/text_cut.h"
#include "toolkit/window.h"

LFontDesc LDefaultDialogFont() { return LGetInterfaceFont(); }

static LFontDesc FontOf(LHwnd window) {
    LFont f = LGetWindowFont(window);
    return f ? *f : LDefaultDialogFont();
}

// A font's height in the pixels of a 96-dot screen, negative as a
// character height; sizes in points convert at 72 points per inch.
int LFontHeight(const LFontDesc& f) { return -static_cast<int>(std::lround(f.points * 96.0 / 72.0)); }

void LCreateWindowFontCopy(LFont& slot, LHwnd window) { slot = LMakeFont(FontOf(window)); }

void LCreateWindowFontVariant(LFont& slot, LHwnd window, int n, bool bold, bool underline) {
    LFontDesc f = FontOf(window);
    int height = LFontHeight(f);
    height = height > 0 ? height + n : height - n;
    f.points = std::abs(height) * 72.0 / 96.0;
    if (bold) f.weight = 700;
    f.underline = underline;
    slot = LMakeFont(f);
}

void LWindow::SetIcons(int big_id, int small_id) {
    uint32_t ex = static_cast<uint32_t>(LGetWindowLongPtr(hwnd, LGWL_EXSTYLE));
    if (ex & LWS_EX_DLGMODALFRAME) {
        LSetWindowLongPtr(hwnd, LGWL_EXSTYLE, ex & ~LWS_EX_DLGMODALFRAME);
        LSetWindowPos(hwnd, 0, 0, 0, 0, LSWP_FRAMECHANGED | LSWP_NOMOVE | LSWP_NOSIZE | LSWP_NOZORDER);
    }
    LSendMessage(hwnd, LWM_SETICON, 1, LMakeIcon(big_id, 32));
    LSendMessage(hwnd, LWM_SETICON, 0, LMakeIcon(small_id, 16));
}

// Icons are values here, so a private copy needs nothing destroyed.
void LWindow::SetIconsOwned(int big_id, int small_id) { SetIcons(big_id, small_id); }

static LRect PlacementArea(LHwnd h) {
    LRect r = LGetWindowRect(h);
    return LGetWorkArea({(r.left + r.right) / 2, (r.top + r.bottom) / 2});
}

void LWindow::MoveClampedToDesktop(int x, int y, int width, int height) {
    LRect d = PlacementArea(hwnd);
    width = std::min(width, d.Width());
    height = std::min(height, d.Height());
    x = std::max(x, d.left);
    y = std::max(y, d.top);
    if (x + width > d.right) x = d.right - width;
    if (y + height > d.bottom) y = d.bottom - height;
    LMoveWindow(hwnd, x, y, width, height, true);
}

void LWindow::SetClientSize(int width, int height) {
    LRect w = LGetWindowRect(hwnd);
    LRect c = LGetClientRect(hwnd);
    LMoveWindow(hwnd, w.left, w.top, width + (w.Width() - c.right), height + (w.Height() - c.bottom), true);
}

void LWindow::CenterOnDesktop() {
    LRect d = PlacementArea(hwnd);
    LRect w = LGetWindowRect(hwnd);
    int half_w = d.Width() >> 1, half_h = d.Height() >> 1;
    int x = half_w < (w.Width() >> 1) ? d.left + 10 : d.left + half_w - (w.Width() >> 1);
    int y = half_h < (w.Height() >> 1) ? d.top + 10 : d.top + half_h - (w.Height() >> 1);
    MoveClampedToDesktop(x, y, w.Width(), w.Height());
}

void LWindow::CenterOnParent() {
    LHwnd parent = LGetParent(hwnd);
    if (parent == LHwnd::Null || LIsIconic(parent)) {
        CenterOnDesktop();
        return;
    }
    LRect p = LGetWindowRect(parent);
    LRect w = LGetWindowRect(hwnd);
    int mid_x = (p.left + p.right) / 2, mid_y = (p.top + p.bottom) / 2;
    int x = mid_x - w.Width() / 2;
    int y = mid_y < w.Height() / 2 ? 0 : mid_y - w.Height() / 2;
    LSetWindowPos(hwnd, x, y, 0, 0, LSWP_NOSIZE | LSWP_NOOWNERZORDER);
}

void LWindow::SetItemHeight(int item, int height) {
    int x, y, width;
    GetItemRect(item, &x, &y, &width, nullptr);
    MoveItem(item, x, y, width, height);
}

int LWindow::GetTextHeight(const char16_t* text, int width) {
    return LMeasureText(FontOf(hwnd), text ? text : u"", std::max(width, 1)).cy;
}

int LWindow::GetItemWrappedTextHeight(int item, const char16_t* text, int width) {
    return LMeasureText(FontOf(LGetDlgItem(hwnd, item)), text ? text : u"", std::max(width, 1)).cy;
}

int LWindow::GetItemTextHeight(int item, int width) {
    LHwnd h = LGetDlgItem(hwnd, item);
    return LMeasureText(FontOf(h), LGetWindowText(h), std::max(width, 1)).cy;
}

int LWindow::GetItemTextWidth(int item, const char16_t* text) {
    return LMeasureText(FontOf(LGetDlgItem(hwnd, item)), text ? text : u"", 0).cx;
}

int LWindow::GetItemTextWidthPadded(int item) {
    char16_t text[260];
    GetItemText(item, text);
    return LMeasureText(FontOf(hwnd), text, 0).cx + DialogUnitsToPixelsX(20);
}

int LWindow::AppendListItem(const char16_t* text) {
    return static_cast<int>(LSendMessage(LGetDlgItem(hwnd, 107), LLVM_INSERTITEM, 0, reinterpret_cast<LLParam>(text)));
}

LHwnd LWindow::CreateCommandLink(int id, const char16_t* title, const char16_t* note) {
    std::u16string text = title ? title : u"";
    if (note && *note) {
        text += u"\n";
        text += note;
        text = LCutText(text, 259);
    }
    return CreateChild(id, u"Button", text.c_str(), LWS_VISIBLE | LWS_TABSTOP | LBS_CENTER | LBS_COMMANDLINK, 0);
}

void LWindow::SetSearchPrompt(LHwnd edit) {
    LSendMessage(edit, LEM_SETCUEBANNER, 1, reinterpret_cast<LLParam>(u"Search for more software"));
}

void LSetEditPromptText(LHwnd edit, const char16_t* text) {
    auto old = reinterpret_cast<LWndProc>(LGetProp(edit, "OldWndProcEditPrompt"));
    auto* buffer = reinterpret_cast<char16_t*>(LGetProp(edit, "PromptTextBuffer"));
    if (!old || !buffer) return;
    std::u16string cut = LCutText(text ? text : u"", 259);
    std::copy(cut.begin(), cut.end(), buffer);
    buffer[cut.size()] = 0;
    if (LGetProp(edit, "PromptActive") == 1) LCallWindowProc(old, edit, LWM_SETTEXT, 0, reinterpret_cast<LLParam>(buffer));
}

// The subclass of a command link made of a button and a note: the note
// follows the button.
LResult LCommandLinkForwardProc(LHwnd h, uint32_t msg, LWParam w, LLParam l) {
    auto old = reinterpret_cast<LWndProc>(LGetProp(h, "OldWndProc"));
    if (!old) return 0;
    auto* parent = reinterpret_cast<LWindow*>(LGetProp(h, "DialogParent"));
    int id = static_cast<int>(LGetProp(h, "ControlId"));
    int sub = static_cast<int>(LGetProp(h, "SubControlId"));
    switch (msg) {
    case LWM_MOVE: {
        int x, y, width, height;
        parent->GetItemRect(id, &x, &y, &width, &height);
        int dx = parent->DialogUnitsToPixelsX(12), dy = parent->DialogUnitsToPixelsY(17);
        parent->MoveItem(sub, x + dx, y + dy, width - dx, height - dy);
        return LCallWindowProc(old, h, msg, w, l);
    }
    case LWM_SIZE: parent->SetItemHeight(id, parent->DialogUnitsToPixelsY(10)); return 1;
    case LWM_DESTROY:
        LRemoveProp(h, "OldWndProc");
        LRemoveProp(h, "DialogParent");
        LRemoveProp(h, "ControlId");
        LRemoveProp(h, "SubControlId");
        LSetWindowLongPtr(h, LGWLP_WNDPROC, reinterpret_cast<intptr_t>(old));
        return LCallWindowProc(old, h, msg, w, l);
    default: return LCallWindowProc(old, h, msg, w, l);
    }
}
