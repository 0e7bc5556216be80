// TEMPORARY until the foundation's code pages, HTML rendering and file-name
// rules are on main.
#include "net/mime_charset_convert.h"

#include "foundation/codepage.h"

#include <cstring>
#include <string>

bool LMimeCodePageAppend(uint32_t codePage, std::string_view bytes, LString& out) {
    if (!LCodePageIconvName(codePage)) return false;
    LCodePageAppendWide(codePage, bytes.data(), bytes.size(), out);
    return true;
}

void LMimeHtmlToText(const LString& html, LString& out) {
    bool tag = false;
    for (char16_t c : html.View()) {
        if (c == u'<') tag = true;
        else if (c == u'>') tag = false;
        else if (!tag && c != u'\r' && c != u'\n') out.AppendChar(c);
    }
}

void LMimeMakeValidFileName(const char16_t name[260], char16_t out[260]) {
    size_t j = 0;
    for (size_t i = 0; name[i] && j < 259; ++i) {
        char16_t c = name[i];
        if (c < 32 || std::u16string_view(u":*?\"<>|\\/").find(c) != std::u16string_view::npos) continue;
        out[j++] = c;
    }
    while (j > 0 && (out[j - 1] == u' ' || out[j - 1] == u'.')) --j;
    out[j] = 0;
}
