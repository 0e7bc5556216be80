// TEMPORARY until the foundation's code pages, HTML rendering and file-name
// rules are on main.
#include "net/mime_charset_convert.h"

#include <iconv.h>

#include <cstring>
#include <string>

namespace {
const char* IconvName(uint32_t cp) {
    switch (cp) {
    case 28591: return "ISO-8859-1";
    case 1250: return "WINDOWS-1250";
    case 1251: return "WINDOWS-1251";
    case 1252: return "WINDOWS-1252";
    case 1253: return "WINDOWS-1253";
    case 1256: return "WINDOWS-1256";
    case 932: return "CP932";
    case 50222: return "ISO-2022-JP";
    case 949: return "CP949";
    case 936: return "CP936";
    case 54936: return "GB18030";
    case 950: return "CP950";
    case 28592: return "ISO-8859-2";
    case 28595: return "ISO-8859-5";
    case 28598: return "ISO-8859-8";
    case 28606: return "ISO-8859-16";
    case 20866: return "KOI8-R";
    default: return nullptr;
    }
}
}  // namespace

bool LMimeCodePageAppend(uint32_t codePage, std::string_view bytes, LString& out) {
    const char* name = IconvName(codePage);
    if (!name) return false;
    iconv_t cd = iconv_open("UTF-16LE", name);
    if (cd == (iconv_t)-1) return false;
    std::string in(bytes);
    std::u16string buf(in.size() * 2 + 16, u'\0');
    char* ip = in.data();
    size_t il = in.size();
    char* op = reinterpret_cast<char*>(buf.data());
    size_t ol = buf.size() * 2;
    while (il > 0) {
        size_t r = iconv(cd, &ip, &il, &op, &ol);
        if (r == (size_t)-1) {
            if (errno == EILSEQ || errno == EINVAL) {
                ++ip;
                --il;
                if (ol >= 2) {
                    char16_t rep = 0xFFFD;
                    std::memcpy(op, &rep, 2);
                    op += 2;
                    ol -= 2;
                }
            } else break;
        }
    }
    iconv(cd, nullptr, nullptr, &op, &ol);
    iconv_close(cd);
    size_t units = (op - reinterpret_cast<char*>(buf.data())) / 2;
    out.AppendN(buf.data(), units);
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
