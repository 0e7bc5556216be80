// Quoted-printable for the composer: a part whose lines are too long for
// SMTP travels in lines of at most 76 characters and reads back unchanged.
#include <string_view>

#include "net/mime/compose.h"

namespace {

constexpr size_t kLineMax = 76;  // with the '=' of a soft break

void EncodeLine(std::string_view line, LStringA& out) {
    static const char kHex[] = "0123456789ABCDEF";
    size_t column = 0;
    for (size_t i = 0; i < line.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(line[i]);
        bool last = i + 1 == line.size();
        // A blank at the end of a line would be lost to the transport.
        bool literal = (c >= 33 && c <= 126 && c != '=') || ((c == ' ' || c == '\t') && !last);
        size_t width = literal ? 1 : 3;
        // The room for a soft break: the final character may use the last column.
        if (column + width > (last ? kLineMax : kLineMax - 1)) {
            out.Append("=\r\n");
            column = 0;
        }
        if (literal) {
            out.AppendChar(static_cast<char>(c));
        } else {
            out.AppendChar('=');
            out.AppendChar(kHex[c >> 4]);
            out.AppendChar(kHex[c & 15]);
        }
        column += width;
    }
}

}  // namespace

void LMimeEncodeQuotedPrintable(std::string_view text, LStringA& out) {
    while (true) {
        size_t end = text.find_first_of("\r\n");
        EncodeLine(text.substr(0, end), out);
        if (end == std::string_view::npos) return;
        out.Append("\r\n");
        text.remove_prefix(end + (text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n' ? 2 : 1));
    }
}
