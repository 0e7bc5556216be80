// The IMAP response reader: pure functions over one reply line.
#include "net/imap/imap_response.h"

#include <cstring>

namespace {

bool IsBlank(char c) { return static_cast<unsigned char>(c) < '!'; }

char Upper(char c) { return (c >= 'a' && c <= 'z') ? char(c - 32) : c; }

bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (Upper(a[i]) != Upper(b[i])) return false;
    return true;
}

size_t SkipBlanks(std::string_view s, size_t i) {
    while (i < s.size() && IsBlank(s[i])) ++i;
    return i;
}

// Start and end of the n-th word.
bool WordBounds(std::string_view line, size_t n, size_t& start, size_t& end) {
    size_t i = SkipBlanks(line, 0);
    for (size_t w = 0;; ++w) {
        if (i >= line.size()) return false;
        size_t s = i;
        while (i < line.size() && !IsBlank(line[i])) ++i;
        if (w == n) {
            start = s;
            end = i;
            return true;
        }
        i = SkipBlanks(line, i);
    }
}

}  // namespace

LImapLineKind LImapClassifyLine(std::string_view line) {
    if (line.empty()) return LImapLineKind::Other;
    switch (line[0]) {
    case '*': return LImapLineKind::Untagged;
    case '+': return LImapLineKind::Continuation;
    case 'A': return LImapLineKind::Tagged;
    default: return LImapLineKind::Other;
    }
}

std::string_view LImapWord(std::string_view line, size_t n) {
    size_t s, e;
    return WordBounds(line, n, s, e) ? line.substr(s, e - s) : std::string_view();
}

std::string_view LImapRestAfterWord(std::string_view line, size_t n) {
    size_t s, e;
    if (!WordBounds(line, n, s, e)) return {};
    return line.substr(SkipBlanks(line, e));
}

LString LImapText(std::string_view utf8) {
    LString s;
    LStringAppendUtf8(s, utf8.data(), utf8.size() > 259 ? 259 : utf8.size());
    s.Terminate();
    return s;
}

void LImapCopyField(char out[260], std::string_view text) {
    size_t n = text.size() < 259 ? text.size() : 259;
    if (n) std::memcpy(out, text.data(), n);
    out[n] = 0;
}

bool LImapReadString(std::string_view& cursor, LStringA& out) {
    out.Clear();
    size_t i = SkipBlanks(cursor, 0);
    if (i >= cursor.size()) {
        cursor = {};
        return false;
    }
    if (cursor[i] == '"') {
        ++i;
        while (i < cursor.size() && cursor[i] != '"') {
            if (cursor[i] == '\\' && i + 1 < cursor.size()) ++i;
            out.AppendChar(cursor[i++]);
        }
        if (i >= cursor.size()) {
            cursor = {};
            return false;
        }
        cursor.remove_prefix(i + 1);
        out.Terminate();
        return true;
    }
    size_t s = i;
    while (i < cursor.size() && !IsBlank(cursor[i])) ++i;
    std::string_view word = cursor.substr(s, i - s);
    cursor.remove_prefix(i);
    if (!EqualsNoCase(word, "NIL")) out.AppendView(word);
    out.Terminate();
    return true;
}

bool LImapParseListLine(std::string_view line, LStringA& name) {
    name.Clear();
    if (line.empty() || line[0] != '*' || !EqualsNoCase(LImapWord(line, 1), "LIST")) return false;
    std::string_view rest = LImapRestAfterWord(line, 1);
    if (rest.empty() || rest[0] != '(') return false;
    size_t close = rest.find(')');
    if (close == std::string_view::npos) return false;
    std::string flags(rest.substr(1, close - 1));
    for (char& c : flags) c = Upper(c);
    if (flags.find("\\NOSELECT") != std::string::npos || flags.find("\\NONEXISTENT") != std::string::npos) return false;
    std::string_view cursor = rest.substr(close + 1);
    LStringA delimiter;
    if (!LImapReadString(cursor, delimiter) || !LImapReadString(cursor, name)) return false;
    return !name.IsEmpty();
}

