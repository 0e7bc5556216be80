// The two renderings of what we send: a text typed by a person as HTML, and
// the HTML we queue as the text part beside it.
#include <string_view>

#include "foundation/format.h"
#include "foundation/html_text.h"
#include "mail/queue/send_queue.h"

namespace {

char16_t Lower(char16_t c) { return c >= u'A' && c <= u'Z' ? char16_t(c + 32) : c; }

bool StartsNoCase(std::u16string_view text, size_t at, std::u16string_view word) {
    if (text.size() - at < word.size()) return false;
    for (size_t i = 0; i < word.size(); ++i)
        if (Lower(text[at + i]) != word[i]) return false;
    return true;
}

// The element names whose content is never shown: a style sheet or a
// script of a quoted message is not text of the message.
constexpr std::u16string_view kHidden[] = {u"style", u"script", u"head"};

}  // namespace

void LEmailAppendTextAsHtml(LString& html, const char16_t* text) {
    // One <br> per line end, so that an empty line stays an empty line in
    // both the HTML and the text made from it again.
    std::u16string_view rest(text ? text : u"");
    while (true) {
        size_t end = rest.find_first_of(u"\r\n");
        LString line(std::u16string(rest.substr(0, end)).c_str());
        LAppendHtmlW(html, line.c_str());
        if (end == std::u16string_view::npos) return;
        html.Append(u"<br>\r\n");
        rest.remove_prefix(end + (rest[end] == u'\r' && end + 1 < rest.size() && rest[end + 1] == u'\n' ? 2 : 1));
    }
}

void LEmailHtmlToSendText(LString& text, const char16_t* html) {
    std::u16string_view in(html ? html : u"");
    std::u16string shown;
    shown.reserve(in.size());
    for (size_t i = 0; i < in.size();) {
        const std::u16string_view* hidden = nullptr;
        if (in[i] == u'<')
            for (const std::u16string_view& name : kHidden) {
                size_t after = i + 1 + name.size();
                if (StartsNoCase(in, i + 1, name) &&
                    (after == in.size() || in[after] == u'>' || in[after] == u' ' || in[after] == u'\t' ||
                     in[after] == u'\r' || in[after] == u'\n' || in[after] == u'/'))
                    hidden = &name;
            }
        if (!hidden) {
            shown.push_back(in[i++]);
            continue;
        }
        // Skip to the end of the matching close tag (or of the text).
        size_t at = i + 1;
        for (; at < in.size(); ++at)
            if (in[at] == u'<' && at + 1 < in.size() && in[at + 1] == u'/' && StartsNoCase(in, at + 2, *hidden)) break;
        size_t close = in.find(u'>', at);
        i = close == std::u16string_view::npos ? in.size() : close + 1;
    }
    LHtmlToText(text, shown.c_str());
}
