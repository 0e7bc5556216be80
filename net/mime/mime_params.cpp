// Parameters of structured header fields (Content-Type, Content-Disposition)
// and the part kind that Content-Type gives.
#include <algorithm>
#include <string>
#include <vector>

#include "net/mime/mime_lines.h"
#include "net/mime/mime_message.h"

namespace {

std::u16string_view Trim(std::u16string_view s) {
    while (!s.empty() && s.front() <= u' ') s.remove_prefix(1);
    while (!s.empty() && s.back() <= u' ') s.remove_suffix(1);
    return s;
}

struct Param {
    std::u16string_view name;
    std::u16string value;
};

// Splits "type; a=1; b="x;y"" into its parameters, honouring quoted strings
// (a file name may hold ';' or '=').
std::vector<Param> SplitParams(std::u16string_view v) {
    std::vector<Param> out;
    size_t i = v.find(u';');
    while (i != std::u16string_view::npos && i < v.size()) {
        ++i;
        size_t eq = i;
        while (eq < v.size() && v[eq] != u'=' && v[eq] != u';') ++eq;
        if (eq >= v.size() || v[eq] == u';') {
            i = eq < v.size() ? eq : std::u16string_view::npos;
            continue;
        }
        Param p;
        p.name = Trim(v.substr(i, eq - i));
        size_t j = eq + 1;
        while (j < v.size() && (v[j] == u' ' || v[j] == u'\t')) ++j;
        if (j < v.size() && v[j] == u'"') {
            ++j;
            while (j < v.size() && v[j] != u'"') {
                if (v[j] == u'\\' && j + 1 < v.size()) ++j;
                p.value.push_back(v[j++]);
            }
            while (j < v.size() && v[j] != u';') ++j;
        } else {
            size_t k = j;
            while (k < v.size() && v[k] != u';') ++k;
            p.value = std::u16string(Trim(v.substr(j, k - j)));
            j = k;
        }
        out.push_back(std::move(p));
        i = j < v.size() ? j : std::u16string_view::npos;
    }
    return out;
}

int HexValue(char16_t c) {
    if (c >= u'0' && c <= u'9') return c - u'0';
    if (c >= u'a' && c <= u'f') return c - u'a' + 10;
    if (c >= u'A' && c <= u'F') return c - u'A' + 10;
    return -1;
}

// RFC 2231 "charset'language'%XX..." (the charset part only on the first
// segment); percent escapes become bytes of that charset.
void AppendExtended(std::u16string_view v, bool first, std::u16string& charset, std::string& bytes) {
    if (first) {
        size_t q1 = v.find(u'\'');
        size_t q2 = q1 == std::u16string_view::npos ? q1 : v.find(u'\'', q1 + 1);
        if (q2 != std::u16string_view::npos) {
            charset = std::u16string(v.substr(0, q1));
            v = v.substr(q2 + 1);
        }
    }
    for (size_t i = 0; i < v.size(); ++i) {
        if (v[i] == u'%' && i + 2 < v.size() && HexValue(v[i + 1]) >= 0 && HexValue(v[i + 2]) >= 0) {
            bytes.push_back(char(HexValue(v[i + 1]) * 16 + HexValue(v[i + 2])));
            i += 2;
        } else {
            LStringA u;
            LAppendCharUTF8(u, v[i]);
            bytes.append(u.c_str(), u.length);
        }
    }
}

void CopyOut(std::u16string_view s, char16_t out[260]) {
    size_t n = s.size() < 259 ? s.size() : 259;
    for (size_t i = 0; i < n; ++i) out[i] = s[i];
    out[n] = 0;
}

}  // namespace

