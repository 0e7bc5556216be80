// Window properties and long slots, fonts and text measuring, brushes and
// the colour answers controls take from their parents, radio groups and
// dialog units.
#include <algorithm>

#include "toolkit/window_layer.h"
#include "toolkit/window_record.h"

namespace {

LColor SysColor(int index) {
    switch (index) {
    case LCOLOR_WINDOW: return LRgb(255, 255, 255);
    case LCOLOR_BTNFACE: return LRgb(246, 245, 244);
    default: return 0;
    }
}

}  // namespace

LFont LMakeFont(const LFontDesc& d) { return std::make_shared<const LFontDesc>(d); }

// Brush values: bit 30 marks a solid colour, bit 29 a system colour index.
LBrush LSolidBrush(LColor c) { return static_cast<LBrush>(0x40000000 | (c & 0xFFFFFF)); }
LBrush LSysColorBrush(int index) { return static_cast<LBrush>(0x20000000 | (index & 0xFF)); }
LColor LGetSysColor(int index) { return SysColor(index); }

bool LBrushColor(LBrush b, LColor* out) {
    if (b & 0x40000000) {
        *out = static_cast<LColor>(b & 0xFFFFFF);
        return true;
    }
    if (b & 0x20000000) {
        *out = SysColor(static_cast<int>(b & 0xFF));
        return true;
    }
    return false;
}

void LSetTextColor(LColorContext* dc, LColor c) {
    if (!dc) return;
    dc->has_text_color = true;
    dc->text_color = c;
}

void LSetBkMode(LColorContext* dc, int mode) {
    if (dc) dc->bk_mode = mode;
}

bool LSetProp(LHwnd h, const char* name, intptr_t value) {
    LWndRef w = LWndFind(h);
    if (!w || !name) return false;
    w->props[name] = value;
    return true;
}

intptr_t LGetProp(LHwnd h, const char* name) {
    LWndRef w = LWndFind(h);
    if (!w || !name) return 0;
    auto it = w->props.find(name);
    return it == w->props.end() ? 0 : it->second;
}

intptr_t LRemoveProp(LHwnd h, const char* name) {
    LWndRef w = LWndFind(h);
    if (!w || !name) return 0;
    auto it = w->props.find(name);
    if (it == w->props.end()) return 0;
    intptr_t v = it->second;
    w->props.erase(it);
    return v;
}

intptr_t LGetWindowLongPtr(LHwnd h, int index) {
    LWndRef w = LWndFind(h);
    if (!w) return 0;
    switch (index) {
    case LGWLP_WNDPROC: return reinterpret_cast<intptr_t>(w->proc);
    case LGWLP_USERDATA: return w->user_data;
    case LGWL_STYLE: return static_cast<intptr_t>(w->style);
    case LGWL_EXSTYLE: return static_cast<intptr_t>(w->exstyle);
    case LGWLP_ID: return w->id;
    case LDWLP_USER: return w->dlg_user;
    case LDWLP_MSGRESULT: return w->dlg_result;
    default: return 0;
    }
}

intptr_t LSetWindowLongPtr(LHwnd h, int index, intptr_t value) {
    LWndRef w = LWndFind(h);
    if (!w) return 0;
    intptr_t old = LGetWindowLongPtr(h, index);
    switch (index) {
    case LGWLP_WNDPROC: w->proc = reinterpret_cast<LWndProc>(value); break;
    case LGWLP_USERDATA: w->user_data = value; break;
    case LGWL_STYLE:
        w->style = static_cast<uint32_t>(value);
        LWndNotify(*w, LChangeStyle);
        break;
    case LGWL_EXSTYLE:
        w->exstyle = static_cast<uint32_t>(value);
        LWndNotify(*w, LChangeStyle);
        break;
    case LGWLP_ID: w->id = value; break;
    case LDWLP_USER: w->dlg_user = value; break;
    case LDWLP_MSGRESULT: w->dlg_result = value; break;
    default: return 0;
    }
    return old;
}

void LSetWindowFont(LHwnd h, LFont font, bool) {
    LWndRef w = LWndFind(h);
    if (!w) return;
    w->font = std::move(font);
    LWndNotify(*w, LChangeFont);
}

LFont LGetWindowFont(LHwnd h) {
    LWndRef w = LWndFind(h);
    return w ? w->font : nullptr;
}

LFontDesc LGetInterfaceFont() { return LBackend() ? LBackend()->InterfaceFont() : LFontDesc{}; }

LSize LMeasureText(const LFontDesc& font, std::u16string_view text, int wrap_width) {
    if (!LBackend()) return {};
    return LBackend()->MeasureText(font, text, wrap_width);
}