bool LImapParseLiteralLength(std::string_view digits, uint64_t& length) {
    length = 0;
    if (digits.empty()) return false;
    for (char c : digits) {
        if (c < '0' || c > '9') return false;
        uint64_t d = uint64_t(c - '0');
        if (length > (UINT64_MAX - d) / 10) return false;
        length = length * 10 + d;
    }
    return true;
}

bool LImapTrailingLiteral(std::string_view line, std::string_view& digits) {
    if (!line.ends_with('}')) return false;
    size_t open = line.rfind('{');
    if (open == std::string_view::npos) return false;
    digits = line.substr(open + 1, line.size() - open - 2);
    if (digits.ends_with('+')) digits.remove_suffix(1);
    uint64_t length;
    return LImapParseLiteralLength(digits, length);
}

bool LImapFindLiteral(std::string_view line, std::string_view& digits) {
    size_t open = line.find('{');
    if (open == std::string_view::npos) return false;
    size_t close = line.find('}', open);
    digits = line.substr(open + 1, close == std::string_view::npos ? std::string_view::npos : close - open - 1);
    return true;
}

bool LImapFetchBodyIsNil(std::string_view line) {
    size_t body = line.find("BODY[");
    if (body == std::string_view::npos) return false;
    size_t close = line.find(']', body);
    if (close == std::string_view::npos) return false;
    size_t i = close + 1;
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    std::string_view rest = line.substr(i);
    size_t len = 0;
    if (rest.size() >= 3 && EqualsNoCase(rest.substr(0, 3), "NIL")) len = 3;
    else if (rest.starts_with("\"\"")) len = 2;
    else return false;
    return rest.size() == len || rest[len] == ' ' || rest[len] == '\t' || rest[len] == ')';
}

namespace {
bool ParseUInt32(std::string_view s, size_t& i, uint32_t& v) {
    uint64_t acc = 0;
    size_t start = i;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9') {
        acc = acc * 10 + uint64_t(s[i++] - '0');
        if (acc > 0xFFFFFFFFull) return false;
    }
    v = uint32_t(acc);
    return i > start;
}
}  // namespace

bool LImapParseAppendUid(std::string_view text, uint32_t& uidValidity, uint32_t& uid) {
    size_t at = text.find("[APPENDUID ");
    if (at == std::string_view::npos) return false;
    size_t i = at + 11;
    uint32_t a = 0, b = 0;
    if (!ParseUInt32(text, i, a) || i >= text.size() || text[i] != ' ') return false;
    ++i;
    if (!ParseUInt32(text, i, b) || i >= text.size() || text[i] != ']') return false;
    if (!a || !b) return false;
    uidValidity = a;
    uid = b;
    return true;
}

bool LImapParseCopyUid(std::string_view text, uint32_t& uidValidity, uint32_t& uid) {
    size_t at = text.find("[COPYUID ");
    if (at == std::string_view::npos) return false;
    size_t i = at + 9;
    uint32_t a = 0, source = 0, b = 0;
    if (!ParseUInt32(text, i, a) || i >= text.size() || text[i] != ' ') return false;
    ++i;
    if (!ParseUInt32(text, i, source) || i >= text.size() || text[i] != ' ') return false;
    ++i;
    if (!ParseUInt32(text, i, b) || i >= text.size() || text[i] != ']') return false;
    if (!a || !source || !b) return false;
    uidValidity = a;
    uid = b;
    return true;
}

bool LImapNumberAfter(std::string_view line, std::string_view keyword, uint32_t& value) {
    size_t at = line.find(keyword);
    if (at == std::string_view::npos) return false;
    size_t i = at + keyword.size();
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    return ParseUInt32(line, i, value);
}

bool LImapCapabilityHas(std::string_view capabilities, std::string_view name) {
    if (name.empty() || capabilities.empty()) return false;
    std::string needle = " ";
    for (char c : name) needle.push_back(Upper(c));
    needle.push_back(' ');
    return capabilities.find(needle) != std::string_view::npos;
}

