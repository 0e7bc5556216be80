#include "toolkit/key_names.h"

#include "toolkit/custom_control.h"
#include "toolkit/pango_measure.h"
#include "toolkit/text_cut.h"

namespace {

struct Named {
    uint32_t key;
    const char16_t* name;
};

constexpr Named kNames[] = {
    {0x08, u"Backspace"}, {0x09, u"Tab"},         {0x0D, u"Enter"},       {0x10, u"Shift"},
    {0x11, u"Ctrl"},      {0x12, u"Alt"},         {0x13, u"Pause"},       {0x14, u"Caps Lock"},
    {0x1B, u"Esc"},       {0x20, u"Space"},       {0x21, u"Page Up"},     {0x22, u"Page Down"},
    {0x23, u"End"},       {0x24, u"Home"},        {0x25, u"Left"},        {0x26, u"Up"},
    {0x27, u"Right"},     {0x28, u"Down"},        {0x2C, u"Print Screen"}, {0x2D, u"Insert"},
    {0x2E, u"Delete"},    {0x5B, u"Left Windows"}, {0x5C, u"Right Windows"}, {0x5D, u"Application"},
    {0x6A, u"Num *"},     {0x6B, u"Num +"},       {0x6D, u"Num -"},       {0x6E, u"Num Del"},
    {0x6F, u"Num /"},     {0x90, u"Num Lock"},    {0x91, u"Scroll Lock"}, {0xBA, u";"},
    {0xBB, u"="},         {0xBC, u","},           {0xBD, u"-"},           {0xBE, u"."},
    {0xBF, u"/"},         {0xC0, u"`"},           {0xDB, u"["},           {0xDC, u"\\"},
    {0xDD, u"]"},         {0xDE, u"'"},
};

}  // namespace

std::string LMnemonicText(const std::u16string& text) {
    std::u16string out;
    for (size_t i = 0; i < text.size(); ++i) {
        char16_t c = text[i];
        if (c == u'_') {
            out += u"__";
        } else if (c != u'&') {
            out += c;
        } else if (i + 1 < text.size()) {
            ++i;
            if (text[i] == u'&') out += u'&';
            else if (text[i] == u'_') out += u"__";
            else out += {u'_', text[i]};
        }
    }
    return LUtf8Of(out);
}

std::u16string LKeyName(uint32_t vk) {
    vk &= 0xFFFF;
    if ((vk >= '0' && vk <= '9') || (vk >= 'A' && vk <= 'Z')) return std::u16string(1, static_cast<char16_t>(vk));
    if (vk >= 0x60 && vk <= 0x69) return u"Num " + std::u16string(1, static_cast<char16_t>(u'0' + vk - 0x60));
    if (vk >= LVK_F1 && vk < LVK_F1 + 24) {
        std::u16string s = u"F";
        unsigned n = vk - LVK_F1 + 1;
        if (n >= 10) s += static_cast<char16_t>(u'0' + n / 10);
        s += static_cast<char16_t>(u'0' + n % 10);
        return s;
    }
    for (const Named& k : kNames)
        if (k.key == vk) return k.name;
    return {};
}

std::u16string LFormatShortcutText(uint32_t code) {
    uint32_t vk = code & 0xFFFF;
    std::u16string s;
    if ((code & LKEY_CTRL) && vk != LVK_CONTROL) s += u"Ctrl+";
    if ((code & LKEY_ALT) && vk != LVK_MENU) s += u"Alt+";
    if ((code & LKEY_SHIFT) && vk != LVK_SHIFT) s += u"Shift+";
    s += LKeyName(vk);
    return LCutText(s, 259);
}

void LMenuBuilder::AppendCommand(uint16_t id, const std::u16string& text) {
    for (const LAccelerator& a : accelerators) {
        if (a.command == id) {
            items.push_back({id, LCutText(text + u"\t" + LFormatShortcutText(a.key), 259)});
            return;
        }
    }
    items.push_back({id, LCutText(text, 259)});
}

bool LKeyHandler::HandleKeyMessage(uint32_t msg, LWParam w, LLParam l) {
    switch (msg) {
    case LWM_KEYDOWN:
    case LWM_SYSKEYDOWN: {
        last_state = static_cast<uint32_t>(l & 0xFFFF);
        uint32_t key = LKeyCodeWithModifiers(static_cast<uint32_t>(w));
        return (l & LKEY_REPEAT_BIT) ? OnKeyRepeat(key) : OnKeyDown(key);
    }
    case LWM_KEYUP:
    case LWM_SYSKEYUP: last_state = 1; return OnKeyUp(static_cast<uint32_t>(w));
    case LWM_CHAR: return OnChar(static_cast<char16_t>(w));
    default: return false;
    }
}
