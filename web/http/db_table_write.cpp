// The route dbtable-write: one write command on a registered table, from a
// JSON body. A failed statement reaches the client as errorcode 500 with the
// database's reason; a refused body as a 400 with its reason.
#include <atomic>
#include <cstring>
#include <string>

#include "foundation/database.h"
#include "foundation/json_value.h"
#include "foundation/log.h"
#include "foundation/utf8.h"
#include "web/http/db_table.h"
#include "web/http/routes.h"
#include "web/http/weblet.h"

namespace {

struct WriteContext {
    LAppDatabaseAccount& db;
    const LWebDbTableDef& table;
    LWebDbTableColumns columns;
    LWebDbTableResult& result;
    std::string new_key;
};

// Builds the three lists of the data members: columns, values and the SET
// assignments. Array and object members, and the key column under any
// letter case, are left out; a name that is not a column is refused.
bool RenderData(WriteContext& c, const LJsonValue& data, LStringA& names, LStringA& values, LStringA& sets) {
    for (const LJsonMember* m = data.members; m; m = m->next) {
        const LJsonValue& v = m->value;
        if (v.kind == LJsonArray || v.kind == LJsonObject) continue;
        const char* column = LWebDbTableIsSafeName(m->name) ? c.columns.Find(m->name) : nullptr;
        if (!column) {
            LLogErrorF("_LWebDbTableWrite: Invalid data member, name=%s", m->name);
            return c.result.Fail(400, "Invalid data member.");
        }
        if (*c.table.key && std::strcmp(column, c.table.key) == 0) continue;
        LStringA value;
        switch (v.kind) {
        case LJsonNumber:
            if (v.subkind == LJsonDouble) {
                LWebDbTableAppendDouble(value, v.payload.d);
            } else {
                value.AppendFormat("%I64d", v.payload.i);
            }
            break;
        case LJsonString:
            value.AppendFormat("'%Q'", v.text.c_str());
            break;
        case LJsonBool:
            value.Append(v.payload.b ? "1" : "0");
            break;
        default:
            value.Append("null");
        }
        if (names.length) names.AppendChar(',');
        if (values.length) values.AppendChar(',');
        if (sets.length) sets.AppendChar(',');
        names.AppendFormat("\"%s\"", column);
        values.AppendString(value);
        sets.AppendFormat("\"%s\"=%s", column, value.c_str());
    }
    return true;
}

bool Run(WriteContext& c, const LStringA& sql, const char* what) {
    if (c.db.ExecA(sql.c_str())) return true;
    char16_t error[260];
    c.db.GetLastErrorText(error);
    std::string detail = LToUtf8(error);
    LLogErrorWithDetail((std::string("LWebDbTableWrite") + what + ": " + what + " failed.").c_str(), detail.c_str());
    c.result.status = 202;
    c.result.reason = std::string(what) + " failed: " + detail;
    return false;
}

bool DataObject(WriteContext& c, const LJsonValue* data, const char* log) {
    if (data && data->kind == LJsonObject) return true;
    LLogWrite(log, LLogError);
    return c.result.Fail(400, "Missing data object");
}

bool Insert(WriteContext& c, const std::string& key, const LJsonValue* data) {
    if (!DataObject(c, data, "LWebDbTableWriteInsert: Missing data object.")) return false;
    LStringA names, values, sets;
    if (*c.table.key && !key.empty()) {
        std::string k = key;
        if (key == "?" || key == "*") {
            char16_t made[11];
            LAppDatabaseAccount::SQLCreatePrimaryKey(made);
            k = LToUtf8(made);
            if (key == "?") c.new_key = k;
        }
        names.AppendFormat("\"%s\"", c.table.key);
        values.AppendFormat("'%Q'", k.c_str());
    }
    if (!RenderData(c, *data, names, values, sets)) return false;
    LStringA sql;
    sql.Format("INSERT INTO main.%s (%s) VALUES (%s);", c.table.table, names.c_str(), values.c_str());
    if (!Run(c, sql, "Insert")) return false;
    if (!c.new_key.empty()) c.result.status = 201;
    return true;
}

bool Update(WriteContext& c, const std::string& key, const LJsonValue* data) {
    if (!DataObject(c, data, "LWebDbTableWriteUpdate: Missing data object.")) return false;
    LStringA names, values, sets;
    if (!RenderData(c, *data, names, values, sets)) return false;
    if (!sets.length) return true;  // nothing to change
    LStringA sql;
    sql.Format("UPDATE main.%s SET %s WHERE \"%s\"='%Q';", c.table.table, sets.c_str(), c.table.key, key.c_str());
    return Run(c, sql, "Update");
}

bool Upsert(WriteContext& c, const std::string& key, const LJsonValue* data) {
    if (!data || data->kind != LJsonObject) {
        LLogWrite("LWebDbTableWriteUpsert: Missing data object.", LLogError);
        return c.result.Fail(400, "Missing data object.");
    }
    if (!*c.table.key) return c.result.Fail(400, "Primary key was not set in Table Definition.");
    LStringA names, values, sets;
    names.AppendFormat("\"%s\"", c.table.key);
    values.AppendFormat("'%Q'", key.c_str());
    if (!RenderData(c, *data, names, values, sets)) return false;
    LStringA sql;
    if (sets.length) {
        sql.Format("INSERT INTO main.%s(%s) VALUES(%s) ON CONFLICT(\"%s\") DO UPDATE SET %s;", c.table.table,
                   names.c_str(), values.c_str(), c.table.key, sets.c_str());
    } else {
        sql.Format("INSERT INTO main.%s(%s) VALUES(%s) ON CONFLICT(\"%s\") DO NOTHING;", c.table.table, names.c_str(),
                   values.c_str(), c.table.key);
    }
    return Run(c, sql, "Upsert");
}

// Hard deletion removes rows; soft deletion stamps DELETED with today.
void DeleteStatement(WriteContext& c, bool hard, const char* where, LStringA& sql) {
    if (hard) {
        sql.Format("DELETE FROM main.%s WHERE %s;", c.table.table, where);
    } else {
        sql.Format("UPDATE main.%s SET DELETED='%s' WHERE %s;", c.table.table, LWebDbTableToday().c_str(), where);
    }
}

bool Delete(WriteContext& c, const std::string& key, bool hard) {
    if (!*c.table.key) return c.result.Fail(400, "Primary key was not set in Table Definition.");
    LStringA where, sql;
    where.Format("\"%s\"='%Q'", c.table.key, key.c_str());
    DeleteStatement(c, hard, where.c_str(), sql);
    return Run(c, sql, "Delete");
}

bool DeleteMulti(WriteContext& c, const LJsonValue& keys, bool hard) {
    if (!*c.table.key) return c.result.Fail(400, "Primary key was not set in Table Definition.");
    LStringA list;
    for (size_t i = 0; i < keys.count; ++i) {
        const LJsonValue& k = keys.elements[i];
        if (!k.IsString() || k.text.length == 0) continue;
        if (k.text.length > LWebDbTableMaxText) return c.result.Fail(400, "Key too long.");
        if (list.length) list.AppendChar(',');
        list.AppendFormat("'%Q'", k.text.c_str());
    }
    if (!list.length) return c.result.Fail(400, "Keys array is empty.");
    LStringA where, sql;
    where.Format("\"%s\" IN (%s)", c.table.key, list.c_str());
    DeleteStatement(c, hard, where.c_str(), sql);
    return Run(c, sql, "DeleteMulti");
}

bool Clause(WriteContext& c, const LJsonValue& match, LStringA& clause) {
    if (!LWebDbTableMatchClause(match, c.table, c.columns, "", clause, c.result)) return false;
    // An empty clause would leave "WHERE" with nothing after it, or, mended
    // the obvious way, touch every row.
    if (!clause.length) return c.result.Fail(400, "Match array is empty.");
    return true;
}

bool DeleteMatch(WriteContext& c, const LJsonValue& match, bool hard) {
    LStringA clause, sql;
    if (!Clause(c, match, clause)) return false;
    DeleteStatement(c, hard, clause.c_str(), sql);
    return Run(c, sql, "DeleteMatch");
}

bool UpdateMatch(WriteContext& c, const LJsonValue& match, const LJsonValue* data) {
    if (!DataObject(c, data, "LWebDbTableWriteUpdateMatch: Missing data object.")) return false;
    LStringA clause, names, values, sets, sql;
    if (!Clause(c, match, clause)) return false;
    if (!RenderData(c, *data, names, values, sets)) return false;
    if (!sets.length) return true;
    sql.Format("UPDATE main.%s SET %s WHERE %s;", c.table.table, sets.c_str(), clause.c_str());
    return Run(c, sql, "UpdateMatch");
}

bool MissingArray(WriteContext& c, const LJsonValue* v, const char* log, const char* reason) {
    if (v && v->kind == LJsonArray) return false;
    LLogWrite(log, LLogError);
    c.result.Fail(400, reason);
    return true;
}

}  // namespace

