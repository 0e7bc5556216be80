// The reply shapes of the table endpoints. Every cell is written by its own
// storage class: a NULL in the first row must not hide a column in the
// others, and 64-bit integers and doubles go out whole.
#include <sqlite3.h>

#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "foundation/date_time.h"
#include "foundation/utf8.h"
#include "web/http/db_table.h"

namespace {

// A prepared statement that is always finalised.
struct Statement {
    sqlite3_stmt* s = nullptr;
    Statement() = default;
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    ~Statement() {
        if (s) sqlite3_finalize(s);
    }
};

// `text` is NUL-terminated at n, as SQLite hands out column texts.
void AppendJsonText(LStringA& out, const char* text, size_t n) {
    out.AppendChar('"');
    if (!std::memchr(text, 0, n)) {
        out.AppendFormat("%J", text);
        out.AppendChar('"');
        return;
    }
    // %J stops at a NUL; a text column may hold one, and the rest is kept.
    size_t start = 0;
    for (size_t i = 0; i <= n; ++i) {
        if (i == n || text[i] == 0) {
            std::string part(text + start, i - start);
            out.AppendFormat("%J", part.c_str());
            if (i < n) out.Append("\\u0000");
            start = i + 1;
        }
    }
    out.AppendChar('"');
}

// One cell as a JSON value; false when the cell has none (NULL or BLOB).
bool AppendCell(LStringA& out, sqlite3_stmt* s, int i) {
    switch (sqlite3_column_type(s, i)) {
    case SQLITE_INTEGER:
        out.AppendFormat("%I64d", static_cast<int64_t>(sqlite3_column_int64(s, i)));
        return true;
    case SQLITE_FLOAT:
        LWebDbTableAppendDouble(out, sqlite3_column_double(s, i));
        return true;
    case SQLITE_TEXT: {
        const char* t = reinterpret_cast<const char*>(sqlite3_column_text(s, i));
        AppendJsonText(out, t ? t : "", static_cast<size_t>(sqlite3_column_bytes(s, i)));
        return true;
    }
    default:
        return false;
    }
}

void AppendName(LStringA& out, const char* name) {
    AppendJsonText(out, name ? name : "", name ? std::char_traits<char>::length(name) : 0);
    out.AppendChar(':');
}

void AppendRowObject(LStringA& out, sqlite3_stmt* s) {
    out.AppendChar('{');
    bool first = true;
    int n = sqlite3_column_count(s);
    for (int i = 0; i < n; ++i) {
        int type = sqlite3_column_type(s, i);
        if (type == SQLITE_NULL || type == SQLITE_BLOB) continue;
        if (!first) out.AppendChar(',');
        first = false;
        AppendName(out, sqlite3_column_name(s, i));
        AppendCell(out, s, i);
    }
    out.AppendChar('}');
}

bool Fail(sqlite3* db, std::string& error) {
    const char* e = db ? sqlite3_errmsg(db) : "database is not open";
    error = e ? e : "database error";
    return false;
}

}  // namespace

void LWebDbTableAppendDouble(LStringA& out, double value) {
    if (!std::isfinite(value)) {
        out.Append("null");
        return;
    }
    char buf[40];
    for (int digits = 15; digits <= 17; ++digits) {
        std::snprintf(buf, sizeof buf, "%.*g", digits, value);
        if (std::strtod(buf, nullptr) == value) break;
    }
    out.Append(buf);
}

std::string LWebDbTableToday() {
    char16_t date[260] = {0};
    LFormatDateUTC(time(nullptr), date);
    return LToUtf8(date);
}

bool LWebDbTableQueryJson(LAppDatabaseAccount& db, const char* sql, LWebDbTableShape shape, LStringA& json,
                          std::string& error) {
    Statement st;
    if (!db.handle || sqlite3_prepare_v2(db.handle, sql, -1, &st.s, nullptr) != SQLITE_OK || !st.s)
        return Fail(db.handle, error);
    LStringA body;
    int columns = sqlite3_column_count(st.s);
    if (shape == LWebDbTableShape::Rows) body.Append("{\"select\":[");
    if (shape == LWebDbTableShape::Index) body.Append("{\"index\":[");
    if (shape == LWebDbTableShape::Compact) {
        body.Append("{\"columns\":[");
        for (int i = 0; i < columns; ++i) {
            if (i) body.AppendChar(',');
            const char* name = sqlite3_column_name(st.s, i);
            AppendJsonText(body, name ? name : "", name ? std::char_traits<char>::length(name) : 0);
        }
        body.Append("],\"data\":[");
    }
    bool first = true;
    int rc;
    while ((rc = sqlite3_step(st.s)) == SQLITE_ROW) {
        if (shape == LWebDbTableShape::FirstRow) {
            AppendRowObject(body, st.s);
            break;
        }
        if (!first) body.AppendChar(',');
        first = false;
        if (shape == LWebDbTableShape::Rows) {
            AppendRowObject(body, st.s);
        } else if (shape == LWebDbTableShape::Index) {
            // The index is a list of strings: a number becomes its text,
            // NULL the empty text.
            int type = columns > 0 ? sqlite3_column_type(st.s, 0) : SQLITE_NULL;
            const char* t = type == SQLITE_NULL || type == SQLITE_BLOB
                                ? nullptr
                                : reinterpret_cast<const char*>(sqlite3_column_text(st.s, 0));
            AppendJsonText(body, t ? t : "", t ? static_cast<size_t>(sqlite3_column_bytes(st.s, 0)) : 0);
        } else {
            body.AppendChar('[');
            for (int i = 0; i < columns; ++i) {
                if (i) body.AppendChar(',');
                if (!AppendCell(body, st.s, i)) body.Append("null");
            }
            body.AppendChar(']');
        }
    }
    if (rc != SQLITE_ROW && rc != SQLITE_DONE) return Fail(db.handle, error);
    if (shape == LWebDbTableShape::FirstRow) {
        if (body.length == 0) body.Append("{}");
    } else {
        body.Append("]}");
    }
    json.AppendString(body);
    return true;
}

bool LWebDbTableWriteRowsNamed(LAppDatabaseAccount& db, const char* sql, const char* name, LStringA& json,
                               std::string& error) {
    Statement st;
    if (!db.handle || sqlite3_prepare_v2(db.handle, sql, -1, &st.s, nullptr) != SQLITE_OK || !st.s)
        return Fail(db.handle, error);
    LStringA body;
    AppendName(body, name);
    body.AppendChar('[');
    bool first = true;
    int rc;
    while ((rc = sqlite3_step(st.s)) == SQLITE_ROW) {
        if (!first) body.AppendChar(',');
        first = false;
        AppendRowObject(body, st.s);
    }
    if (rc != SQLITE_DONE) return Fail(db.handle, error);
    body.AppendChar(']');
    json.AppendString(body);
    return true;
}
