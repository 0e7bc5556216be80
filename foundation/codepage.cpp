#include "foundation/codepage.h"

#include <iconv.h>

#include <cerrno>

#include "foundation/utf8.h"

namespace {

#if __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
constexpr const char* kWide = "UTF-16LE";
#else
constexpr const char* kWide = "UTF-16BE";
#endif

struct CodePageName {
    uint32_t codePage;
    const char* decodeName;
    const char* encodeName;  // null: the same as decodeName
};

// ISO-2022-JP-2 reads every ISO-2022-JP flavour Windows writes (50220 to
// 50222, half-width katakana through ESC ( I included); writing sticks to
// the plain form that every reader understands.
constexpr CodePageName kNames[] = {
    {437, "CP437", nullptr},         {850, "CP850", nullptr},         {852, "CP852", nullptr},
    {855, "CP855", nullptr},         {857, "CP857", nullptr},         {860, "CP860", nullptr},
    {861, "CP861", nullptr},         {862, "CP862", nullptr},         {863, "CP863", nullptr},
    {865, "CP865", nullptr},         {866, "CP866", nullptr},         {869, "CP869", nullptr},
    {874, "CP874", nullptr},         {932, "CP932", nullptr},         {936, "CP936", nullptr},
    {949, "CP949", nullptr},         {950, "CP950", nullptr},         {1200, "UTF-16LE", nullptr},
    {1201, "UTF-16BE", nullptr},     {1250, "CP1250", nullptr},       {1251, "CP1251", nullptr},
    {1252, "CP1252", nullptr},       {1253, "CP1253", nullptr},       {1254, "CP1254", nullptr},
    {1255, "CP1255", nullptr},       {1256, "CP1256", nullptr},       {1257, "CP1257", nullptr},
    {1258, "CP1258", nullptr},       {1361, "JOHAB", nullptr},        {10000, "MACINTOSH", nullptr},
    {12000, "UTF-32LE", nullptr},    {12001, "UTF-32BE", nullptr},    {20127, "ASCII", nullptr},
    {20866, "KOI8-R", nullptr},      {20932, "EUC-JP", nullptr},      {20936, "GB2312", nullptr},
    {21866, "KOI8-U", nullptr},      {28591, "ISO-8859-1", nullptr},  {28592, "ISO-8859-2", nullptr},
    {28593, "ISO-8859-3", nullptr},  {28594, "ISO-8859-4", nullptr},  {28595, "ISO-8859-5", nullptr},
    {28596, "ISO-8859-6", nullptr},  {28597, "ISO-8859-7", nullptr},  {28598, "ISO-8859-8", nullptr},
    {28599, "ISO-8859-9", nullptr},  {28600, "ISO-8859-10", nullptr}, {28601, "ISO-8859-11", nullptr},
    {28603, "ISO-8859-13", nullptr}, {28604, "ISO-8859-14", nullptr}, {28605, "ISO-8859-15", nullptr},
    {28606, "ISO-8859-16", nullptr}, {38598, "ISO-8859-8", nullptr},  {50220, "ISO-2022-JP-2", "ISO-2022-JP"},
    {50221, "ISO-2022-JP-2", "ISO-2022-JP"}, {50222, "ISO-2022-JP-2", "ISO-2022-JP"},
    {50225, "ISO-2022-KR", nullptr}, {51932, "EUC-JP", nullptr},      {51936, "GB2312", nullptr},
    {51949, "EUC-KR", nullptr},      {54936, "GB18030", nullptr},     {65000, "UTF-7", nullptr},
};

const CodePageName* Find(uint32_t codePage) {
    for (const auto& e : kNames)
        if (e.codePage == codePage) return &e;
    return nullptr;
}

bool IsUtf8(uint32_t codePage) { return codePage == LCodePageUtf8 || codePage == 0 || codePage == 1 || codePage == 3; }

class Iconv {
public:
    Iconv(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
    ~Iconv() {
        if (ok()) iconv_close(cd_);
    }
    Iconv(const Iconv&) = delete;
    Iconv& operator=(const Iconv&) = delete;
    bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
    size_t operator()(char** in, size_t* inLeft, char** out, size_t* outLeft) {
        return iconv(cd_, in, inLeft, out, outLeft);
    }

private:
    iconv_t cd_;
};

}  // namespace

const char* LCodePageIconvName(uint32_t codePage) {
    if (IsUtf8(codePage)) return "UTF-8";
    const CodePageName* e = Find(codePage);
    return e ? e->decodeName : nullptr;
}

namespace {

// Converts through the iconv decoder of that name; false when iconv has none.
bool AppendThrough(const char* decodeName, const char* bytes, size_t n, LString& out) {
    Iconv cd(kWide, decodeName);
    if (!cd.ok()) return false;
    // One unit per byte is enough for every charset of mail; iconv writes
    // straight into the string, which grows only if that guess is wrong.
    if (!out.Reserve(out.length + n + 1)) return true;
    char* in = const_cast<char*>(bytes);
    size_t inLeft = n;
    for (;;) {
        char* o = reinterpret_cast<char*>(out.buffer + out.length);
        size_t room = out.capacity - out.length - 1;
        size_t oLeft = room * sizeof(char16_t);
        size_t r = inLeft ? cd(&in, &inLeft, &o, &oLeft) : cd(nullptr, nullptr, &o, &oLeft);
        int err = errno;
        out.length += room - oLeft / sizeof(char16_t);
        if (r != static_cast<size_t>(-1)) {
            if (inLeft == 0) break;
            continue;
        }
        if (err == E2BIG || out.length + 2 > out.capacity) {
            if (out.capacity > LStringMaxCapacity || !out.Reserve(out.capacity * 2)) break;
            if (err == E2BIG) continue;
        }
        out.buffer[out.length++] = 0xFFFD;
        if (err != EILSEQ || inLeft == 0) break;  // EINVAL: cut short at the end
        ++in;
        --inLeft;
    }
    out.Terminate();
    return true;
}

// A charset name as MIME writes them. Anything else (a path, iconv's
// "//TRANSLIT" suffixes, a name of any length) never reaches iconv_open.
bool IsPlainCharsetName(const char* name) {
    size_t n = 0;
    for (const char* p = name; *p; ++p, ++n) {
        char c = *p;
        bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
                  c == '_' || c == '.' || c == ':' || c == '+';
        if (!ok || n >= 40) return false;
    }
    return n > 0;
}

}  // namespace

void LCodePageAppendWide(uint32_t codePage, const char* bytes, size_t n, LString& out) {
    if (!bytes) return;
    if (IsUtf8(codePage)) {
        LStringAppendUtf8(out, bytes, n);
        return;
    }
    const CodePageName* e = Find(codePage);
    if (e) AppendThrough(e->decodeName, bytes, n, out);
}

bool LCharsetAppendWide(const char* charset, const char* bytes, size_t n, LString& out) {
    if (!charset || !IsPlainCharsetName(charset)) return false;
    return AppendThrough(charset, bytes ? bytes : "", bytes ? n : 0, out);
}

void LCodePageToWide(uint32_t codePage, const LStringA& text, LString& out) {
    out.Clear();
    LCodePageAppendWide(codePage, text.c_str(), text.length, out);
    if (!out.buffer) out.Reserve(1);
}

size_t LMultiByteToWide(uint32_t codePage, char16_t* out, const char* text, size_t capacity) {
    if (capacity == 0) return 0;
    LString wide;
    LCodePageAppendWide(codePage, text, LTextLength(text), wide);
    size_t n = wide.length < capacity - 1 ? wide.length : capacity - 1;
    // Never leave half a surrogate pair at the cut.
    if (n < wide.length && n > 0 && wide.buffer[n - 1] >= 0xD800 && wide.buffer[n - 1] <= 0xDBFF) --n;
    for (size_t i = 0; i < n; ++i) out[i] = wide.buffer[i];
    out[n] = 0;
    return n;
}

void LWideToCodePage(uint32_t codePage, const char16_t* wide, size_t n, LStringA& out) {
    if (!wide) return;
    if (IsUtf8(codePage)) {
        LStringAAppendWide(out, wide, n);
        return;
    }
    const CodePageName* e = Find(codePage);
    if (!e) return;
    Iconv cd(e->encodeName ? e->encodeName : e->decodeName, kWide);
    if (!cd.ok()) return;
    out.Reserve(out.length + n * 2 + 1);
    char* in = reinterpret_cast<char*>(const_cast<char16_t*>(wide));
    size_t inLeft = n * sizeof(char16_t);
    char chunk[2048];
    // The replacement goes through the converter too: a stateful encoding
    // (ISO-2022-JP) must switch back to ASCII before it.
    char16_t question = u'?';
    char* replacement = nullptr;
    size_t replacementLeft = 0;
    bool flushed = false;
    while (!flushed) {
        char* o = chunk;
        size_t oLeft = sizeof chunk;
        size_t r;
        if (replacementLeft) {
            r = cd(&replacement, &replacementLeft, &o, &oLeft);
        } else if (inLeft) {
            r = cd(&in, &inLeft, &o, &oLeft);
        } else {
            r = cd(nullptr, nullptr, &o, &oLeft);
            flushed = r != static_cast<size_t>(-1);
        }
        int err = errno;
        for (char* p = chunk; p < o; ++p) out.PutUnit(*p);
        if (r != static_cast<size_t>(-1) || err == E2BIG) continue;
        if (replacementLeft || !inLeft) break;  // nothing sensible left to do
        size_t skip = sizeof(char16_t);
        const char16_t* unit = reinterpret_cast<const char16_t*>(in);
        if (err == EILSEQ && inLeft >= 4 && *unit >= 0xD800 && *unit <= 0xDBFF && unit[1] >= 0xDC00 &&
            unit[1] <= 0xDFFF)
            skip = 2 * sizeof(char16_t);
        if (skip > inLeft) skip = inLeft;
        in += skip;
        inLeft -= skip;
        replacement = reinterpret_cast<char*>(&question);
        replacementLeft = sizeof question;
    }
    out.Terminate();
}
