#include "foundation/files_path.h"

#include <cstdint>
#include <vector>
#include <string_view>

#include "foundation/lstring.h"

namespace {

constexpr size_t kMax = 259;

bool IsSeparator(char16_t c) { return c == u'/' || c == u'\\'; }

bool IsForbidden(char16_t c) {
    for (const char16_t* p = u":*?\"<>|\\/"; *p; ++p) {
        if (*p == c) return true;
    }
    return false;
}

char16_t Lower(char16_t c) { return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 32) : c; }

bool EqualsNoCase(std::u16string_view a, const char16_t* b) {
    size_t i = 0;
    for (; i < a.size() && b[i]; ++i) {
        if (Lower(a[i]) != b[i]) return false;
    }
    return i == a.size() && !b[i];
}

void Append(char16_t out[260], size_t& n, const char16_t* text, size_t limit) {
    for (const char16_t* p = text; p && *p && n < limit; ++p) out[n++] = *p;
}

// The components of an absolute path, without empty ones.
std::vector<std::u16string_view> Components(std::u16string_view path) {
    std::vector<std::u16string_view> parts;
    size_t start = 0;
    for (size_t i = 0; i <= path.size(); ++i) {
        if (i == path.size() || IsSeparator(path[i])) {
            if (i > start) parts.push_back(path.substr(start, i - start));
            start = i + 1;
        }
    }
    return parts;
}

}  // namespace

char16_t* LPathCombine(char16_t out[260], const char16_t* folder, const char16_t* name, const char16_t* suffix) {
    size_t n = 0;
    Append(out, n, folder, 258);
    if (n > 0 && !IsSeparator(out[n - 1])) out[n++] = u'/';
    Append(out, n, name, kMax);
    Append(out, n, suffix, kMax);
    out[n] = 0;
    return out;
}

void LGetFileExtension(char16_t out[260], const char16_t* path) {
    const char16_t* dot = nullptr;
    for (const char16_t* p = path; p && *p; ++p) {
        if (*p == u'.') dot = p;
        if (IsSeparator(*p)) dot = nullptr;
    }
    size_t n = 0;
    Append(out, n, dot, kMax);
    out[n] = 0;
}

size_t LFileNameStripExtension(char16_t out[260], const char16_t* name) {
    size_t n = 0;
    Append(out, n, name, kMax);
    out[n] = 0;
    for (size_t i = n; i-- > 1;) {
        if (out[i] == u'.') {
            out[i] = 0;
            return i;
        }
    }
    return 0;
}

bool LMakeRelativePath(char16_t out[260], const char16_t* folder, const char16_t* file) {
    out[0] = 0;
    std::u16string_view from(folder ? folder : u""), to(file ? file : u"");
    if (from.empty() || to.empty() || !IsSeparator(from[0]) || !IsSeparator(to[0])) return false;
    const auto a = Components(from), b = Components(to);
    size_t common = 0;
    while (common < a.size() && common < b.size() && a[common] == b[common]) ++common;
    LString rel;
    for (size_t i = common; i < a.size(); ++i) rel.Append(u"../");
    for (size_t i = common; i < b.size(); ++i) {
        rel.AppendView(b[i]);
        if (i + 1 < b.size()) rel.AppendChar(u'/');
    }
    if (rel.IsEmpty()) rel.Append(u".");
    if (rel.length > kMax) return false;
    size_t n = 0;
    Append(out, n, rel.c_str(), kMax);
    out[n] = 0;
    return true;
}

const char16_t* LGetMimeTypeFromExtension(const char16_t* extension) {
    static const struct {
        const char16_t* ext;
        const char16_t* type;
    } kTypes[] = {
        {u".pdf", u"application/pdf"}, {u".jpeg", u"image/jpeg"}, {u".jpg", u"image/jpg"},
        {u".bmp", u"image/bmp"},       {u".gif", u"image/gif"},   {u".png", u"image/png"},
        {u".mid", u"audio/mid"},       {u".midi", u"audio/mid"},  {u".mp3", u"audio/mpeg"},
        {u".wav", u"audio/vnd.wav"},   {u".mp4", u"video/mp4"},
    };
    std::u16string_view ext(extension ? extension : u"");
    for (const auto& t : kTypes) {
        if (EqualsNoCase(ext, t.ext)) return t.type;
    }
    return u"application/octet-stream";
}

bool LIsReservedDeviceName(const char16_t* name) {
    std::u16string_view n(name ? name : u"");
    n = n.substr(0, n.find(u'.'));
    for (const char16_t* r : {u"aux", u"con", u"nul", u"prn"}) {
        if (EqualsNoCase(n, r)) return true;
    }
    if (n.size() != 4 || n[3] < u'1' || n[3] > u'9') return false;
    return EqualsNoCase(n.substr(0, 3), u"com") || EqualsNoCase(n.substr(0, 3), u"lpt");
}

int LCheckFileName(const char16_t* name) {
    std::u16string_view n(name ? name : u"");
    if (n.size() > kMax) return 2;
    if (!n.empty() && (n.back() == u' ' || n.back() == u'.')) return 3;
    for (char16_t c : n) {
        if (c < 32) return 5;
    }
    for (char16_t c : n) {
        if (IsForbidden(c)) return 6;
    }
    return LIsReservedDeviceName(name) ? 7 : 0;
}

bool LIsValidPath(const char16_t* path) {
    std::u16string_view p(path ? path : u"");
    if (p.empty() || p.size() >= 260 || p[0] != u'/') return false;
    if (p.size() == 1) return true;
    size_t start = 1;
    for (size_t i = 1; i <= p.size(); ++i) {
        if (i < p.size() && !IsSeparator(p[i])) continue;
        if (i == start) return false;  // an empty component
        std::u16string component(p.substr(start, i - start));
        if (LCheckFileName(component.c_str()) != 0) return false;
        start = i + 1;
    }
    return true;
}

bool LMakeValidFileName(const char16_t* name, char16_t out[260]) {
    size_t n = 0;
    for (const char16_t* p = name; p && *p && n < kMax; ++p) {
        if (*p >= 32 && !IsForbidden(*p)) out[n++] = *p;
    }
    while (n > 0 && (out[n - 1] == u' ' || out[n - 1] == u'.')) --n;
    out[n] = 0;
    if (n == 0 || LIsReservedDeviceName(out)) {
        out[0] = 0;
        return false;
    }
    return true;
}
