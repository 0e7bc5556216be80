// The layer's message box and the message function on top of it, with the
// relabelling that the program's custom button texts need.
#include "toolkit/message_box.h"

#include <algorithm>

#include "foundation/reg_settings.h"
#include "toolkit/text_cut.h"

namespace {

struct BoxButton {
    int id;
    const char16_t* text;
};

std::vector<BoxButton> ButtonsOf(uint32_t type) {
    switch (type & LMB_TYPEMASK) {
    case LMB_OKCANCEL: return {{LIDOK, u"OK"}, {LIDCANCEL, u"Cancel"}};
    case LMB_ABORTRETRYIGNORE: return {{LIDABORT, u"Abort"}, {LIDRETRY, u"Retry"}, {LIDIGNORE, u"Ignore"}};
    case LMB_YESNOCANCEL: return {{LIDYES, u"Yes"}, {LIDNO, u"No"}, {LIDCANCEL, u"Cancel"}};
    case LMB_YESNO: return {{LIDYES, u"Yes"}, {LIDNO, u"No"}};
    case LMB_RETRYCANCEL: return {{LIDRETRY, u"Retry"}, {LIDCANCEL, u"Cancel"}};
    case LMB_CANCELTRYCONTINUE: return {{LIDCANCEL, u"Cancel"}, {LIDTRYAGAIN, u"Try Again"}, {LIDCONTINUE, u"Continue"}};
    default: return {{LIDOK, u"OK"}};
    }
}

int IconOf(uint32_t type) {
    switch (type & LMB_ICONMASK) {
    case LMB_ICONERROR: return 32513;
    case LMB_ICONQUESTION: return 32514;
    case LMB_ICONWARNING: return 32515;
    case LMB_ICONINFORMATION: return 32516;
    default: return 0;
    }
}

// The relabelling waiting for the next box to come up (one box at a time).
struct HookState {
    const LMessageButton* buttons = nullptr;
    int count = 0;
};
HookState* g_hook = nullptr;

class SystemBox : public LDialog {
public:
    SystemBox(const char16_t* text, const char16_t* caption, uint32_t type)
        : text_(text ? text : u""), caption_(caption ? caption : u""), type_(type), buttons_(ButtonsOf(type)) {}

    void OnInitDialog() override {
        LSetWindowText(hwnd, caption_);
        // A question that must not hide behind other windows.
        if (type_ & LMB_TOPMOST)
            LSetWindowLongPtr(hwnd, LGWL_EXSTYLE, LGetWindowLongPtr(hwnd, LGWL_EXSTYLE) | LWS_EX_TOPMOST);
        int margin = DialogUnitsToPixelsX(7);
        int vmargin = DialogUnitsToPixelsY(7);
        int icon = IconOf(type_);
        int text_left = margin + (icon ? 32 + margin : 0);
        LFont f = LGetWindowFont(hwnd);
        int wrap = DialogUnitsToPixelsX(278);
        LSize t = LMeasureText(*f, text_, wrap);
        int bw = DialogUnitsToPixelsX(50), bh = DialogUnitsToPixelsY(14), gap = 8;
        int row = 0;
        std::vector<int> widths;
        for (const BoxButton& b : buttons_) {
            widths.push_back(std::max(bw, LMeasureText(*f, b.text, 0).cx + DialogUnitsToPixelsX(8)));
            row += widths.back() + gap;
        }
        int content_h = std::max(t.cy, icon ? 32 : 0);
        int cw = std::max(text_left + t.cx + margin, row + 2 * margin);
        int ch = vmargin + content_h + vmargin + bh + 12;
        if (icon) {
            LHwnd i = CreateChild(100, u"Static", u"", LWS_VISIBLE | LSS_ICON, 0);
            LSendMessage(i, LSTM_SETICON, static_cast<LWParam>(LMakeIcon(icon, 32)), 0);
            MoveItem(100, margin, vmargin, 32, 32);
        }
        CreateChild(65535, u"Static", text_.c_str(), LWS_VISIBLE | LSS_NOPREFIX, 0);
        MoveItem(65535, text_left, vmargin + (content_h - t.cy) / 2, t.cx, t.cy);
        int def = static_cast<int>((type_ & LMB_DEFMASK) >> 8);
        int x = cw - row + gap - 5;
        for (size_t i = 0; i < buttons_.size(); ++i) {
            uint32_t style = LWS_VISIBLE | LWS_TABSTOP | (static_cast<int>(i) == def ? LBS_DEFPUSHBUTTON : 0u);
            CreateChild(buttons_[i].id, u"Button", buttons_[i].text, style, 0);
            MoveItem(buttons_[i].id, x, ch - bh - 12, widths[i], bh);
            x += widths[i] + gap;
        }
        if (def >= static_cast<int>(buttons_.size())) def = 0;
        LSendMessage(hwnd, LDM_SETDEFID, static_cast<LWParam>(buttons_[static_cast<size_t>(def)].id), 0);
        SetClientSize(cw, ch);
        CenterOnParent();
        LSetFocus(LGetDlgItem(hwnd, buttons_[static_cast<size_t>(def)].id));
        // The box's first activation: the waiting relabelling runs once.
        if (g_hook) {
            HookState* h = g_hook;
            g_hook = nullptr;
            LMessageBoxRelabelButtons(hwnd, h->buttons, h->count);
        }
    }

