#include "mcp/jsonrpc_body.h"

#include <charconv>
#include <cstring>
#include <limits>

namespace {

class StrictReader {
public:
    StrictReader(const char* p, size_t n) : p_(p), end_(p + n) {}

    bool ReadDocument(LMcpRequestBody& out) {
        SkipWhite();
        if (!ReadValue(out.value, 0, &out)) return false;
        SkipWhite();
        return p_ == end_;
    }

private:
    const char* p_;
    const char* end_;

    bool AtEnd() const { return p_ >= end_; }
    void SkipWhite() {
        while (p_ < end_ && (*p_ == ' ' || *p_ == '\t' || *p_ == '\n' || *p_ == '\r')) ++p_;
    }
    bool Literal(const char* word) {
        size_t n = std::strlen(word);
        if (static_cast<size_t>(end_ - p_) < n || std::memcmp(p_, word, n) != 0) return false;
        p_ += n;
        return true;
    }

    // `top` is set only for the members of the outermost object.
    bool ReadValue(LJsonValue& v, int depth, LMcpRequestBody* top) {
        if (AtEnd()) return false;
        switch (*p_) {
            case '{':
                return ReadObject(v, depth + 1, top);
            case '[':
                return ReadArray(v, depth + 1);
            case '"': {
                LStringA text;
                if (!ReadString(text)) return false;
                v.SetString(text.c_str(), text.length);
                return true;
            }
            case 't':
                if (!Literal("true")) return false;
                v.SetBool(true);
                return true;
            case 'f':
                if (!Literal("false")) return false;
                v.SetBool(false);
                return true;
            case 'n':
                if (!Literal("null")) return false;
                v.SetNull();
                return true;
            default:
                return ReadNumber(v);
        }
    }

    bool ReadObject(LJsonValue& v, int depth, LMcpRequestBody* top) {
        if (depth > LMcpMaxJsonDepth) return false;
        ++p_;
        v.kind = LJsonObject;
        SkipWhite();
        if (!AtEnd() && *p_ == '}') {
            ++p_;
            return true;
        }
        for (;;) {
            SkipWhite();
            if (AtEnd() || *p_ != '"') return false;
            LStringA name;
            if (!ReadString(name)) return false;
            SkipWhite();
            if (AtEnd() || *p_ != ':') return false;
            ++p_;
            SkipWhite();
            // A name with an inner NUL cannot be looked up by any caller.
            LJsonValue* member = v.AddMember(std::memchr(name.c_str(), 0, name.length) ? "" : name.c_str());
            if (!member) return false;
            const char* value_start = p_;
            if (!ReadValue(*member, depth, nullptr)) return false;
            if (top && !top->has_id && name.View() == "id") {
                top->has_id = true;
                top->id_kind = member->kind;
                top->id_text.AppendN(value_start, static_cast<uint64_t>(p_ - value_start));
            }
            SkipWhite();
            if (AtEnd()) return false;
            if (*p_ == '}') {
                ++p_;
                return true;
            }
            if (*p_ != ',') return false;
            ++p_;
        }
    }

    bool ReadArray(LJsonValue& v, int depth) {
        if (depth > LMcpMaxJsonDepth) return false;
        ++p_;
        v.kind = LJsonArray;
        SkipWhite();
        if (!AtEnd() && *p_ == ']') {
            ++p_;
            return true;
        }
        for (;;) {
            SkipWhite();
            LJsonValue* element = v.AppendElement();
            if (!element || !ReadValue(*element, depth, nullptr)) return false;
            SkipWhite();
            if (AtEnd()) return false;
            if (*p_ == ']') {
                ++p_;
                return true;
            }
            if (*p_ != ',') return false;
            ++p_;
        }
    }

    bool Digits() {
        const char* start = p_;
        while (p_ < end_ && *p_ >= '0' && *p_ <= '9') ++p_;
        return p_ > start;
    }

    bool ReadNumber(LJsonValue& v) {
        const char* start = p_;
        if (*p_ == '-') ++p_;
        if (AtEnd()) return false;
        if (*p_ == '0') {
            ++p_;
        } else if (*p_ >= '1' && *p_ <= '9') {
            Digits();
        } else {
            return false;
        }
        bool integer = true;
        if (!AtEnd() && *p_ == '.') {
            ++p_;
            integer = false;
            if (!Digits()) return false;
        }
        if (!AtEnd() && (*p_ == 'e' || *p_ == 'E')) {
            ++p_;
            integer = false;
            if (!AtEnd() && (*p_ == '+' || *p_ == '-')) ++p_;
            if (!Digits()) return false;
        }
        if (integer) {
            int64_t i = 0;
            auto r = std::from_chars(start, p_, i);
            if (r.ec == std::errc() && r.ptr == p_) {
                v.SetInt64(i);
                return true;
            }
        }
        double d = 0;
        auto r = std::from_chars(start, p_, d);
        if (r.ec == std::errc::result_out_of_range) {
            // Too large in magnitude for a double: the text is still JSON.
            d = *start == '-' ? -std::numeric_limits<double>::infinity() : std::numeric_limits<double>::infinity();
        } else if (r.ec != std::errc() || r.ptr != p_) {
            return false;
        }
        v.SetDouble(d);
        return true;
    }

