// The route dbtable-read: the read commands on a registered table, from the
// query string or a form body. Refusals and failures are bare status
// replies; results are JSON.
#include <strings.h>

#include <ctime>
#include <string>

#include "foundation/date_time.h"
#include "foundation/json_value.h"
#include "foundation/log.h"
#include "foundation/utf8.h"
#include "web/http/db_table.h"
#include "web/http/routes.h"
#include "web/http/weblet.h"

namespace {

struct ReadContext {
    Weblet& request;
    const LWebDbTableDef& table;
    LWebDbTableColumns columns;
    bool compact = false;
};

std::string Field(Weblet& request, const char16_t* name) {
    const char16_t* v = request.Field(name);
    return v ? LToUtf8(v) : std::string();
}

void Refuse(Weblet& request, int status, const char* reason, const char* log = nullptr) {
    if (log) LLogWrite(log, LLogError);
    request.SendStatus(status, reason);
}

void Send(ReadContext& c, const LStringA& sql, LWebDbTableShape shape) {
    LStringA json;
    std::string error;
    if (!LWebDbTableQueryJson(c.request.database, sql.c_str(), shape, json, error)) {
        LLogErrorWithDetail("LWebDbTableRead: Query failed.", error.c_str());
        c.request.SendStatus(500, "Query failed");
        return;
    }
    c.request.SendJson(json.c_str(), json.length);
}

LWebDbTableShape RowShape(const ReadContext& c) {
    return c.compact ? LWebDbTableShape::Compact : LWebDbTableShape::Rows;
}

// "DELETED IS NULL" unless the caller asked for deleted rows too.
void Select(ReadContext& c, const char* where, bool live_only, LWebDbTableShape shape) {
    LStringA sql;
    const char* column = shape == LWebDbTableShape::Index ? c.table.key : "*";
    const char* quote = shape == LWebDbTableShape::Index ? "\"" : "";
    sql.Format("SELECT %s%s%s FROM main.%s", quote, column, quote, c.table.table);
    if (*where && live_only) {
        sql.AppendFormat(" WHERE %s AND DELETED IS NULL;", where);
    } else if (*where) {
        sql.AppendFormat(" WHERE %s;", where);
    } else if (live_only) {
        sql.Append(" WHERE DELETED IS NULL;");
    }
    Send(c, sql, shape);
}

bool NeedsKey(ReadContext& c, const char* command) {
    if (*c.table.key) return true;
    LLogErrorF("LWebDbTableRead: %s needs a table with a key column.", command);
    Refuse(c.request, 400, "Primary key was not set in Table Definition.");
    return false;
}

void CmdSelect(ReadContext& c) {
    if (!NeedsKey(c, "SELECT")) return;
    std::string key = Field(c.request, u"key");
    if (key.empty()) return Refuse(c.request, 400, "Missing key= parameter");
    if (key.size() > LWebDbTableMaxText) return Refuse(c.request, 400, "Key too long.");
    LStringA where;
    where.Format("\"%s\"='%Q'", c.table.key, key.c_str());
    Select(c, where.c_str(), false, LWebDbTableShape::FirstRow);
}

// Both dates parse to a time above 0 and do not run backwards.
bool DateRange(ReadContext& c, const char* log, LStringA& where) {
    std::string from = Field(c.request, u"datefrom"), to = Field(c.request, u"dateto");
    time_t t_from = 0, t_to = 0;
    LParseLocalDate(&t_from, LFromUtf8(from.substr(0, 64)).c_str());
    LParseLocalDate(&t_to, LFromUtf8(to.substr(0, 64)).c_str());
    if (t_from <= 0 || t_to <= 0 || t_to < t_from || from.size() > 64 || to.size() > 64) {
        LLogErrorF(log, from.substr(0, 64).c_str(), to.substr(0, 64).c_str());
        Refuse(c.request, 400, "Invalid date range.");
        return false;
    }
    // A table without a DATE column has no rows in any range.
    if (!c.columns.Find("DATE")) {
        where.Assign("0");
        return true;
    }
    where.Format("DATE BETWEEN '%Q' AND '%Q'", from.c_str(), to.c_str());
    return true;
}

void CmdSelectDate(ReadContext& c, bool index) {
    if (index && !NeedsKey(c, "SELECTINDEXDATE")) return;
    LStringA where;
    if (!DateRange(c,
                   index ? "LWebDbTableReadSelectIndexDate: Invalid date range, from=%s, to=%s."
                         : "LWebDbTableReadSelectDate: Invalid date range, from=%s, to=%s.",
                   where))
        return;
    Select(c, where.c_str(), true, index ? LWebDbTableShape::Index : RowShape(c));
}

void CmdSelectMatch(ReadContext& c, bool count) {
    std::string match = Field(c.request, u"match");
    if (match.empty())
        return Refuse(c.request, 400, "Missing match= parameter.", "LWebDbTableReadSelectMatch: Missing match= parameter.");
    LJsonValue parsed;
    parsed.kind = LJsonNull;
    if (parsed.Parse(match.c_str(), match.size()) != 0) parsed.kind = LJsonNull;
    LStringA clause;
    LWebDbTableResult result;
    if (!LWebDbTableMatchClause(parsed, c.table, c.columns, Field(c.request, u"matchtype").c_str(), clause, result))
        return Refuse(c.request, result.status, result.reason.c_str());
    if (count) {
        LStringA sql;
        sql.Format("SELECT COUNT(*) AS COUNT FROM main.%s WHERE %s%sDELETED IS NULL;", c.table.table, clause.c_str(),
                   clause.length ? " AND " : "");
        Send(c, sql, LWebDbTableShape::FirstRow);
        return;
    }
    Select(c, clause.c_str(), Field(c.request, u"deleted").empty(), RowShape(c));
}

void CmdSelectIndexMatch(ReadContext& c) {
    if (!NeedsKey(c, "SELECTINDEXMATCH")) return;
    std::string match = Field(c.request, u"match"), column = Field(c.request, u"column");
    std::string type = Field(c.request, u"matchtype");
    if (match.empty())
        return Refuse(c.request, 400, "Missing match= parameter.",
                      "LWebDbTableReadSelectIndexMatch: Missing match= parameter.");
    if (column.empty())
        return Refuse(c.request, 400, "Missing column= parameter.",
                      "LWebDbTableReadSelectIndexMatch: Missing column= parameter.");
    const char* name = LWebDbTableIsSafeName(column.c_str()) ? c.columns.Find(column.c_str()) : nullptr;
    if (!name || column.size() > LWebDbTableMaxText) {
        LLogErrorF("LWebDbTableReadSelectIndexMatch: Parsed column= contains forbidden character., column=%s",
                   column.substr(0, LWebDbTableMaxText).c_str());
        return Refuse(c.request, 400, "Parsed column= contains forbidden character.");
    }
    if (match.size() > LWebDbTableMaxText) return Refuse(c.request, 400, "Match text too long.");
    const char* term = "\"%s\"='%Q'";
    if (type == "startswith") {
        term = "\"%s\" LIKE '%Q%%'";
    } else if (type == "like") {
        term = "\"%s\" LIKE '%%%Q%%'";
    } else if (!type.empty() && type != "exact") {
        LLogErrorF("LWebDbTableReadSelectIndexMatch: Invalid index select with matchtype=%s",
                   type.substr(0, 64).c_str());
    }
    LStringA where;
    where.Format(term, name, match.c_str());
    Select(c, where.c_str(), true, LWebDbTableShape::Index);
}

void CmdSelectIndexOrder(ReadContext& c) {
    if (!NeedsKey(c, "SELECTINDEXORDER")) return;
    std::string order = Field(c.request, u"orderby"), sort = Field(c.request, u"sort");
    if (order.empty()) return Refuse(c.request, 400, "Missing orderby= parameter.");
    const char* name = LWebDbTableIsSafeName(order.c_str()) ? c.columns.Find(order.c_str()) : nullptr;
    if (!name || order.size() > LWebDbTableMaxText)
        return Refuse(c.request, 400, "Parsed orderby= contains forbidden character.");
    if (sort.empty()) return Refuse(c.request, 400, "Missing sort= parameter.");
    // Only the two directions: any other word would run as SQL.
    const char* direction = strcasecmp(sort.c_str(), "ASC") == 0    ? "ASC"
                            : strcasecmp(sort.c_str(), "DESC") == 0 ? "DESC"
                                                                    : nullptr;
    if (!direction) return Refuse(c.request, 400, "Parsed sort= contains forbidden character.");
    LStringA sql;
    sql.Format("SELECT \"%s\" FROM main.%s WHERE DELETED IS NULL ORDER BY \"%s\" %s;", c.table.key, c.table.table,
               name, direction);
    Send(c, sql, LWebDbTableShape::Index);
}

void CmdSelectList(ReadContext& c) {
    if (!NeedsKey(c, "SELECTLIST")) return;
    std::string keys = Field(c.request, u"keys");
    if (keys.empty()) return Refuse(c.request, 400, "Missing keys= parameter.");
    LStringA list, where;
    size_t start = 0;
    while (true) {
        size_t comma = keys.find(',', start);
        std::string piece = keys.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        if (piece.size() > LWebDbTableMaxText) return Refuse(c.request, 400, "Key too long.");
        if (list.length) list.AppendChar(',');
        list.AppendFormat("'%Q'", piece.c_str());
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    where.Format("\"%s\" IN (%s)", c.table.key, list.c_str());
    c.compact = false;
    Select(c, where.c_str(), true, LWebDbTableShape::Rows);
}

void LWebDbTableRead(Weblet& request, LWebletRoute*, uint64_t) {
    if (!request.session.HasSession())
        return Refuse(request, 401, "Unauthorized", "LWebDbTableRead: Unauthorized.");
    std::string name = Field(request, u"table");
    if (name.empty())
        return Refuse(request, 400, "Missing table= parameter", "LWebDbTableRead: Missing table= parameter.");
    const LWebDbTableDef* table = LWebDbTableFind(name.c_str());
    if (!table) {
        Refuse(request, 400, "Table not found");
        LLogErrorF("LWebDbTableRead: Table lookup not found have you called LWEBDBTABLE_TABLE: %s",
                   name.substr(0, LWebDbTableMaxText).c_str());
        LDebugSaveCallStack("DbTableRead");
        return;
    }
    std::string cmd = Field(request, u"cmd");
    if (cmd.empty()) return Refuse(request, 400, "Missing cmd= parameter", "LWebDbTableRead: Missing cmd= parameter.");
    ReadContext c{request, *table, {}, !Field(request, u"compact").empty()};
    if (!c.columns.Load(request.database, table->table))
        return Refuse(request, 500, "Table is missing from the database.");
    if (cmd == "SELECT") {
        CmdSelect(c);
    } else if (cmd == "SELECTALL") {
        Select(c, "", true, RowShape(c));
    } else if (cmd == "SELECTDATE") {
        CmdSelectDate(c, false);
    } else if (cmd == "SELECTMATCH") {
        CmdSelectMatch(c, false);
    } else if (cmd == "SELECTMATCHCOUNT") {
        CmdSelectMatch(c, true);
    } else if (cmd == "SELECTINDEX") {
        if (NeedsKey(c, "SELECTINDEX")) Select(c, "", true, LWebDbTableShape::Index);
    } else if (cmd == "SELECTINDEXDATE") {
        CmdSelectDate(c, true);
    } else if (cmd == "SELECTINDEXMATCH") {
        CmdSelectIndexMatch(c);
    } else if (cmd == "SELECTINDEXORDER") {
        CmdSelectIndexOrder(c);
    } else if (cmd == "SELECTLIST") {
        CmdSelectList(c);
    } else {
        LLogErrorF("LWebDbTableRead: Invalid Read Command: %s", cmd.substr(0, 64).c_str());
        Refuse(request, 400, "Invalid Read Command");
    }
}

[[maybe_unused]] const LWebletRoute* g_route = LWebletRegisterRoute(u"dbtable-read", LWebDbTableRead, 1);

}  // namespace