// Checks the body and runs one command; the result holds 200, 201 (with the
// new key), 202 (a failed statement) or 400.
void _LWebDbTableWrite(const LJsonValue& body, LAppDatabaseAccount& db, LWebDbTableResult& result,
                       std::string& new_key) {
    const LJsonValue* table_value = body.FindMember("table");
    if (!table_value || !table_value->IsString()) {
        LLogWrite("_LWebDbTableWrite: Missing table parameter.", LLogError);
        result.Fail(400, "Missing table parameter");
        return;
    }
    const LWebDbTableDef* table = LWebDbTableFind(table_value->text.c_str());
    if (!table) {
        LLogErrorF("_LWebDbTableWrite: Table lookup not found have you called LWEBDBTABLE_TABLE: %s",
                   table_value->text.c_str());
        result.Fail(400, "Table not found");
        return;
    }
    const LJsonValue* cmd_value = body.FindMember("cmd");
    if (!cmd_value || !cmd_value->IsString()) {
        LLogWrite("_LWebDbTableWrite: Missing cmd parameter.", LLogError);
        result.Fail(400, "Missing cmd parameter");
        return;
    }
    WriteContext c{db, *table, {}, result, {}};
    if (!c.columns.Load(db, table->table)) {
        result.status = 202;
        result.reason = "Table is missing from the database.";
        return;
    }
    std::string cmd = cmd_value->text.Str();
    const LJsonValue* hard_value = body.FindMember("hard");
    bool hard = hard_value && hard_value->kind == LJsonBool && hard_value->payload.b;
    const LJsonValue* data = body.FindMember("data");
    if (cmd == "DELETEMATCH" || cmd == "UPDATEMATCH") {
        const LJsonValue* match = body.FindMember("match");
        if (MissingArray(c, match, "_LWebDbTableWrite: Missing match parameter.", "Missing match parameter")) return;
        if (cmd == "DELETEMATCH") {
            DeleteMatch(c, *match, hard);
        } else {
            UpdateMatch(c, *match, data);
        }
        return;
    }
    if (cmd == "DELETEMULTI") {
        const LJsonValue* keys = body.FindMember("keys");
        if (MissingArray(c, keys, "_LWebDbTableWrite: Missing keys parameter.", "Missing keys parameter")) return;
        DeleteMulti(c, *keys, hard);
        return;
    }
    std::string key;
    if (*table->key) {
        const LJsonValue* key_value = body.FindMember("key");
        if (!key_value || !key_value->IsString()) {
            LLogWrite("_LWebDbTableWrite: Missing key parameter.", LLogError);
            result.Fail(400, "Missing key parameter");
            return;
        }
        if (key_value->text.length > LWebDbTableMaxText) {
            result.Fail(400, "Key too long.");
            return;
        }
        key = key_value->text.Str();
    }
    if (cmd == "INSERT") {
        // Without its key a row is one that no route can name again.
        if (*table->key && key.empty()) {
            result.Fail(400, "Missing key parameter");
            return;
        }
        if (Insert(c, key, data)) new_key = c.new_key;
    } else if (cmd == "UPDATE") {
        Update(c, key, data);
    } else if (cmd == "UPSERT") {
        Upsert(c, key, data);
    } else if (cmd == "DELETE") {
        Delete(c, key, hard);
    } else {
        LLogErrorF("_LWebDbTableWrite: Invalid Write Command: %s", cmd.c_str());
        result.Fail(400, "Invalid Write Command");
    }
}

