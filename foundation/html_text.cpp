#include "foundation/html_text.h"

#include <cstdint>

namespace {

struct Entity {
    const char* name;
    uint16_t code;
};

// Searched in this order; the first name that matches wins.
constexpr Entity kEntities[] = {
    {"quot", 34},    {"amp", 38},     {"apos", 39},    {"lt", 60},      {"gt", 62},      {"nbsp", 32},
    {"iexcl", 161},  {"cent", 162},   {"pound", 163},  {"curren", 164}, {"yen", 165},    {"brvbar", 166},
    {"sect", 167},   {"uml", 168},    {"copy", 169},   {"ordf", 170},   {"laquo", 171},  {"not", 172},
    {"shy", 173},    {"reg", 174},    {"macr", 175},   {"deg", 176},    {"plusmn", 177}, {"sup2", 178},
    {"sup3", 179},   {"acute", 180},  {"micro", 181},  {"para", 182},   {"middot", 183}, {"cedil", 184},
    {"sup1", 185},   {"ordm", 186},   {"raquo", 187},  {"frac14", 188}, {"frac12", 189}, {"frac34", 190},
    {"iquest", 191}, {"Agrave", 192}, {"Aacute", 193}, {"Acirc", 194},  {"Atilde", 195}, {"Auml", 196},
    {"Aring", 197},  {"AElig", 198},  {"Ccedil", 199}, {"Egrave", 200}, {"Eacute", 201}, {"Ecirc", 202},
    {"Euml", 203},   {"Igrave", 204}, {"Iacute", 205}, {"Icirc", 206},  {"Iuml", 207},   {"ETH", 208},
    {"Ntilde", 209}, {"Ograve", 210}, {"Oacute", 211}, {"Ocirc", 212},  {"Otilde", 213}, {"Ouml", 214},
    {"times", 215},  {"Oslash", 216}, {"Ugrave", 217}, {"Uacute", 218}, {"Ucirc", 219},  {"Uuml", 220},
    {"Yacute", 221}, {"THORN", 222},  {"szlig", 223},  {"agrave", 224}, {"aacute", 225}, {"acirc", 226},
    {"atilde", 227}, {"auml", 228},   {"aring", 229},  {"aelig", 230},  {"ccedil", 231}, {"egrave", 232},
    {"eacute", 233}, {"ecirc", 234},  {"euml", 235},   {"igrave", 236}, {"iacute", 237}, {"icirc", 238},
    {"iuml", 239},   {"eth", 240},    {"ntilde", 241}, {"ograve", 242}, {"oacute", 243}, {"ocirc", 244},
    {"otilde", 245}, {"ouml", 246},   {"divide", 247}, {"oslash", 248}, {"ugrave", 249}, {"uacute", 250},
    {"ucirc", 251},  {"uuml", 252},   {"yacute", 253}, {"thorn", 254},  {"yuml", 255},
};
static_assert(sizeof kEntities / sizeof kEntities[0] == 101);

// Tags that end the current line (ul, br and li have rules of their own).
constexpr const char* kBreakTags[] = {"div", "h1", "h2", "h3", "h4", "h5", "h6",
                                      "img", "object", "wbr", "frame", "p", "th"};

bool NameIs(const char16_t* name, const char* want) {
    for (; *want; ++name, ++want)
        if (*name != char16_t(*want)) return false;
    return *name == 0;
}

class Renderer {
public:
    explicit Renderer(LString& out) : out_(out) {}