    int Hex4() {
        if (end_ - p_ < 4) return -1;
        int value = 0;
        for (int i = 0; i < 4; ++i) {
            char c = p_[i];
            int d = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
            if (d < 0) return -1;
            value = value * 16 + d;
        }
        p_ += 4;
        return value;
    }

    static void PutCodePoint(LStringA& out, uint32_t cp) {
        char buf[4];
        int n = 0;
        if (cp < 0x80) {
            buf[n++] = static_cast<char>(cp);
        } else if (cp < 0x800) {
            buf[n++] = static_cast<char>(0xC0 | (cp >> 6));
            buf[n++] = static_cast<char>(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            buf[n++] = static_cast<char>(0xE0 | (cp >> 12));
            buf[n++] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            buf[n++] = static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            buf[n++] = static_cast<char>(0xF0 | (cp >> 18));
            buf[n++] = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
            buf[n++] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            buf[n++] = static_cast<char>(0x80 | (cp & 0x3F));
        }
        out.AppendBulk(buf, static_cast<uint64_t>(n));
    }

    // One well-formed UTF-8 sequence (RFC 3629: no overlong forms, no
    // surrogates, nothing above U+10FFFF), copied as it is.
    bool CopyUtf8(LStringA& out) {
        auto b = static_cast<unsigned char>(*p_);
        int more;
        unsigned char lo = 0x80, hi = 0xBF;
        if (b >= 0xC2 && b <= 0xDF) {
            more = 1;
        } else if (b >= 0xE0 && b <= 0xEF) {
            more = 2;
            if (b == 0xE0) lo = 0xA0;
            if (b == 0xED) hi = 0x9F;
        } else if (b >= 0xF0 && b <= 0xF4) {
            more = 3;
            if (b == 0xF0) lo = 0x90;
            if (b == 0xF4) hi = 0x8F;
        } else {
            return false;
        }
        if (end_ - p_ <= more) return false;
        for (int i = 1; i <= more; ++i) {
            auto c = static_cast<unsigned char>(p_[i]);
            if (c < (i == 1 ? lo : 0x80) || c > (i == 1 ? hi : 0xBF)) return false;
        }
        out.AppendBulk(p_, static_cast<uint64_t>(more + 1));
        p_ += more + 1;
        return true;
    }

    bool ReadString(LStringA& out) {
        ++p_;
        for (;;) {
            const char* run = p_;
            while (p_ < end_ && *p_ != '"' && *p_ != '\\' && static_cast<unsigned char>(*p_) >= 0x20 &&
                   static_cast<unsigned char>(*p_) < 0x80)
                ++p_;
            if (p_ > run) out.AppendBulk(run, static_cast<uint64_t>(p_ - run));
            if (AtEnd()) return false;
            auto c = static_cast<unsigned char>(*p_);
            if (c == '"') {
                ++p_;
                out.Terminate();
                return true;
            }
            if (c < 0x20) return false;
            if (c >= 0x80) {
                if (!CopyUtf8(out)) return false;
                continue;
            }
            ++p_;  // the backslash
            if (AtEnd()) return false;
            char e = *p_++;
            switch (e) {
                case '"': out.AppendBulk("\"", 1); break;
                case '\\': out.AppendBulk("\\", 1); break;
                case '/': out.AppendBulk("/", 1); break;
                case 'b': out.AppendBulk("\b", 1); break;
                case 'f': out.AppendBulk("\f", 1); break;
                case 'n': out.AppendBulk("\n", 1); break;
                case 'r': out.AppendBulk("\r", 1); break;
                case 't': out.AppendBulk("\t", 1); break;
                case 'u': {
                    int u = Hex4();
                    if (u < 0) return false;
                    uint32_t cp = static_cast<uint32_t>(u);
                    if (cp >= 0xD800 && cp <= 0xDBFF && end_ - p_ >= 6 && p_[0] == '\\' && p_[1] == 'u') {
                        const char* back = p_;
                        p_ += 2;
                        int low = Hex4();
                        if (low < 0) return false;
                        if (low >= 0xDC00 && low <= 0xDFFF) {
                            cp = 0x10000 + ((cp - 0xD800) << 10) + (static_cast<uint32_t>(low) - 0xDC00);
                        } else {
                            p_ = back;  // the next escape stands on its own
                        }
                    }
                    // The grammar allows a lone surrogate; UTF-8 cannot carry one.
                    if (cp >= 0xD800 && cp <= 0xDFFF) cp = 0xFFFD;
                    PutCodePoint(out, cp);
                    break;
                }
                default:
                    return false;
            }
        }
    }
};

}  // namespace

bool LMcpParseRequestBody(const char* bytes, size_t n, LMcpRequestBody& out) {
    out.has_id = false;
    out.id_kind = 0;
    out.id_text.Clear();
    StrictReader reader(bytes, n);
    return reader.ReadDocument(out);
}
