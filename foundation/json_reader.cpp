// The two JSON readers. They share one grammar that reads every text RFC
// 8259 allows and is more lenient in places (unclosed containers at the end
// of the text, brackets not matched by kind, a comma optional, "truex" read
// as true). Numbers must have the RFC's form: the C library would also take
// "nan", "inf" or hex, and a tree must never hold a number that is not one.
// The plain reader refuses a bare scalar where an object's member is due;
// either reader takes one as the whole text.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "foundation/json_value.h"
#include "foundation/system_text.h"
#include "foundation/utf8.h"

namespace {

enum class LJsonWhere { Outer, Element, MemberValue };

// Nesting beyond this fails the read: the reader recurses once per level,
// and a request body of brackets alone must not exhaust the stack.
constexpr int kMaxDepth = 512;

// A worker's stop question costs a system call, more than reading an item:
// it is asked before the first item and then before every 256th, so a stop
// is still seen within microseconds.
constexpr uint32_t kStopCheckEvery = 256;

const char kUnexpected[] = "Unexpected symbol.";
const char kNotDelimited[] = "String isn't delimited by double quote.";
const char kNotHex[] = "Character isn't in range [0; F]";
const char kNotBound[] = "Text isn't bound by double quotes.";
const char kBadValue[] = "Failed to parse value.";
const char kOneRoot[] = "Must be exactly one root value.";
const char kTooDeep[] = "Nesting is too deep.";

bool IsWhite(char c) { return c >= 0x01 && c <= 0x20; }
bool EndsToken(char c) { return c == ',' || c == ']' || c == '}' || c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// -? (0 | [1-9] digits) (. digits)? ([eE] [+-]? digits)?, leading zeros
// allowed as the integer rule allows them.
bool IsNumberText(const char* p) {
    auto digits = [&p] {
        const char* start = p;
        while (*p >= '0' && *p <= '9') ++p;
        return p > start;
    };
    if (*p == '-') ++p;
    if (!digits()) return false;
    if (*p == '.') {
        ++p;
        if (!digits()) return false;
    }
    if (*p == 'e' || *p == 'E') {
        ++p;
        if (*p == '+' || *p == '-') ++p;
        if (!digits()) return false;
    }
    return *p == 0;
}

class LJsonReader {
public:
    LJsonReader(const char* text, size_t n, LTaskProgress* progress, bool reporting, bool utf16)
        : begin_(text), p_(text), progress_(progress), reporting_(reporting), utf16_(utf16) {
        const void* nul = std::memchr(text, 0, n);
        end_ = nul ? static_cast<const char*>(nul) : text + n;
        message[0] = 0;
    }

    uint32_t ReadItems(LJsonValue& c, bool array_mode, LJsonWhere where, int depth);
    void Position(int& line, int& column) const;

    bool failed = false;
    char message[260];

private:
    bool AtEnd() const { return p_ >= end_; }
    void SkipWhite() {
        while (p_ < end_ && IsWhite(*p_)) ++p_;
    }
    // White space may stand between a value and its comma.
    void SkipCommaAfterValue() {
        SkipWhite();
        if (p_ < end_ && *p_ == ',') ++p_;
    }
    uint32_t Fail(const char* text) {
        if (!failed) LCopyFieldA(message, text);
        failed = true;
        return 2;
    }
    uint32_t OpenContainer(LJsonValue& target, bool array, LJsonWhere where, int depth);
    bool ReadStringToken();
    bool ReadScalarToken(LJsonValue& target);
    bool StoreScalar(LJsonValue& target, const char* tok, size_t n);
    bool StripQuotes(const char*& tok, size_t& n);
    LJsonValue* MemberOrElement(LJsonValue& c, const char* name);

    const char* begin_;
    const char* p_;
    const char* end_;
    LTaskProgress* progress_;
    bool reporting_;
    bool utf16_;
    uint32_t asked_ = 0;
    std::string token_;
};

void LJsonReader::Position(int& line, int& column) const {
    line = 1;
    const char* start = begin_;
    for (const char* q = begin_; q < p_; ++q) {
        if (*q == '\n' || *q == '\r') {
            if (*q == '\r' && q + 1 < p_ && q[1] == '\n') ++q;
            ++line;
            start = q + 1;
        }
    }
    column = static_cast<int>(p_ - start);
}

LJsonValue* LJsonReader::MemberOrElement(LJsonValue& c, const char* name) {
    if (!name[0]) return c.AppendElement();
    // A repeated name reuses the first member: the later value replaces it.
    if (LJsonValue* v = c.FindMember(name)) return v;
    return c.AddMember(name);
}

// The token from the opening quote to the next quote no backslash hides,
// with its escapes resolved and its quotes kept.
bool LJsonReader::ReadStringToken() {
    const char* start = p_;
    const char* q = p_ + 1;
    while (q < end_ && *q != '"') q += *q != '\\' ? 1 : (q + 1 < end_ && q[1] == 'u') ? 6 : 2;
    if (q >= end_) {
        p_ = end_;
        Fail(kNotDelimited);
        return false;
    }
    p_ = q + 1;
    token_.assign(1, '"');
    for (const char* s = start + 1; s < q; ++s) {
        if (*s != '\\') {
            token_ += *s;
            continue;
        }
        char e = *++s;
        switch (e) {
        case '"': case '/': case '\\': token_ += e; break;
        case 'b': token_ += '\b'; break;
        case 'f': token_ += '\f'; break;
        case 'n': token_ += '\n'; break;
        case 'r': token_ += '\r'; break;
        case 't': token_ += '\t'; break;
        case 'u': {
            uint32_t unit = 0;
            for (int k = 1; k <= 4; ++k) {
                int h = HexValue(s[k]);
                if (h < 0) {
                    Fail(kNotHex);
                    return false;
                }
                unit = unit * 16 + static_cast<uint32_t>(h);
            }
            s += 4;
            uint32_t cp = unit;
            if (unit >= 0xD800 && unit <= 0xDBFF && s + 6 < q && s[1] == '\\' && s[2] == 'u') {
                uint32_t low = 0;
                bool hex = true;
                for (int k = 3; k <= 6 && hex; ++k) {
                    int h = HexValue(s[k]);
                    hex = h >= 0;
                    low = low * 16 + static_cast<uint32_t>(h < 0 ? 0 : h);
                }
                if (hex && low >= 0xDC00 && low <= 0xDFFF) {
                    cp = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
                    s += 6;
                }
            }
            // A surrogate without its partner cannot be UTF-8.
            if (cp >= 0xD800 && cp <= 0xDFFF) cp = 0xFFFD;
            if (cp != 0) {
                char utf8[4];
                token_.append(utf8, LUtf8Encode(cp, utf8));
            }
            break;
        }
        default: break;  // an unknown escape drops both characters
        }
    }
    token_ += '"';
    return true;
}

bool LJsonReader::StripQuotes(const char*& tok, size_t& n) {
    if (n >= 2 && (tok[0] != '"' || tok[n - 1] != '"')) {
        Fail(kNotBound);
        return false;
    }
    if (n >= 2) {
        ++tok;
        n -= 2;
    }
    return true;
}

bool LJsonReader::StoreScalar(LJsonValue& target, const char* tok, size_t n) {
    if (tok[0] == '"') {
        if (!StripQuotes(tok, n)) return false;
        target.SetString(tok, n);
        return true;
    }
    if (std::strncmp(tok, "true", 4) == 0 || std::strncmp(tok, "false", 5) == 0) {
        target.SetBool(tok[0] == 't');
        return true;
    }
    if (std::strncmp(tok, "null", 4) == 0) {
        target.SetNull();
        return true;
    }
    const char* d = tok + (tok[0] == '-');
    bool digits = *d != 0;
    for (const char* q = d; *q && digits; ++q) digits = *q >= '0' && *q <= '9';
    if (digits) {
        target.SetInt64(LParseInt64A(tok));
        return true;
    }
    double v;
    if (IsNumberText(tok) && std::sscanf(tok, "%lf", &v) == 1) {
        target.SetDouble(v);
        return true;
    }
    Fail(kBadValue);
    return false;
}

bool LJsonReader::ReadScalarToken(LJsonValue& target) {
    const char* start = p_;
    while (p_ < end_ && !EndsToken(*p_)) ++p_;
    size_t n = static_cast<size_t>(p_ - start);
    if (n == 0) {
        // An empty token fails without a message of its own.
        Fail("");
        return false;
    }
    char tok[260];
    if (n > 259) n = 259;
    std::memcpy(tok, start, n);
    tok[n] = 0;
    if (!StoreScalar(target, tok, n)) return false;
    SkipCommaAfterValue();
    return true;
}

uint32_t LJsonReader::OpenContainer(LJsonValue& target, bool array, LJsonWhere where, int depth) {
    if (depth >= kMaxDepth) return Fail(kTooDeep);
    ++p_;
    target.kind = array ? LJsonArray : LJsonObject;
    target.subkind = LJsonNotNumber;
    return ReadItems(target, array, where, depth + 1);
}

uint32_t LJsonReader::ReadItems(LJsonValue& c, bool array_mode, LJsonWhere where, int depth) {
    bool pending = false;
    char name[260];
    for (;;) {
        if (AtEnd()) return 0;
        if (reporting_ && progress_ && (where == LJsonWhere::Element || (where == LJsonWhere::Outer && utf16_)) &&
            (asked_++ % kStopCheckEvery) == 0 && progress_->IsStopRequested())
            return 1;
        SkipWhite();
        if (AtEnd()) return 0;
        const char ch = *p_;
        if (ch == '}' || ch == ']') {
            ++p_;
            SkipWhite();
            if (!AtEnd() && *p_ == ',') ++p_;
            return 0;
        }
        if (pending && ch != '[') {
            pending = false;
            LJsonValue* target = MemberOrElement(c, name);
            if (!target) return Fail(kBadValue);
            if (ch == '{') {
                uint32_t st = OpenContainer(*target, false, name[0] ? LJsonWhere::MemberValue : LJsonWhere::Element, depth);
                if (st) return st;
                continue;
            }
            if (ch == '"') {
                if (!ReadStringToken() || !StoreScalar(*target, token_.c_str(), token_.size())) return 2;
                while (p_ < end_ && !EndsToken(*p_)) ++p_;
                SkipCommaAfterValue();
                continue;
            }
            if (!ReadScalarToken(*target)) return 2;
            continue;
        }
        if (ch != '"' && ch != '[' && ch != '{') {
            if (!reporting_ && !array_mode && where == LJsonWhere::MemberValue) return Fail(kUnexpected);
            LJsonValue* target = c.AppendElement();
            if (!target) return Fail(kBadValue);
            if (!ReadScalarToken(*target)) return 2;
            continue;
        }
        if (ch == '"') {
            if (!ReadStringToken()) return 2;
            SkipWhite();
            // A string not followed by a colon is a value: an element of an
            // array, or a string that is the whole text.
            if (AtEnd() || *p_ != ':') {
                LJsonValue* target = c.AppendElement();
                if (!target || !StoreScalar(*target, token_.c_str(), token_.size())) return Fail(kBadValue);
                if (!AtEnd() && *p_ == ',') ++p_;
                continue;
            }
            const char* tok = token_.c_str();
            size_t n = token_.size();
            if (!StripQuotes(tok, n)) return 2;
            if (n > 259) {
                // Cut at a whole character: the member's name field holds 259 bytes.
                n = 259;
                while (n > 0 && (static_cast<unsigned char>(tok[n]) & 0xC0) == 0x80) --n;
            }
            std::memcpy(name, tok, n);
            name[n] = 0;
            pending = true;
            if (!AtEnd()) ++p_;  // the colon
            continue;
        }
        // '[' or '{': the member of the pending name, or a new element.
        const bool named = pending && name[0];
        pending = false;
        LJsonValue* target = named ? MemberOrElement(c, name) : c.AppendElement();
        if (!target) return Fail(kBadValue);
        uint32_t st = OpenContainer(*target, ch == '[', named ? LJsonWhere::MemberValue : LJsonWhere::Element, depth);
        if (st) return st;
    }
}

enum class LJsonMode { Plain, Reporting, ReportingUtf16 };

uint32_t Read(LJsonValue& value, LTaskProgress* progress, const char* text, size_t n, LJsonMode mode) {
    value.Destroy();
    value.kind = LJsonObject;
    value.subkind = LJsonNotNumber;
    const bool reporting = mode != LJsonMode::Plain;
    LJsonReader reader(text ? text : "", text ? n : 0, progress, reporting, mode == LJsonMode::ReportingUtf16);
    LJsonValue outer;
    uint32_t status = reader.ReadItems(outer, false, LJsonWhere::Outer, 0);
    if (status == 1) return 1;
    if (status == 0 && outer.count == 1 && !outer.members) {
        value.MoveFrom(outer.elements[0]);
        return 0;
    }
    if (!reporting) return 2;
    if (status == 0 && outer.count == 0 && outer.members && !outer.members->next) return 2;
    if (!reader.failed) LCopyFieldA(reader.message, kOneRoot);
    int line, column;
    reader.Position(line, column);
    if (progress) {
        LStringA report;
        report.Format("Error near(%d:%d): %s", line, column, reader.message);
        LString wide;
        wide.SetUtf8N(report.c_str(), report.length);
        progress->ShowError(wide.c_str());
    }
    return 2;
}

}  // namespace

uint32_t LJsonValue::Parse(const char* utf8) { return Parse(utf8, utf8 ? std::strlen(utf8) : 0); }

uint32_t LJsonValue::Parse(const char* utf8, size_t n) { return Read(*this, nullptr, utf8, n, LJsonMode::Plain); }

uint32_t LJsonValue::ParseUtf8(LTaskProgress* progress, const char* utf8) {
    return ParseUtf8(progress, utf8, utf8 ? std::strlen(utf8) : 0);
}

uint32_t LJsonValue::ParseUtf8(LTaskProgress* progress, const char* utf8, size_t n) {
    return Read(*this, progress, utf8, n, LJsonMode::Reporting);
}

uint32_t LJsonValue::ParseText(LTaskProgress* progress, const char16_t* text) {
    LStringA utf8;
    utf8.SetUtf8FromWide(text ? text : u"");
    return Read(*this, progress, utf8.c_str(), utf8.length, LJsonMode::ReportingUtf16);
}
