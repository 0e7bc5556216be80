// The registered tables, their live column lists and the match clause.
#include <sqlite3.h>
#include <strings.h>

#include <cstring>
#include <vector>

#include "foundation/json_value.h"
#include "foundation/log.h"
#include "web/http/db_table.h"

namespace {

// Function-local so that a registration from another file's static
// initialiser finds it built.
LWebDbTableDef*& Head() {
    static LWebDbTableDef* head = nullptr;
    return head;
}

struct MatchType {
    const char* name;
    const char* term;  // table, column, match text
};

constexpr MatchType kMatchTypes[] = {
    {"exact", "%s.%s = '%Q'"},       {"startswith", "%s.%s LIKE '%Q%%'"}, {"like", "%s.%s LIKE '%%%Q%%'"},
    {"lessthan", "%s.%s < '%Q'"},    {"greaterthan", "%s.%s > '%Q'"},     {"lessequal", "%s.%s <= '%Q'"},
    {"greaterequal", "%s.%s >= '%Q'"}, {"isnull", "%s.%s IS NULL"},       {"isnotnull", "%s.%s IS NOT NULL"},
    {"notequal", "%s.%s <> '%Q'"},
};

const char* TermOf(const char* type) {
    if (!*type) return kMatchTypes[0].term;
    for (const MatchType& m : kMatchTypes)
        if (std::strcmp(m.name, type) == 0) return m.term;
    LLogErrorF("LWebDbTableReadSelectMatch: Invalid select with matchtype=%s", type);
    return kMatchTypes[0].term;
}

}  // namespace

LWebDbTableDef* LWebDbTableRegister(const char* table, const char* key) {
    static LWebDbTableDef defs[16];
    static size_t used = 0;
    if (used == sizeof defs / sizeof defs[0]) return nullptr;
    LWebDbTableDef* def = &defs[used++];
    def->table = table;
    def->key = key ? key : "";
    LWebDbTableDef** tail = &Head();
    while (*tail) tail = &(*tail)->next;
    *tail = def;
    return def;
}

namespace {

struct TextCheck {
    const char* table;
    LWebDbTableTextCheck check;
};

std::vector<TextCheck>& Checks() {
    static std::vector<TextCheck> checks;
    return checks;
}

}  // namespace

bool LWebDbTableAddCheck(const char* table, LWebDbTableTextCheck check) {
    Checks().push_back({table, check});
    return true;
}

const char* LWebDbTableCheckText(const char* table, const char* column, const char* text) {
    for (const TextCheck& c : Checks())
        if (std::strcmp(c.table, table) == 0)
            if (const char* reason = c.check(column, text)) return reason;
    return nullptr;
}

const LWebDbTableDef* LWebDbTableFind(const char* table) {
    for (const LWebDbTableDef* d = Head(); d; d = d->next)
        if (std::strcmp(d->table, table) == 0) return d;
    return nullptr;
}

bool LWebDbTableIsSafeName(const char* text) {
    if (!text || !*text) return false;
    for (const char* p = text; *p; ++p) {
        char c = *p;
        bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
        if (!ok) return false;
    }
    return true;
}

bool LWebDbTableColumns::Load(LAppDatabaseAccount& db, const char* table) {
    names_.clear();
    LStringA sql;
    sql.Format("PRAGMA main.table_info('%Q');", table);
    sqlite3_stmt* s = nullptr;
    if (!db.handle || sqlite3_prepare_v2(db.handle, sql.c_str(), -1, &s, nullptr) != SQLITE_OK || !s) {
        if (s) sqlite3_finalize(s);
        return false;
    }
    while (sqlite3_step(s) == SQLITE_ROW) {
        const char* name = reinterpret_cast<const char*>(sqlite3_column_text(s, 1));
        if (name) names_.emplace_back(name);
    }
    sqlite3_finalize(s);
    return !names_.empty();
}

const char* LWebDbTableColumns::Find(const char* name) const {
    for (const std::string& n : names_)
        if (strcasecmp(n.c_str(), name) == 0) return n.c_str();
    return nullptr;
}

bool LWebDbTableMatchClause(const LJsonValue& match, const LWebDbTableDef& table, const LWebDbTableColumns& columns,
                            const char* default_type, LStringA& clause, LWebDbTableResult& result) {
    clause.Clear();
    if (match.kind != LJsonArray) {
        LLogWrite("LWebDbTableReadSelectMatch: Invalid match parameter.", LLogError);
        return result.Fail(400, "Invalid match parameter");
    }
    for (size_t i = 0; i < match.count; ++i) {
        const LJsonValue& e = match.elements[i];
        const LJsonValue* column = e.kind == LJsonObject ? e.FindMember("column") : nullptr;
        const LJsonValue* text = e.kind == LJsonObject ? e.FindMember("matchtext") : nullptr;
        if (!column || !column->IsString() || !text || !text->IsString()) {
            LLogWrite("LWebDbTableReadSelectMatch: Invalid match parameter, column and matchtext required.", LLogError);
            return result.Fail(400, "Invalid match parameter, column and matchtext required");
        }
        if (!LWebDbTableIsSafeName(column->text.c_str()) || column->text.length > LWebDbTableMaxText) {
            LLogErrorF("LWebDbTableReadSelectMatch: Parsed column contains forbidden character, column=%s",
                       column->text.c_str());
            return result.Fail(400, "Parsed column contains forbidden character.");
        }
        const char* name = columns.Find(column->text.c_str());
        if (!name) return result.Fail(400, "Unknown column.");
        if (text->text.length > LWebDbTableMaxText) return result.Fail(400, "Match text too long.");
        const LJsonValue* type = e.FindMember("matchtype");
        const char* term = TermOf(type && type->IsString() ? type->text.c_str() : default_type);
        if (clause.length) clause.Append(" AND ");
        clause.AppendFormat(term, table.table, name, text->text.c_str());
    }
    return true;
}

// The tables the browser interface edits through the generic routes.
LWEBDBTABLE_TABLE(EMAILACCOUNTS, "ID");
LWEBDBTABLE_TABLE(EMAILMAILBOXES, "ID");
LWEBDBTABLE_TABLE(RULES, "ID");
LWEBDBTABLE_TABLE(RULES_CONDITIONS, "");
