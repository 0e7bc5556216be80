#include "web/pages/page_text.h"

#include <cstdio>

#include "foundation/utf8.h"
#include "web/http/weblet.h"

bool LWebIsLocalTarget(const std::string& target) {
    if (target.empty() || target.size() > 1023) return false;
    size_t query = target.find('?');
    for (size_t i = 0; i < target.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(target[i]);
        if (c < 0x20 || c == 0x7f || c == '\\' || c == '\'' || c == '"' || c == '<' || c == '>' || c == '`')
            return false;
        if (i < query) {
            // The route part: the characters of route names and folders,
            // never a scheme's colon nor a leading slash.
            bool route = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
                         c == '-' || c == '.' || c == '/';
            if (!route || (i == 0 && c == '/')) return false;
        }
    }
    return query != 0;
}

std::string LWebLocalTargetField(Weblet& request, const char16_t* field, const std::string& fallback) {
    const char16_t* v = request.Field(field);
    std::string text = v ? LToUtf8(v) : std::string();
    return LWebIsLocalTarget(text) ? text : fallback;
}

std::string LWebLocalReferer(Weblet& request) {
    std::string referer = LToUtf8(request.HeaderText(u"Referer"));
    std::string host = LToUtf8(request.HeaderText(u"Host"));
    if (host.empty()) return {};
    std::string own = (request.connection.IsSecure() ? "https://" : "http://") + host + "/";
    if (referer.compare(0, own.size(), own) != 0) return {};
    std::string rest = referer.substr(own.size());
    return LWebIsLocalTarget(rest) ? rest : std::string();
}

void LWebAppendJsString(LStringA& out, const std::string& utf8) {
    for (size_t i = 0; i < utf8.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(utf8[i]);
        // U+2028 and U+2029 end a line in older script engines.
        if (c == 0xE2 && i + 2 < utf8.size() && static_cast<unsigned char>(utf8[i + 1]) == 0x80 &&
            (static_cast<unsigned char>(utf8[i + 2]) == 0xA8 || static_cast<unsigned char>(utf8[i + 2]) == 0xA9)) {
            out.Append(static_cast<unsigned char>(utf8[i + 2]) == 0xA8 ? "\\u2028" : "\\u2029");
            i += 2;
            continue;
        }
        if (c < 0x20 || c == 0x7f || c == '\\' || c == '\'' || c == '"' || c == '<' || c == '>' || c == '&') {
            char esc[8];
            std::snprintf(esc, sizeof esc, "\\x%02x", c);
            out.Append(esc);
        } else {
            out.AppendChar(static_cast<char>(c));
        }
    }
}

bool LWebIsMobileClient(Weblet& request) {
    std::string agent = LToUtf8(request.HeaderText(u"User-Agent"));
    auto has = [&](const char* word) { return agent.find(word) != std::string::npos; };
    return has("iPhone") || (has("Android") && has("Mobile")) || has("BlackBerry") || has("IEMobile") ||
           has("Windows CE");
}