    bool OnCancel() override {
        // Escape and the close box answer Cancel, or OK for a lone OK.
        for (const BoxButton& b : buttons_)
            if (b.id == LIDCANCEL) return true;
        if ((type_ & LMB_TYPEMASK) == LMB_OK) End(LIDOK);
        return false;
    }

    void OnCommand(int id, int) override {
        for (const BoxButton& b : buttons_)
            if (b.id == id) End(id);
    }

private:
    std::u16string text_, caption_;
    uint32_t type_;
    std::vector<BoxButton> buttons_;
};

}  // namespace

int LMessageBox(LHwnd owner, const char16_t* text, const char16_t* caption, uint32_t type) {
    SystemBox box(text, caption, type);
    intptr_t r = LDialog::RunModalResult(&box, owner, 0, 0);
    return r < 0 ? 0 : static_cast<int>(r);
}

void LMessageBoxRelabelButtons(LHwnd box, const LMessageButton* buttons, int count) {
    LFont f = LGetWindowFont(box);
    LFontDesc font = f ? *f : LGetInterfaceFont();
    int common = 0;
    bool replace = false;
    std::vector<std::pair<LHwnd, int>> listed;  // button and its height
    for (int i = 0; i < count; ++i) {
        LHwnd b = LGetDlgItem(box, buttons[i].id);
        if (b == LHwnd::Null) continue;
        LSetWindowText(b, buttons[i].text ? buttons[i].text : u"");
        int tw = LMeasureText(font, buttons[i].text ? buttons[i].text : u"", 0).cx;
        LRect r = LGetWindowRect(b);
        listed.push_back({b, r.Height()});
        if (r.Width() < tw) {
            common = std::max(common, tw + 12);
            replace = true;
        }
    }
    if (!replace || listed.empty()) return;
    int n = static_cast<int>(listed.size());
    int total = n * (common + 8);
    LRect client = LGetClientRect(box);
    int x = client.right - total + 3;
    if (x < 0) {
        LSetWindowPos(box, 0, 0, total + 7, client.bottom + listed[0].second + 5,
                      LSWP_NOMOVE | LSWP_NOZORDER | LSWP_NOACTIVATE);
        client = LGetClientRect(box);
        x = 5;
    }
    for (auto& [b, height] : listed) {
        LSetWindowPos(b, x, client.bottom - height - 12, common, height, LSWP_NOZORDER);
        x += common + 8;
    }
}