bool EMLMimeHeaderParam(std::u16string_view value, std::u16string_view name, char16_t out[260], bool decodeWords) {
    out[0] = 0;
    std::vector<Param> params = SplitParams(value);
    const Param* plain = nullptr;
    const Param* extended = nullptr;
    std::vector<std::pair<int, const Param*>> segments;
    for (const Param& p : params) {
        std::u16string_view n = p.name;
        if (n.size() < name.size()) continue;
        bool same = true;
        for (size_t i = 0; i < name.size() && same; ++i)
            same = LMimeLowerAscii16(n[i]) == LMimeLowerAscii16(name[i]);
        if (!same) continue;
        std::u16string_view tail = n.substr(name.size());
        if (tail.empty()) {
            if (!plain) plain = &p;
        } else if (tail == u"*") {
            extended = &p;
        } else if (tail[0] == u'*') {
            // name*N or name*N* : a numbered segment, encoded when it ends in '*'.
            int index = 0;
            size_t k = 1;
            while (k < tail.size() && tail[k] >= u'0' && tail[k] <= u'9' && index < 10000)
                index = index * 10 + (tail[k++] - u'0');
            if (k == 1 || (k < tail.size() && !(k + 1 == tail.size() && tail[k] == u'*'))) continue;
            segments.emplace_back(index, &p);
        }
    }
    if (extended || !segments.empty()) {
        std::u16string charset;
        std::string bytes;
        if (extended) {
            AppendExtended(extended->value, true, charset, bytes);
        } else {
            std::sort(segments.begin(), segments.end(),
                      [](const auto& a, const auto& b) { return a.first < b.first; });
            for (size_t i = 0; i < segments.size(); ++i) {
                const Param* p = segments[i].second;
                if (p->name.back() == u'*') {
                    AppendExtended(p->value, i == 0, charset, bytes);
                } else {
                    LStringA u;
                    LStringAAppendWide(u, p->value.data(), p->value.size());
                    bytes.append(u.c_str(), u.length);
                }
            }
        }
        LString converted;
        EMLMimeConvertCharset(bytes, charset.empty() ? std::u16string_view(u"utf-8") : charset, converted);
        CopyOut(converted.View(), out);
        return true;
    }
    if (!plain) return false;
    // The value was split out before any encoded word in it was decoded: a
    // name that decodes to text with quotes or ';' stays whole.
    if (decodeWords && plain->value.find(u"=?") != std::u16string::npos) {
        LString decoded;
        EMLMimeDecodeHeaderWords(plain->value, decoded);
        CopyOut(decoded.View(), out);
        return true;
    }
    CopyOut(plain->value, out);
    return true;
}

int32_t EMLMimeContentKind(std::u16string_view contentType) {
    // A field folded right after its colon, or written with extra blanks,
    // still names its type.
    contentType = Trim(contentType);
    size_t end = 0;
    while (end < contentType.size() && contentType[end] != u';' && contentType[end] > u' ') ++end;
    std::u16string type;
    for (size_t i = 0; i < end; ++i) type.push_back(LMimeLowerAscii16(contentType[i]));
    std::u16string_view t = type;
    if (t == u"multipart/mixed") return EMLMimeKindMixed;
    if (t == u"multipart/digest") return EMLMimeKindDigest;
    if (t == u"message/rfc822") return EMLMimeKindMessage;
    if (t == u"multipart/alternative") return EMLMimeKindAlternative;
    if (t == u"multipart/related") return EMLMimeKindRelated;
    if (t.starts_with(u"multipart/")) return EMLMimeKindMultipart;
    if (t.starts_with(u"image/")) return EMLMimeKindImage;
    if (t.starts_with(u"audio/")) return EMLMimeKindAudio;
    if (t.starts_with(u"video/")) return EMLMimeKindVideo;
    if (t.starts_with(u"application/")) return EMLMimeKindApplication;
    std::u16string_view params = contentType.substr(end);
    if (params.find(u"name=") != std::u16string_view::npos || params.find(u"name*") != std::u16string_view::npos)
        return t.starts_with(u"text/") ? EMLMimeKindNamedText : EMLMimeKindNamed;
    if (t == u"text/plain" || t.empty()) return EMLMimeKindText;
    if (t == u"text/html") return EMLMimeKindHtml;
    return EMLMimeKindOther;
}