    void Run(const char16_t* p) {
        while (*p) {
            char16_t c = *p;
            if (c == u'<') {
                p = Tag(p + 1);
            } else if (c == u'>') {
                ++p;
            } else if (c == u' ' || c == u'\t') {
                if (!atLineStart_) pendingSpace_ = true;
                ++p;
            } else if (c == u'\r' || c == u'\n') {
                pendingSpace_ = false;
                ++p;
            } else {
                BeginText();
                p = c == u'&' ? Reference(p) : Put(p);
            }
        }
        out_.Terminate();
    }

private:
    void Emit(char16_t c) { out_.PutUnit(c); }
    void Emit(const char* s) {
        while (*s) out_.PutUnit(char16_t(*s++));
    }
    // Emits a code point, a surrogate pair above U+FFFF.
    void EmitCodePoint(uint32_t cp) {
        if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = 0xFFFD;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            Emit(char16_t(0xD800 + (cp >> 10)));
            Emit(char16_t(0xDC00 + (cp & 0x3FF)));
            return;
        }
        Emit(char16_t(cp));
    }
    void NewLine() {
        Emit("\r\n");
        atLineStart_ = true;
        pendingSpace_ = false;
    }
    void EndLine() {
        if (!atLineStart_) NewLine();
    }

    void BeginText() {
        if (pendingSpace_) Emit(u' ');
        if (insideList_ && atLineStart_) Emit("      ");
        pendingSpace_ = false;
        atLineStart_ = false;
    }

    const char16_t* Put(const char16_t* p) {
        Emit(*p);
        return p + 1;
    }

    // At '&': a character reference or an entity, else the '&' itself.
    const char16_t* Reference(const char16_t* p) {
        if (p[1] == u'#') {
            // Every digit is read, so that references above U+FFFF come out
            // whole (as a surrogate pair); values beyond Unicode give U+FFFD.
            const char16_t* q = p + 2;
            uint32_t value = 0;
            while (*q >= u'0' && *q <= u'9') {
                if (value <= 0x10FFFF) value = value * 10 + uint32_t(*q - u'0');
                ++q;
            }
            if (value == 0) return Put(p);
            EmitCodePoint(value);
            return *q == u';' ? q + 1 : q;
        }
        for (const Entity& e : kEntities) {
            size_t i = 0;
            while (e.name[i] && p[1 + i] == char16_t(e.name[i])) ++i;
            if (e.name[i]) continue;
            char16_t after = p[1 + i];
            if (after >= u'a' && after <= u'z') continue;
            Emit(char16_t(e.code));
            const char16_t* q = p + 1 + i;
            return *q == u';' ? q + 1 : q;
        }
        return Put(p);
    }

    // After '<': reads the name, applies its rule, skips to after the '>'.
    const char16_t* Tag(const char16_t* p) {
        // Closing tags act like opening ones, except that a closing li only
        // ends its line: an empty bullet after every item helps nobody.
        bool closing = *p == u'/';
        if (closing) ++p;
        char16_t name[9];
        size_t n = 0;
        for (; *p && *p != u'>' && !(*p >= 1 && *p <= 32); ++p)
            if (n < 8) name[n++] = (*p >= u'A' && *p <= u'Z') ? char16_t(*p + 32) : *p;
        if (n && name[n - 1] == u'/') --n;
        name[n] = 0;

        if (NameIs(name, "ul")) {
            insideList_ = !insideList_;
            EndLine();
            NewLine();
        } else if (NameIs(name, "br")) {
            NewLine();
        } else if (NameIs(name, "li") && closing) {
            EndLine();
        } else if (NameIs(name, "li")) {
            EndLine();
            Emit(insideList_ ? "    *" : "*");
            pendingSpace_ = true;
            atLineStart_ = false;
        } else {
            for (const char* t : kBreakTags)
                if (NameIs(name, t)) {
                    EndLine();
                    break;
                }
        }
        while (*p && *p != u'>') ++p;
        return *p ? p + 1 : p;
    }

    LString& out_;
    bool atLineStart_ = true;
    bool pendingSpace_ = false;
    bool insideList_ = false;
};

}  // namespace

void LHtmlToText(LString& out, const char16_t* html) {
    out.Reserve(out.length + LStringMinCapacity);
    if (!html) {
        out.Terminate();
        return;
    }
    Renderer(out).Run(html);
}