int LShowMessageBox(LHwnd owner, const char16_t* text, const char16_t* caption, const LMessageButton* buttons,
                    int count, int, uint32_t fallback_type, int) {
    // No task dialog here: the fallback message box, relabelled on its way up.
    HookState state{buttons, std::max(count, 0)};
    HookState* outer = g_hook;
    g_hook = &state;
    int r = LMessageBox(owner, text, caption, fallback_type);
    g_hook = outer;
    return r;
}

std::u16string LMakerSoftwareAddress() {
    char16_t out[260];
    LRegSettingsGet(u"Distributor", u"SoftwareURL", u"https://www.porlinex.invalid/software", out);
    return out;
}

int LShowNoVersionInfoMessage(LHwnd owner) {
    static const LMessageButton b[] = {{LIDOK, u"OK"}};
    return LShowMessageBox(owner, u"Online version information for Porlinex is not currently available.",
                           u"No Version Information", b, 1, LTD_INFORMATION_ICON, 0x41, 0);
}

int LShowCannotLaunchMessage(LHwnd owner) {
    static const LMessageButton b[] = {{LIDOK, u"OK"}};
    std::u16string text = u"Porlinex cannot launch the program required to perform the selected task. Please go to ";
    text += LMakerSoftwareAddress();
    text += u" to download it and try again.";
    return LShowMessageBox(owner, text.c_str(), u"Porlinex", b, 1, LTD_ERROR_ICON, 0x11, 0);
}

bool LAskYesNoCustom(LHwnd owner, const char16_t* text, const char16_t* caption, const char16_t* first,
                     const char16_t* second) {
    const LMessageButton b[] = {{LIDYES, first}, {LIDNO, second}};
    return LShowMessageBox(owner, text, caption, b, 2, LTD_INFORMATION_ICON, 0x24, 0) == LIDYES;
}

bool LAskUninstallBlockedByOtherUser() {
    static const LMessageButton b[] = {{LIDYES, u"More Information"}, {LIDNO, u"Continue"}};
    return LShowMessageBox(LHwnd::Null,
                           u"Porlinex cannot be uninstalled because it is being used by another user on this "
                           u"computer. Please log off other users then try again as Administrator.",
                           u"Uninstall Software", b, 2, LTD_WARNING_ICON, 0x34, 0) == LIDYES;
}

bool LAskOkCancelCustom(LHwnd owner, const char16_t* text, const char16_t* caption, const char16_t* first,
                        const char16_t* second) {
    const LMessageButton b[] = {{LIDOK, first}, {LIDCANCEL, second}};
    return LShowMessageBox(owner, text, caption, b, 2, LTD_INFORMATION_ICON, 0x21, 0) == LIDOK;
}

bool LAskExitSetup(LHwnd owner, const char16_t* text, const char16_t* second) {
    const LMessageButton b[] = {{LIDOK, u"Don't Install"}, {LIDCANCEL, second}};
    return LShowMessageBox(owner, text, u"Exit Setup", b, 2, LTD_INFORMATION_ICON, 0x21, LIDCANCEL) == LIDOK;
}

int LShowMessageOneButton(LHwnd owner, const char16_t* text, const char16_t* caption, const char16_t* label,
                          int td_icon, uint32_t fallback_type) {
    const LMessageButton b[] = {{LIDOK, label}};
    return LShowMessageBox(owner, text, caption, b, 1, td_icon, fallback_type, 0);
}

bool LAskYesNoTopmost(const char16_t* text, const char16_t* caption, const char16_t* first, const char16_t* second) {
    const LMessageButton b[] = {{LIDYES, first}, {LIDNO, second}};
    HookState state{b, 2};
    HookState* outer = g_hook;
    g_hook = &state;
    int r = LMessageBox(LHwnd::Null, text, caption, 0x51024);
    g_hook = outer;
    return r == LIDYES;
}
