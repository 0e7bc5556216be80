#include "mcp/clients/json_members.h"

#include <cstdio>

#include "foundation/json_value.h"
#include "foundation/utf8.h"

size_t LJsonSkipSpace(std::string_view text, size_t pos) {
    while (pos < text.size() && (text[pos] == ' ' || text[pos] == '\t' || text[pos] == '\n' || text[pos] == '\r'))
        ++pos;
    return pos;
}

namespace {

// The position after the closing quote of the string that opens at pos.
size_t SkipString(std::string_view text, size_t pos) {
    for (++pos; pos < text.size(); ++pos) {
        if (text[pos] == '\\') {
            ++pos;
        } else if (text[pos] == '"') {
            return pos + 1;
        }
    }
    return text.size();
}

std::string DecodeName(std::string_view quoted) {
    if (quoted.find('\\') == std::string_view::npos) return std::string(quoted.substr(1, quoted.size() - 2));
    LJsonValue v;
    if (v.Parse(quoted.data(), quoted.size()) != 0 || !v.IsString()) return {};
    return v.text.Str();
}

}  // namespace

size_t LJsonSkipValue(std::string_view text, size_t pos) {
    pos = LJsonSkipSpace(text, pos);
    if (pos >= text.size()) return pos;
    char c = text[pos];
    if (c == '"') return SkipString(text, pos);
    if (c == '{' || c == '[') {
        // One pass with a depth count: strings are skipped whole, so their
        // brackets do not count.
        size_t depth = 0;
        while (pos < text.size()) {
            c = text[pos];
            if (c == '"') {
                pos = SkipString(text, pos);
                continue;
            }
            if (c == '{' || c == '[') ++depth;
            if ((c == '}' || c == ']') && --depth == 0) return pos + 1;
            ++pos;
        }
        return pos;
    }
    while (pos < text.size() && text[pos] != ',' && text[pos] != '}' && text[pos] != ']' && text[pos] != ' ' &&
           text[pos] != '\t' && text[pos] != '\n' && text[pos] != '\r')
        ++pos;
    return pos;
}

std::vector<LJsonMemberSpan> LJsonObjectMembers(std::string_view text, size_t open) {
    std::vector<LJsonMemberSpan> out;
    size_t pos = LJsonSkipSpace(text, open + 1);
    while (pos < text.size() && text[pos] == '"') {
        LJsonMemberSpan m;
        m.name_begin = pos;
        size_t name_end = SkipString(text, pos);
        m.name = DecodeName(text.substr(pos, name_end - pos));
        pos = LJsonSkipSpace(text, name_end);
        if (pos >= text.size() || text[pos] != ':') break;
        m.value_begin = LJsonSkipSpace(text, pos + 1);
        m.value_end = LJsonSkipValue(text, m.value_begin);
        out.push_back(std::move(m));
        pos = LJsonSkipSpace(text, out.back().value_end);
        if (pos >= text.size() || text[pos] != ',') break;
        pos = LJsonSkipSpace(text, pos + 1);
    }
    return out;
}

const LJsonMemberSpan* LJsonFindLast(const std::vector<LJsonMemberSpan>& members, std::string_view name) {
    for (size_t i = members.size(); i-- > 0;)
        if (members[i].name == name) return &members[i];
    return nullptr;
}

void LJsonEraseMember(std::string& text, const std::vector<LJsonMemberSpan>& members, size_t index) {
    const LJsonMemberSpan& m = members[index];
    if (index + 1 < members.size()) {
        // The member, its comma and the blanks up to the next one.
        text.erase(m.name_begin, members[index + 1].name_begin - m.name_begin);
    } else if (index > 0) {
        // The last member goes with the comma before it.
        size_t from = members[index - 1].value_end;
        text.erase(from, m.value_end - from);
    } else {
        text.erase(m.name_begin, m.value_end - m.name_begin);
    }
}

void LJsonAppendMember(std::string& text, size_t open, const std::vector<LJsonMemberSpan>& members,
                       std::string_view member) {
    if (members.empty()) {
        text.insert(open + 1, member);
    } else {
        std::string piece = ",";
        piece += member;
        text.insert(members.back().value_end, piece);
    }
}

std::string LJsonQuote(std::string_view text) {
    std::string out = "\"";
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    size_t n = text.size();
    for (size_t i = 0; i < n;) {
        uint32_t cp = 0;
        size_t used = LUtf8Decode(p + i, n - i, &cp);
        i += used;
        if (cp == '"' || cp == '\\') {
            out += '\\';
            out += static_cast<char>(cp);
        } else if (cp < 0x20) {
            char esc[8];
            std::snprintf(esc, sizeof esc, "\\u%04x", static_cast<unsigned>(cp));
            out += esc;
        } else {
            char utf8[4];
            out.append(utf8, LUtf8Encode(cp, utf8));
        }
    }
    out += '"';
    return out;
}
