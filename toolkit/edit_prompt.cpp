#include "toolkit/edit_prompt.h"

#include <algorithm>
#include <string>

#include "foundation/system_shell.h"
#include "toolkit/text_cut.h"
#include "toolkit/window.h"

namespace {

constexpr size_t kPromptUnits = 260;

LWndProc OldEditProc(LHwnd h) { return reinterpret_cast<LWndProc>(LGetProp(h, "OldWndProcEditPrompt")); }

bool EditEmpty(LHwnd h) { return LCallWindowProc(OldEditProc(h), h, LWM_GETTEXTLENGTH, 0, 0) == 0; }

void ShowPrompt(LHwnd h) {
    auto* buffer = reinterpret_cast<const char16_t*>(LGetProp(h, "PromptTextBuffer"));
    LCallWindowProc(OldEditProc(h), h, LWM_SETTEXT, 0, reinterpret_cast<LLParam>(buffer ? buffer : u""));
    LSetProp(h, "PromptActive", 1);
}

void ClearPrompt(LHwnd h) {
    LCallWindowProc(OldEditProc(h), h, LWM_SETTEXT, 0, reinterpret_cast<LLParam>(u""));
    LSetProp(h, "PromptActive", 0);
}

bool Active(LHwnd h) { return LGetProp(h, "PromptActive") == 1; }

}  // namespace

void LSetEditPrompt(LHwnd edit, const char16_t* prompt, bool show_while_focused) {
    if (LWindowLayerKind() == LBackendKind::Gtk) {
        LSendMessage(edit, LEM_SETCUEBANNER, show_while_focused ? 1 : 0, reinterpret_cast<LLParam>(prompt ? prompt : u""));
        return;
    }
    if (!OldEditProc(edit)) {
        LSetProp(edit, "OldWndProcEditPrompt", LGetWindowLongPtr(edit, LGWLP_WNDPROC));
        LSetWindowLongPtr(edit, LGWLP_WNDPROC, reinterpret_cast<intptr_t>(&LEditPromptProc));
    }
    LSetProp(edit, "PromptWhenFocused", show_while_focused ? 1 : 0);
    auto* buffer = reinterpret_cast<char16_t*>(LGetProp(edit, "PromptTextBuffer"));
    if (!buffer) {
        buffer = new char16_t[kPromptUnits]();
        LSetProp(edit, "PromptTextBuffer", reinterpret_cast<intptr_t>(buffer));
    }
    std::u16string cut = LCutText(prompt ? prompt : u"", kPromptUnits - 1);
    std::copy(cut.begin(), cut.end(), buffer);
    buffer[cut.size()] = 0;
    if (EditEmpty(edit)) ShowPrompt(edit);
}

LResult LEditPromptProc(LHwnd h, uint32_t msg, LWParam w, LLParam l) {
    LWndProc old = OldEditProc(h);
    if (!old) return 0;
    bool focused_prompt = LGetProp(h, "PromptWhenFocused") == 1;
    if (focused_prompt) {
        if (msg == LWM_CHAR || (msg == LWM_KEYUP && w == LVK_DELETE)) {
            if (Active(h)) ClearPrompt(h);
            LResult r = LCallWindowProc(old, h, msg, w, l);
            if (EditEmpty(h)) ShowPrompt(h);
            return r;
        }
        if (msg == LWM_CUT || msg == LWM_CLEAR) {
            LResult r = LCallWindowProc(old, h, msg, w, l);
            if (EditEmpty(h)) ShowPrompt(h);
            else LSetProp(h, "PromptActive", 0);
            return r;
        }
        if (msg == LWM_PASTE && Active(h)) ClearPrompt(h);
    }
    switch (msg) {
    case LWM_DESTROY: {
        delete[] reinterpret_cast<char16_t*>(LRemoveProp(h, "PromptTextBuffer"));
        LRemoveProp(h, "OldWndProcEditPrompt");
        LRemoveProp(h, "PromptWhenFocused");
        LRemoveProp(h, "PromptActive");
        LSetWindowLongPtr(h, LGWLP_WNDPROC, reinterpret_cast<intptr_t>(old));
        return LCallWindowProc(old, h, msg, w, l);
    }
    case LWM_SETFOCUS:
        if (!Active(h)) break;
        if (focused_prompt) {
            LCallWindowProc(old, h, msg, w, l);
            LPostMessage(h, LEM_SETSEL, 0, 0);
            return 0;
        }
        ClearPrompt(h);
        break;
    case LWM_KILLFOCUS:
        if (EditEmpty(h)) ShowPrompt(h);
        break;
    case LWM_SETTEXT: {
        auto* text = reinterpret_cast<const char16_t*>(l);
        if ((!text || !*text) && LGetFocus() != h) {
            ShowPrompt(h);
            return 1;
        }
        LSetProp(h, "PromptActive", 0);
        break;
    }
    case LWM_GETTEXT:
        if (!Active(h)) break;
        if (w > 0 && l) reinterpret_cast<char16_t*>(l)[0] = 0;
        return 0;
    case LWM_GETTEXTLENGTH:
    case LWM_LBUTTONDBLCLK:
        if (Active(h)) return 0;
        break;
    case LWM_LBUTTONDOWN:
        if (Active(h) && LGetFocus() == h) return 0;
        break;
    case LWM_KEYDOWN:
        if (Active(h) && w >= LVK_END && w <= LVK_DOWN) return 0;
        break;
    default: break;
    }
    return LCallWindowProc(old, h, msg, w, l);
}