LFontMetrics LGetFontMetrics(const LFontDesc& font) {
    // The average width over the 52 Latin letters, rounded half up, as
    // dialog base units have always been taken.
    LSize letters = LMeasureText(font, u"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz", 0);
    LSize line = LMeasureText(font, u" ", 0);
    return {line.cy, (letters.cx / 26 + 1) / 2};
}

void LRefreshControlColors(LHwnd h) {
    LWndRef w = LWndFind(h);
    if (!w) return;
    uint32_t msg;
    LHwnd asked;
    if (LWndIsTopLevel(*w)) {
        if (!w->is_dialog) return;
        msg = LWM_CTLCOLORDLG;
        asked = h;
    } else {
        std::u16string_view c = w->cls;
        uint32_t type = w->style & LBS_TYPEMASK;
        if (LSameClassName(c, u"Static")) msg = LWM_CTLCOLORSTATIC;
        else if (LSameClassName(c, u"Edit")) msg = LWM_CTLCOLOREDIT;
        else if (LSameClassName(c, u"Button"))
            msg = (type == LBS_AUTOCHECKBOX || type == LBS_CHECKBOX || type == LBS_AUTORADIOBUTTON ||
                   type == LBS_GROUPBOX)
                      ? LWM_CTLCOLORSTATIC
                      : LWM_CTLCOLORBTN;
        else return;
        asked = w->parent;
    }
    LColorContext dc;
    LResult brush = LSendMessage(asked, msg, reinterpret_cast<LWParam>(&dc), LHwndToParam(h));
    w = LWndFind(h);
    if (!w) return;
    LControlColors c;
    c.has_text = dc.has_text_color;
    c.text = dc.text_color;
    LColor bg;
    if (LBrushColor(brush, &bg)) {
        c.has_background = true;
        c.background = bg;
    }
    bool changed = c.has_text != w->colors.has_text || c.text != w->colors.text ||
                   c.has_background != w->colors.has_background || c.background != w->colors.background;
    w->colors = c;
    if (changed) LWndNotify(*w, LChangeColors);
}

LControlColors LGetControlColors(LHwnd h) {
    LWndRef w = LWndFind(h);
    return w ? w->colors : LControlColors{};
}

void LInvalidate(LHwnd h) {
    LWndRef w = LWndFind(h);
    if (!w) return;
    if (LWndIsTopLevel(*w)) {
        LRefreshControlColors(h);
        for (LHwnd c : std::vector<LHwnd>(w->children)) LRefreshControlColors(c);
    } else if (LSameClassName(w->cls, u"LPC")) {
        // A self-painted control has no colour question; it just repaints.
        LBackend()->Changed(*w, LChangeColors);
    } else {
        LRefreshControlColors(h);
    }
}

std::vector<LHwnd> LRadioGroup(LHwnd h) {
    LWndRef w = LWndFind(h);
    if (!w) return {};
    LWndRef parent = LWndFind(w->parent);
    if (!parent) return {h};
    // A group runs from a control with WS_GROUP to the next one, whatever
    // lies between; its radio buttons are the group.
    std::vector<LHwnd> current;
    bool found = false;
    for (LHwnd c : parent->children) {
        LWndRef cw = LWndFind(c);
        if (!cw) continue;
        if (cw->style & LWS_GROUP) {
            if (found) break;
            current.clear();
        }
        if (LSameClassName(cw->cls, u"Button") && (cw->style & LBS_TYPEMASK) == LBS_AUTORADIOBUTTON) current.push_back(c);
        if (c == h) found = true;
    }
    return found ? current : std::vector<LHwnd>{h};
}

LRect LMapDialogRect(LHwnd dlg, LRect r) {
    LFont f = LGetWindowFont(dlg);
    LFontMetrics m = LGetFontMetrics(f ? *f : LGetInterfaceFont());
    auto mul = [](int v, int num, int den) {
        int64_t p = static_cast<int64_t>(v) * num;
        return static_cast<int>(p >= 0 ? (p + den / 2) / den : -((-p + den / 2) / den));
    };
    return {mul(r.left, m.ave_char_width, 4), mul(r.top, m.height, 8), mul(r.right, m.ave_char_width, 4),
            mul(r.bottom, m.height, 8)};
}

void LSetHandCursor(LHwnd h, bool hand) {
    LWndRef w = LWndFind(h);
    if (!w || w->hand_cursor == hand) return;
    w->hand_cursor = hand;
    LWndNotify(*w, LChangeState);
}

bool LHasHandCursor(LHwnd h) {
    LWndRef w = LWndFind(h);
    return w && w->hand_cursor;
}
