#include "foundation/system_shell.h"

#include "foundation/utf8.h"
#include "platform/shell_open.h"

void LShellOpen(const char16_t* target) {
    LUTF8FromWide t(target ? target : u"");
    LPlatformShellOpen(t.text);
}

bool LIsWebAddress(std::u16string_view address) {
    auto starts = [&](std::u16string_view scheme) {
        if (address.size() <= scheme.size()) return false;
        for (size_t i = 0; i < scheme.size(); ++i) {
            char16_t c = address[i];
            if (c >= u'A' && c <= u'Z') c = char16_t(c + 32);
            if (c != scheme[i]) return false;
        }
        return true;
    };
    if (!starts(u"http://") && !starts(u"https://")) return false;
    for (char16_t c : address)
        if (c <= 0x20 || c == 0x7F) return false;
    return true;
}

bool LOpenWebAddress(std::u16string_view address) {
    if (!LIsWebAddress(address)) return false;
    std::u16string text(address);
    LShellOpen(text.c_str());
    return true;
}