bool LIsOpenableLink(const char16_t* target) {
    if (!target) return false;
    std::u16string t(target);
    std::u16string lower;
    for (char16_t c : t.substr(0, 8)) lower += (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 32) : c;
    return lower.starts_with(u"http://") || lower.starts_with(u"https://") || lower.starts_with(u"mailto:");
}

namespace {

LResult SwallowStaticNotifications(LWindow*, LWParam w, LLParam, const LHookBlock& b) {
    uint32_t code = LHiWord(w);
    return static_cast<intptr_t>(LLoWord(w)) == b.data && code >= 1 && code <= 3 ? 1 : 0;
}

constexpr LColor kLinkColor = 0xC00000;

}  // namespace

void LMakeHyperlink(LWindow* window, int item, const char16_t* target) {
    LHwnd h = LGetDlgItem(window->hwnd, item);
    if (h == LHwnd::Null) return;
    if (!LGetProp(h, "HLFont")) {
        LFont base = LGetWindowFont(h);
        LFontDesc d = base ? *base : LDefaultDialogFont();
        d.underline = true;
        auto* font = new LFont(LMakeFont(d));
        LSetProp(h, "HLFont", reinterpret_cast<intptr_t>(font));
        LSetWindowFont(h, *font, false);
    }
    if (target) {
        delete reinterpret_cast<std::u16string*>(LRemoveProp(h, "HLLink"));
        auto* link = new std::u16string(LCutText(target, LHyperlinkMaxTarget));
        LSetProp(h, "HLLink", reinterpret_cast<intptr_t>(link));
    }
    intptr_t current = LGetWindowLongPtr(h, LGWLP_WNDPROC);
    if (current != reinterpret_cast<intptr_t>(&LHyperlinkProc)) {
        LSetWindowLongPtr(h, LGWLP_USERDATA, current);
        LSetWindowLongPtr(h, LGWLP_WNDPROC, reinterpret_cast<intptr_t>(&LHyperlinkProc));
    }
    window->AddMessageHook(LWM_COMMAND, SwallowStaticNotifications, item, 0, 0);
    window->AddMessageHook(LWM_CTLCOLORSTATIC, LHookStaticTextColor, LHwndToParam(h), kLinkColor, 0);
    LRefreshControlColors(h);
}

LResult LHyperlinkProc(LHwnd h, uint32_t msg, LWParam w, LLParam l) {
    auto old = reinterpret_cast<LWndProc>(LGetWindowLongPtr(h, LGWLP_USERDATA));
    switch (msg) {
    case LWM_SETCURSOR: return 1;  // the backend shows the hand over links
    case LWM_LBUTTONDOWN:
    case LWM_RBUTTONDOWN: LSetProp(h, "HLPressed", 1); return 0;
    case LWM_LBUTTONUP:
    case LWM_RBUTTONUP: {
        if (!LRemoveProp(h, "HLPressed")) break;
        // A press released outside the link is a change of mind.
        LRect r = LGetClientRect(h);
        int x = LParamX(l), y = LParamY(l);
        if (x < r.left || x >= r.right || y < r.top || y >= r.bottom) return 0;
        if (auto* link = reinterpret_cast<const std::u16string*>(LGetProp(h, "HLLink"))) {
            if (LIsOpenableLink(link->c_str())) LShellOpen(link->c_str());
            break;
        }
        LSendMessage(LGetParent(h), LWM_COMMAND, LMakeWParam(static_cast<uint32_t>(LGetDlgCtrlID(h)), 0),
                     LHwndToParam(h));
        return 0;
    }
    case LWM_DESTROY:
        delete reinterpret_cast<LFont*>(LRemoveProp(h, "HLFont"));
        delete reinterpret_cast<std::u16string*>(LRemoveProp(h, "HLLink"));
        LRemoveProp(h, "HLPressed");
        break;
    default: break;
    }
    return old ? LCallWindowProc(old, h, msg, w, l) : LDefWindowProc(h, msg, w, l);
}
