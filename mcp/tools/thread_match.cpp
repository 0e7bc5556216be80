#include "mcp/tools/thread_match.h"

#include <string_view>

#include "foundation/string_map.h"
#include "foundation/utf8.h"

namespace {

constexpr size_t kMaxLabel = 10;
constexpr size_t kMaxLineChars = 1023;
constexpr uint64_t kCompactChars = 600;

bool Empty(const char16_t* s) { return !s || !*s; }

bool SameNoCase(const char16_t* a, const char16_t* b) {
    if (Empty(a) || Empty(b)) return false;
    return LCompareNoCase(a, LTextLength(a), b, LTextLength(b)) == 0;
}

bool Contains(const char16_t* text, const char16_t* part) {
    if (Empty(text) || Empty(part)) return false;
    return std::u16string_view(text).find(part) != std::u16string_view::npos;
}

bool IsBreak(char16_t c) { return c == u'\r' || c == u'\n'; }

// One line of a text: [start, end) and the position after its run of breaks
// (a CR LF pair counts as one break).
struct Line {
    const char16_t* start;
    const char16_t* end;
    const char16_t* next;
    int breaks;
};

Line ReadLine(const char16_t* p, bool whole_run) {
    Line l{p, p, p, 0};
    while (*l.end && !IsBreak(*l.end)) ++l.end;
    const char16_t* q = l.end;
    while (*q && IsBreak(*q)) {
        q += (q[0] == u'\r' && q[1] == u'\n') ? 2 : 1;
        ++l.breaks;
        if (!whole_run) break;
    }
    l.next = q;
    return l;
}

std::u16string_view TrimSpaces(const char16_t* start, const char16_t* end) {
    while (start < end && *start == u' ') ++start;
    while (end > start && end[-1] == u' ') --end;
    return {start, static_cast<size_t>(end - start)};
}

bool HeaderLike(std::u16string_view line) {
    size_t colon = line.find(u':');
    if (colon == std::u16string_view::npos || colon == 0 || colon > 40) return false;
    std::u16string_view name = line.substr(0, colon);
    bool alnum = false;
    int blanks = 0;
    for (char16_t c : name) {
        if ((c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z')) alnum = true;
        if (c == u' ' || c == u'\t') ++blanks;
        if (std::u16string_view(u"/<=>@\\").find(c) != std::u16string_view::npos) return false;
    }
    size_t v = colon + 1;
    while (v < line.size() && (line[v] == u' ' || line[v] == u'\t')) ++v;
    return alnum && blanks <= 4 && v < line.size();
}

// A signature or separator rule: five or more of one of * - = _.
bool IsRule(std::u16string_view line) {
    if (line.size() < 5 || std::u16string_view(u"*-=_").find(line[0]) == std::u16string_view::npos) return false;
    for (char16_t c : line)
        if (c != line[0]) return false;
    return true;
}

}  // namespace

void LMcpNormalizeSubject(const char16_t* subject, char16_t out[260]) {
    LCopyField(out, subject ? subject : u"");
    std::u16string_view s(out);
    for (;;) {
        while (!s.empty() && s.front() == u' ') s.remove_prefix(1);
        while (!s.empty() && s.back() == u' ') s.remove_suffix(1);
        size_t colon = s.find(u':');
        if (s.empty() || colon == std::u16string_view::npos || colon == 0 || colon > kMaxLabel) break;
        std::u16string_view label = s.substr(0, colon);
        if (label.find_first_of(u" \t") != std::u16string_view::npos) break;
        s.remove_prefix(colon + 1);
        while (!s.empty() && s.front() <= 32) s.remove_prefix(1);
    }
    size_t n = s.size();
    for (size_t i = 0; i < n; ++i) out[i] = s[i];  // moves left, never past itself
    out[n] = 0;
}

bool LMcpSubjectsMatch(const char16_t* a, const char16_t* b) { return SameNoCase(a, b); }

bool LMcpHeadersLinked(const LMcpThreadHeaders& a, const LMcpThreadHeaders& c) {
    return SameNoCase(a.thread_id, c.thread_id) || SameNoCase(a.message_id, c.message_id) ||
           SameNoCase(a.message_id, c.in_reply_to) || SameNoCase(a.in_reply_to, c.message_id) ||
           SameNoCase(a.in_reply_to, c.in_reply_to) || Contains(c.references, a.message_id) ||
           Contains(c.references, a.in_reply_to) || Contains(a.references, c.message_id) ||
           Contains(a.references, c.in_reply_to);
}

int32_t LMcpCountHeaderLines(const char16_t* text) {
    int32_t count = 0;
    const char16_t* p = text;
    for (int i = 0; i < 6 && *p; ++i) {
        Line l = ReadLine(p, false);
        std::u16string_view line = TrimSpaces(l.start, l.end);
        if (line.empty() || !HeaderLike(line)) break;
        ++count;
        p = l.next;
    }
    return count;
}

void LMcpCompactText(const char16_t* preview, const LString& body, LString& out) {
    out.Clear();
    const char16_t* p = body.IsEmpty() ? (preview ? preview : u"") : body.c_str();
    bool paragraph = false;  // the last line taken ended a paragraph
    while (*p && out.length < kCompactChars) {
        if (paragraph && !out.IsEmpty() && LMcpCountHeaderLines(p) >= 2) break;
        Line l = ReadLine(p, true);
        const char16_t* end = l.end - l.start > static_cast<ptrdiff_t>(kMaxLineChars) ? l.start + kMaxLineChars : l.end;
        std::u16string_view line = TrimSpaces(l.start, end);
        if (!line.empty() && (line[0] == u'>' || IsRule(line))) break;
        if (!line.empty()) {
            if (!out.IsEmpty()) out.AppendChar(paragraph ? u'\n' : u' ');
            out.AppendView(line);
            paragraph = l.breaks >= 2;
        } else if (!out.IsEmpty()) {
            // A line of blanks between two texts separates them as an empty line does.
            paragraph = true;
        }
        p = l.next;
    }
    if (out.IsEmpty() && preview) out.Append(preview);
}