namespace {

std::atomic<LWebDbTableWriteObserver> g_writeObserver{nullptr};

}  // namespace

void LWebDbTableSetWriteObserver(LWebDbTableWriteObserver observer) { g_writeObserver.store(observer); }

namespace {

void LWebDbTableWrite(Weblet& request, LJsonValue& body) {
    if (!request.session.HasSession()) {
        LLogWrite("LWebDbTableWrite: Unauthorized.", LLogError);
        request.SendStatus(401, "Unauthorized");
        return;
    }
    if (!request.IsCSRFSafe()) {
        LLogWrite("LWebDbTableWrite: Host not matched.", LLogError);
        request.SendStatus(403, "Forbidden. Host not matched.");
        return;
    }
    LWebDbTableResult result;
    std::string new_key;
    _LWebDbTableWrite(body, request.database, result, new_key);
    if (result.status == 200 || result.status == 201) {
        auto observer = g_writeObserver.load();
        const LJsonValue* table = body.FindMember("table");
        if (observer && table) observer(table->text.c_str());
    }
    switch (result.status) {
    case 200:
        request.Printf("HTTP/1.1 200 OK\r\nCache-Control: no-cache\r\nContent-Length: 0\r\n\r\n");
        break;
    case 201:
        request.SendJsonf("{\"id\":\"%J\"}", new_key.c_str());
        break;
    case 202:
        request.SendJsonf("{\"errorcode\":500,\"errormsg\":\"%J\"}", result.reason.c_str());
        break;
    default:
        request.SendStatus(result.status, result.reason.c_str());
    }
}

[[maybe_unused]] const LWebletRoute* g_route = LWebletRegisterJsonRoute(u"dbtable-write", LWebDbTableWrite, 1);

}  // namespace
