#include "web/http/request_head.h"

#include <cstdlib>
#include <cstring>

namespace {

bool IsSpace(unsigned char c) { return c <= ' '; }

bool EqualsNoCaseAscii(const char16_t* a, const char* b) {
    for (; *a && *b; ++a, ++b) {
        char16_t x = *a >= u'A' && *a <= u'Z' ? *a + 32 : *a;
        char y = *b >= 'A' && *b <= 'Z' ? *b + 32 : *b;
        if (x != y) return false;
    }
    return *a == 0 && *b == 0;
}

bool Contains(const char16_t* text, const char16_t* part) {
    return text && std::u16string_view(text).find(part) != std::u16string_view::npos;
}

}  // namespace

void LWebParseRequestLine(const char* line, LWebRequestLine* out) {
    const unsigned char* p = reinterpret_cast<const unsigned char*>(line);
    size_t n = 0;
    while (*p && !IsSpace(*p)) {
        if (n < 259) out->method[n++] = static_cast<char>(*p);
        ++p;
    }
    out->method[n] = 0;
    while (*p && IsSpace(*p)) ++p;
    out->target.Clear();
    const unsigned char* t = p;
    while (*p && !IsSpace(*p)) ++p;
    out->target.AppendN(reinterpret_cast<const char*>(t), static_cast<uint64_t>(p - t));
    out->version = 0;
    while (*p && IsSpace(*p)) ++p;
    const char* slash = std::strchr(reinterpret_cast<const char*>(p), '/');
    if (!slash) return;
    char version[260];
    size_t v = 0;
    for (const char* q = slash + 1; *q && !IsSpace(static_cast<unsigned char>(*q)) && v < 259; ++q)
        version[v++] = *q;
    version[v] = 0;
    // Only digits and one dot: strtod would also take "inf", hex and exponents.
    double value = 0, scale = 0;
    for (const char* q = version; *q; ++q) {
        if (*q == '.' && scale == 0) {
            scale = 0.1;
        } else if (*q >= '0' && *q <= '9') {
            if (scale == 0) {
                value = value * 10 + (*q - '0');
            } else {
                value += (*q - '0') * scale;
                scale /= 10;
            }
        } else {
            break;
        }
    }
    out->version = value;
}

void LWebSplitHeaderLine(const char16_t* line, LString& name, LString& value) {
    name.Clear();
    value.Clear();
    const char16_t* p = line;
    size_t n = 0;
    while (*p && *p != u':') {
        if (n < 259) name.AppendChar(*p), ++n;
        ++p;
    }
    if (*p == u':') ++p;
    while (*p && *p <= u' ') ++p;
    value.Append(p);
    // Trailing blanks are not part of a field value.
    while (value.length > 0 && (value.buffer[value.length - 1] == u' ' || value.buffer[value.length - 1] == u'\t'))
        value.Truncate(value.length - 1);
}

LWebBodyLength LWebParseBodyLength(const char16_t* content_length, const char16_t* transfer_encoding,
                                   int64_t* length) {
    *length = 0;
    if (transfer_encoding) return LWebBodyLength::Invalid;
    if (!content_length) return LWebBodyLength::None;
    if (!*content_length) return LWebBodyLength::Invalid;
    int64_t v = 0;
    for (const char16_t* p = content_length; *p; ++p) {
        if (*p < u'0' || *p > u'9') return LWebBodyLength::Invalid;
        if (v > (INT64_MAX - 9) / 10) return LWebBodyLength::Invalid;
        v = v * 10 + (*p - u'0');
    }
    *length = v;
    return LWebBodyLength::Length;
}

bool LWebKeepAlive(double version, const char16_t* connection) {
    // A version read from text: 1.1 may come out a hair below 1.1.
    if (version < 1.05) return false;
    return !Contains(connection, u"close");
}

const char16_t* const gszaWebletURLPathGreyList[24] = {
    u"/.env",
    u"/.git",
    u"/.git/config",
    u"/_asterisk/",
    u"/_ignition/execute-solution",
    u"/actuator/health",
    u"/api/jsonws/invoke",
    u"/Autodiscover/Autodiscover.xml",
    u"/ecp/Current/exporttool/microsoft.exchange.ediscovery.exporttool.application",
    u"/GponForm/diag_Form",
    u"/manager/html",
    u"/mifs/.;/services/LogService",
    u"/mgmt/tm/util/bash",
    u"/owa/auth/logon.aspx",
    u"/owa/auth/x.js",
    u"/solr/",
    u"/solr/admin/info/system",
    u"/webadmin/Index.action",
    u"/webfig/",
    u"/wordpress_x_core=check",
    u"/wp-admin",
    u"/wp-content/plugins/wp-file-manager/readme.txt",
    u"/stager",
    u"/stager64",
};

const char16_t* LWebPathExtension(const char16_t* path) {
    const char16_t* dot = nullptr;
    for (const char16_t* p = path; *p; ++p) {
        if (*p == u'/' || *p == u'\\') dot = nullptr;
        else if (*p == u'.') dot = p;
    }
    return dot ? dot : u"";
}

bool LWebIsBotProbe(const char16_t* path) {
    for (const char16_t* g : gszaWebletURLPathGreyList)
        if (std::u16string_view(g) == path) return true;
    if (EqualsNoCaseAscii(LWebPathExtension(path), ".php")) return true;
    return Contains(path, u"/php/");
}
