// Mailbox names on the wire are modified UTF-7 ("M&APw-ll" for Müll); the
// rest of the program sees UTF-8.
#include <string>

#include "foundation/lstring.h"
#include "net/imap/imap_response.h"

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+,";

int Sextet(char c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == ',') return 63;
    return -1;
}

bool Printable(unsigned char c) { return c >= 0x20 && c <= 0x7E; }

void AppendShifted(std::u16string_view units, std::string& out) {
    out.push_back('&');
    uint32_t bits = 0;
    int count = 0;
    for (char16_t u : units) {
        bits = (bits << 16) | u;
        count += 16;
        while (count >= 6) {
            count -= 6;
            out.push_back(kAlphabet[(bits >> count) & 0x3F]);
        }
    }
    if (count > 0) out.push_back(kAlphabet[(bits << (6 - count)) & 0x3F]);
    out.push_back('-');
}

}  // namespace

bool LImapDecodeMailboxName(std::string_view wire, std::string& out) {
    out.clear();
    LString wide;
    for (size_t i = 0; i < wire.size();) {
        unsigned char c = static_cast<unsigned char>(wire[i]);
        if (!Printable(c)) return false;
        if (c != '&') {
            wide.AppendChar(char16_t(c));
            ++i;
            continue;
        }
        size_t end = wire.find('-', i + 1);
        if (end == std::string_view::npos) return false;
        if (end == i + 1) {
            wide.AppendChar(u'&');
            i = end + 1;
            continue;
        }
        uint32_t bits = 0;
        int count = 0;
        size_t first = wide.length;
        for (size_t k = i + 1; k < end; ++k) {
            int v = Sextet(wire[k]);
            if (v < 0) return false;
            bits = (bits << 6) | uint32_t(v);
            count += 6;
            if (count >= 16) {
                count -= 16;
                wide.AppendChar(char16_t((bits >> count) & 0xFFFF));
            }
        }
        // Leftover bits must be zero padding; a shifted run never holds a
        // character that could be written plainly.
        if (count >= 6 || (bits & ((1u << count) - 1)) != 0 || wide.length == first) return false;
        for (size_t k = first; k < wide.length; ++k)
            if (wide.buffer[k] >= 0x20 && wide.buffer[k] <= 0x7E) return false;
        i = end + 1;
    }
    wide.Terminate();
    out = LToUtf8(wide);
    return true;
}

std::string LImapEncodeMailboxName(std::string_view utf8) {
    LString wide = LFromUtf8(utf8);
    std::string out;
    std::u16string_view units = wide.View();
    for (size_t i = 0; i < units.size();) {
        char16_t u = units[i];
        if (u >= 0x20 && u <= 0x7E) {
            out.push_back(char(u));
            if (u == u'&') out.push_back('-');
            ++i;
            continue;
        }
        size_t end = i;
        while (end < units.size() && !(units[end] >= 0x20 && units[end] <= 0x7E)) ++end;
        AppendShifted(units.substr(i, end - i), out);
        i = end;
    }
    return out;
}

std::string LImapDisplayMailboxName(std::string_view wire) {
    std::string decoded;
    // A name that is no canonical modified UTF-7 (a server that sends UTF-8,
    // a stray '&') stays as the server wrote it.
    if (!LImapDecodeMailboxName(wire, decoded) || LImapEncodeMailboxName(decoded) != wire) return std::string(wire);
    return decoded;
}
