// RFC 2047 encoded words in header values.
#include <string>

#include "net/mime/mime_lines.h"
#include "net/mime/mime_message.h"

namespace {

bool IsWhitespaceOnly(std::u16string_view s) {
    for (char16_t c : s)
        if (c != u' ' && c != u'\t' && c != u'\r' && c != u'\n') return false;
    return true;
}

}  // namespace

void EMLMimeDecodeHeaderWords(std::u16string_view value, LString& out) {
    // Adjacent encoded words of one charset are converted together: senders
    // split multi-byte characters across words although they should not.
    std::u16string pendingCharset;
    LStringA pending;
    auto flush = [&] {
        if (pending.IsEmpty()) return;
        EMLMimeConvertCharset(pending.View(), pendingCharset, out);
        pending.Clear();
    };
    bool previousEncoded = false;
    size_t pos = 0;
    while (pos <= value.size()) {
        size_t start = value.find(u"=?", pos);
        std::u16string_view plain = value.substr(pos, start == std::u16string_view::npos ? value.npos : start - pos);
        if (!(previousEncoded && IsWhitespaceOnly(plain) && start != std::u16string_view::npos)) {
            if (!plain.empty()) {
                flush();
                out.AppendView(plain);
            }
            previousEncoded = false;
        }
        if (start == std::u16string_view::npos) break;
        size_t q1 = value.find(u'?', start + 2);
        size_t q2 = q1 == value.npos ? q1 : value.find(u'?', q1 + 1);
        size_t close = q2 == value.npos ? q2 : value.find(u"?=", q2 + 1);
        std::u16string_view charset = q1 == value.npos ? std::u16string_view() : value.substr(start + 2, q1 - start - 2);
        std::u16string_view encoding = q2 == value.npos ? std::u16string_view() : value.substr(q1 + 1, q2 - q1 - 1);
        bool b = LMimeEqualsNoCase(encoding, "b");
        bool q = LMimeEqualsNoCase(encoding, "q");
        if (close == value.npos || charset.empty() || !(b || q)) {
            flush();
            out.AppendView(value.substr(start));
            break;
        }
        // RFC 2231 lets a language follow the charset: "utf-8*en".
        size_t star = charset.find(u'*');
        if (star != charset.npos) charset = charset.substr(0, star);
        if (charset != pendingCharset) {
            flush();
            pendingCharset = std::u16string(charset);
        }
        std::u16string_view encoded = value.substr(q2 + 1, close - q2 - 1);
        LStringA ascii;
        LStringAAppendWide(ascii, encoded.data(), encoded.size());
        if (q) EMLMimeDecodeQuotedPrintable(ascii.View(), pending, true);
        else EMLMimeDecodeBase64(ascii.View(), pending);
        previousEncoded = true;
        pos = close + 2;
    }
    flush();
    out.Terminate();
}