bool LImapQuoteMailbox(std::string_view text, char out[260]) {
    size_t n = 0;
    out[0] = 0;
    for (char c : text) {
        if (c == '\r' || c == '\n' || c == '\0') return false;
        bool escape = c == '\\' || c == '"';
        if (n + (escape ? 2 : 1) > 259) {
            out[0] = 0;
            return false;
        }
        if (escape) out[n++] = '\\';
        out[n++] = c;
    }
    out[n] = 0;
    return true;
}

bool LImapLoginArgument(std::string_view text, LStringA& out, bool& literal) {
    out.Clear();
    literal = false;
    for (char c : text) {
        if (c == '\r' || c == '\n' || c == '\0') return false;
        if (static_cast<unsigned char>(c) >= 0x80) literal = true;
    }
    if (literal) {
        out.AppendView(text);
    } else {
        out.AppendChar('"');
        for (char c : text) {
            if (c == '\\' || c == '"') out.AppendChar('\\');
            out.AppendChar(c);
        }
        out.AppendChar('"');
    }
    out.Terminate();
    return true;
}

bool LImapIsTagOf(std::string_view line, std::string_view tag) {
    return !tag.empty() && line.size() > tag.size() && line.starts_with(tag) && IsBlank(line[tag.size()]);
}

namespace {

// The position just after a FETCH item name at the top level of the list,
// or npos. Item names are matched as whole words, any case.
size_t FindItem(std::string_view list, std::string_view item) {
    int depth = 0;
    for (size_t i = 0; i < list.size(); ++i) {
        char c = list[i];
        if (c == '(') depth++;
        else if (c == ')') depth--;
        else if (c == '"') {
            // A quoted string is skipped whole.
            for (++i; i < list.size() && list[i] != '"'; ++i)
                if (list[i] == '\\') ++i;
        } else if (depth == 1 && (i == 0 || IsBlank(list[i - 1]) || list[i - 1] == '(') &&
                   list.size() - i > item.size() && EqualsNoCase(list.substr(i, item.size()), item) &&
                   IsBlank(list[i + item.size()])) {
            return SkipBlanks(list, i + item.size());
        }
    }
    return std::string_view::npos;
}

bool NumberAt(std::string_view s, size_t i, uint64_t& v) {
    v = 0;
    size_t start = i;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9') {
        if (v > (UINT64_MAX - 9) / 10) return false;
        v = v * 10 + uint64_t(s[i++] - '0');
    }
    return i > start;
}

}  // namespace

bool LImapParseFetchLine(std::string_view line, LImapFetchInfo& info) {
    info = LImapFetchInfo();
    if (line.empty() || line[0] != '*' || !EqualsNoCase(LImapWord(line, 2), "FETCH")) return false;
    std::string_view list = LImapRestAfterWord(line, 2);
    if (list.empty() || list[0] != '(') return false;
    uint64_t v = 0;
    size_t at = FindItem(list, "UID");
    if (at == std::string_view::npos || !NumberAt(list, at, v) || v == 0 || v > 0xFFFFFFFFull) return false;
    info.uid = uint32_t(v);
    at = FindItem(list, "RFC822.SIZE");
    if (at != std::string_view::npos && NumberAt(list, at, v)) {
        info.hasSize = true;
        info.size = v;
    }
    at = FindItem(list, "MODSEQ");
    if (at != std::string_view::npos && at < list.size() && list[at] == '(' && NumberAt(list, at + 1, v))
        info.modseq = v;
    at = FindItem(list, "FLAGS");
    if (at != std::string_view::npos && at < list.size() && list[at] == '(') {
        size_t close = list.find(')', at);
        if (close == std::string_view::npos) return true;
        info.hasFlags = true;
        std::string_view flags = list.substr(at + 1, close - at - 1);
        for (size_t w = 0;; ++w) {
            std::string_view flag = LImapWord(flags, w);
            if (flag.empty()) break;
            if (EqualsNoCase(flag, "\\Recent")) continue;
            if (!info.flags.empty()) info.flags.push_back(' ');
            info.flags.append(flag);
        }
    }
    return true;
}
