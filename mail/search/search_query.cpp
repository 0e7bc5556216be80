// The free-text grammar of the search route. Only the grammar writes the
// FTS5 expression: a term becomes a double-quoted FTS5 string, so NEAR, ^,
// {column}:, * or a stray quote in the query stay plain words.
#include "mail/search/email_search.h"

namespace {

bool IsSearchable(const char16_t* p, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        char16_t c = p[i];
        if ((c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || c > 127) return true;
    }
    return false;
}

void AppendTerm(LString& out, const char16_t* p, size_t n, bool phrase) {
    out.AppendChar(u'"');
    for (size_t i = 0; i < n; ++i) {
        if (p[i] == u'"') out.AppendChar(u'"');
        out.AppendChar(p[i]);
    }
    out.AppendChar(u'"');
    if (!phrase) out.AppendChar(u'*');
}

}  // namespace

bool LEmailSearchParseQuery(const char16_t* query, LString& expression, bool prefix) {
    expression.Clear();
    int terms = 0;
    bool pending_or = false;
    const char16_t* p = query ? query : u"";
    while (*p && terms < LEmailSearchMaxTerms) {
        if (*p <= 32) {
            ++p;
            continue;
        }
        bool negated = false;
        if (*p == u'-') {
            if (!p[1]) break;
            if (p[1] <= 32) {
                ++p;
                continue;
            }
            negated = true;
            ++p;
        }
        bool phrase = *p == u'"';
        const char16_t* start;
        size_t n;
        if (phrase) {
            start = ++p;
            while (*p && *p != u'"') ++p;
            n = static_cast<size_t>(p - start);
            if (*p) ++p;
        } else {
            start = p;
            while (*p > 32) ++p;
            n = static_cast<size_t>(p - start);
        }
        if (!phrase && !negated && n == 2 && start[0] == u'O' && start[1] == u'R') {
            if (terms > 0) pending_or = true;
            continue;
        }
        if (!IsSearchable(start, n) || (negated && terms == 0)) continue;
        if (terms > 0) expression.Append(negated ? u" NOT " : pending_or ? u" OR " : u" AND ");
        AppendTerm(expression, start, n, phrase || !prefix);
        pending_or = false;
        ++terms;
    }
    return terms > 0;
}
