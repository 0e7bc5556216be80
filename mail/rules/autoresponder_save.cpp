// The autoresponder list, save and delete; a save request is checked whole
// before anything is written.
#include <cmath>

#include "foundation/json_value.h"
#include "foundation/json_writer.h"
#include "foundation/time_source.h"
#include "mail/rules/autoresponder.h"
#include "mail/store/store_transaction.h"

namespace {

bool Text(const LJsonValue& v, std::u16string& out, size_t min, size_t max) {
    if (!v.IsString()) return false;
    LString s = LFromUtf8(v.text.View());
    out = s.View();
    return out.size() >= min && out.size() <= max;
}

bool Member(const LJsonValue& body, const char* name, std::u16string& out, size_t min, size_t max) {
    const LJsonValue* v = body.FindMember(name);
    return v && Text(*v, out, min, max);
}

// A number, or a string of decimal digits; missing is 0.
bool Time(const LJsonValue& body, const char* name, int64_t& out) {
    out = 0;
    const LJsonValue* v = body.FindMember(name);
    if (!v) return true;
    if (v->IsNumber()) {
        double d = v->AsDouble();
        if (!std::isfinite(d) || d < 0 || d > 9.2e18) return false;
        out = v->AsInt64();
        return true;
    }
    if (!v->IsString() || v->text.IsEmpty() || v->text.length > 18) return false;
    for (char c : v->text.View()) {
        if (c < '0' || c > '9') return false;
        out = out * 10 + (c - '0');
    }
    return true;
}

bool Flag(const LJsonValue& body, const char* name, bool missing, bool& out) {
    out = missing;
    const LJsonValue* v = body.FindMember(name);
    if (!v) return true;
    if (v->kind != LJsonBool) return false;
    out = v->payload.b;
    return true;
}

bool OneOf(const std::u16string& s, std::initializer_list<const char16_t*> allowed) {
    for (const char16_t* a : allowed)
        if (s == a) return true;
    return false;
}

int64_t Column64(LAppDatabaseCursor& c, uint64_t i) { return c.GetColumnInt64(i); }

}  // namespace

bool LAutoresponderParseJson(const LJsonValue& body, LAutoresponderInput& out) {
    out = LAutoresponderInput();
    if (body.kind != LJsonObject) return false;
    if (body.FindMember("id") && !Member(body, "id", out.id, 0, 12)) return false;
    if (!Member(body, "name", out.name, 1, 255) || !Member(body, "subject", out.subject, 0, 1024) ||
        !Member(body, "body", out.body, 1, 1048576) || !Member(body, "frequency", out.frequency, 1, 32) ||
        !OneOf(out.frequency, {u"ONCE_PER_PERIOD", u"ONCE_PER_DAY", u"EVERY_MESSAGE"}))
        return false;
    if (!Time(body, "start_utc", out.start) || !Time(body, "end_utc", out.end) || out.start >= out.end) return false;
    if (!Flag(body, "enabled", true, out.enabled) || !Flag(body, "all_accounts", false, out.allAccounts))
        return false;
    if (const LJsonValue* p = body.FindMember("priority")) {
        if (!p->IsNumber()) return false;
        double d = std::trunc(p->AsDouble());
        if (!(d >= -1000 && d <= 1000)) return false;
        out.priority = static_cast<int>(d);
    }
    const LJsonValue* accounts = body.FindMember("accounts");
    if (!accounts || accounts->kind != LJsonArray || accounts->count > 100) return false;
    for (size_t i = 0; i < accounts->count; ++i) {
        std::u16string id;
        if (!Text(accounts->elements[i], id, 1, 12)) return false;
        out.accounts.push_back(id);
    }
    if (out.accounts.empty() && !out.allAccounts) return false;
    const LJsonValue* conditions = body.FindMember("conditions");
    if (!conditions || conditions->kind != LJsonArray || conditions->count > 100) return false;
    for (size_t i = 0; i < conditions->count; ++i) {
        const LJsonValue& c = conditions->elements[i];
        LAutoresponderCondition cond;
        if (c.kind != LJsonObject || !Member(c, "PART", cond.part, 1, 32) || !Member(c, "TEST", cond.test, 1, 32) ||
            !Member(c, "TEST_DETAIL", cond.detail, 1, 255) ||
            !OneOf(cond.part, {u"FROM", u"TO", u"CC", u"TOORCC", u"SUBJECT", u"BODY"}) ||
            !OneOf(cond.test, {u"IS", u"STARTS", u"CONTAINS"}))
            return false;
        out.conditions.push_back(cond);
    }
    return true;
}

bool LAutoresponderSave(LAppDatabaseAccount& db, const LAutoresponderInput& in, std::u16string& out_id) {
    LStoreTransaction tx(db);
    if (!tx.Began()) return false;
    std::u16string id = in.id;
    bool is_new = id.empty();
    for (int draw = 0; is_new && draw < 100 && id.empty(); ++draw) {
        char16_t key[11];
        LAppDatabaseAccount::SQLCreatePrimaryKey(key);
        LString q;
        q.Format(u"SELECT COUNT(*) FROM %s.AUTORESPONDERS WHERE ID='%Q';", u"main", key);
        int32_t n = 1;
        if (db.QueryInt(q.c_str(), &n) && n == 0) id = key;
    }
    if (id.empty()) return false;
    LString q;
    q.Format(u"SELECT COUNT(*) FROM %s.AUTORESPONDERS WHERE ID='%Q';", u"main", id);
    int32_t exists = 0;
    if (!db.QueryInt(q.c_str(), &exists) || (!is_new && exists == 0)) return false;
    long long start = in.start, end = in.end;
    bool ok =
        is_new ? db.ExecF(u"INSERT INTO %s.AUTORESPONDERS (ID, NAME, ENABLED, START_UTC, END_UTC, ALL_ACCOUNTS, "
                          u"SUBJECT, BODY_TEXT, REPLY_FREQUENCY, PRIORITY, CREATED_UTC, LAST_SENT_UTC) VALUES ('%Q', "
                          u"'%Q', %d, %lld, %lld, %d, '%Q', '%Q', '%Q', %d, %lld, 0);",
                          u"main", id, in.name, in.enabled ? 1 : 0, start, end, in.allAccounts ? 1 : 0, in.subject,
                          in.body, in.frequency, in.priority, static_cast<long long>(LNow()))
               : db.ExecF(u"UPDATE %s.AUTORESPONDERS SET NAME='%Q', ENABLED=%d, START_UTC=%lld, END_UTC=%lld, "
                          u"ALL_ACCOUNTS=%d, SUBJECT='%Q', BODY_TEXT='%Q', REPLY_FREQUENCY='%Q', PRIORITY=%d WHERE "
                          u"ID='%Q';",
                          u"main", in.name, in.enabled ? 1 : 0, start, end, in.allAccounts ? 1 : 0, in.subject, in.body,
                          in.frequency, in.priority, id);
    ok = ok && db.ExecF(u"DELETE FROM %s.AUTORESPONDER_ACCOUNTS WHERE AUTORESPONDER_ID='%Q';", u"main", id) &&
         db.ExecF(u"DELETE FROM %s.AUTORESPONDER_CONDITIONS WHERE AUTORESPONDER_ID='%Q';", u"main", id);
    for (const std::u16string& account : in.accounts)
        ok = ok && db.ExecF(u"INSERT OR IGNORE INTO %s.AUTORESPONDER_ACCOUNTS (AUTORESPONDER_ID, EMAILACCOUNT_ID) "
                            u"VALUES ('%Q', '%Q');",
                            u"main", id, account);
    for (const LAutoresponderCondition& c : in.conditions)
        ok = ok && db.ExecF(u"INSERT INTO %s.AUTORESPONDER_CONDITIONS (AUTORESPONDER_ID, PART, TEST, TEST_DETAIL) "
                            u"VALUES ('%Q', '%Q', '%Q', '%Q');",
                            u"main", id, c.part, c.test, c.detail);
    if (!ok || !tx.Commit()) return false;
    out_id = id;
    return true;
}

bool LAutoresponderDelete(LAppDatabaseAccount& db, const char16_t* id) {
    LStoreTransaction tx(db);
    return tx.Began() &&
           db.ExecF(u"DELETE FROM %s.AUTORESPONDER_ACCOUNTS WHERE AUTORESPONDER_ID='%Q';", u"main", id) &&
           db.ExecF(u"DELETE FROM %s.AUTORESPONDER_CONDITIONS WHERE AUTORESPONDER_ID='%Q';", u"main", id) &&
           db.ExecF(u"DELETE FROM %s.AUTORESPONDER_SENDS WHERE AUTORESPONDER_ID='%Q';", u"main", id) &&
           db.ExecF(u"DELETE FROM %s.AUTORESPONDERS WHERE ID='%Q';", u"main", id) && tx.Commit();
}

void LAutoresponderWriteListJson(LJsonWriter& json, LAppDatabaseAccount& db) {
    json.BeginObject();
    json.Bool("ok", true);
    {
        json.BeginArrayNamed("autoresponders");
        LAppDatabaseCursor c;
        c.QueryF(db,
                 u"SELECT ID, NAME, ENABLED, START_UTC, END_UTC, ALL_ACCOUNTS, SUBJECT, BODY_TEXT, REPLY_FREQUENCY, "
                 u"PRIORITY, LAST_SENT_UTC FROM %s.AUTORESPONDERS WHERE DELETED IS NULL ORDER BY PRIORITY DESC, "
                 u"CREATED_UTC, ID;",
                 u"main");
        for (; c.HasRow(); c.Step()) {
            LString id, name, subject, body, frequency;
            c.GetColumnString(0, id);
            c.GetColumnString(1, name);
            c.GetColumnString(6, subject);
            c.GetColumnString(7, body);
            c.GetColumnString(8, frequency);
            json.BeginObject();
            json.String("ID", id.c_str());
            json.String("NAME", name.c_str());
            json.Int("ENABLED", c.GetColumnInt(2));
            json.Int64("START_UTC", Column64(c, 3));
            json.Int64("END_UTC", Column64(c, 4));
            json.Int("ALL_ACCOUNTS", c.GetColumnInt(5));
            json.String("SUBJECT", subject.c_str());
            json.String("BODY_TEXT", body.c_str());
            json.String("REPLY_FREQUENCY", frequency.c_str());
            json.Int("PRIORITY", c.GetColumnInt(9));
            json.Int64("LAST_SENT_UTC", Column64(c, 10));
            json.EndObject();
        }
        json.EndArray();
    }
    struct List {
        const char* name;
        const char16_t* sql;
        const char* columns[4];
    };
    static const List kLists[] = {
        {"accounts", u"SELECT ID, EMAIL FROM %s.EMAILACCOUNTS WHERE DELETED IS NULL ORDER BY EMAIL, ID;",
         {"ID", "EMAIL", nullptr, nullptr}},
        {"account_links",
         u"SELECT AUTORESPONDER_ID, EMAILACCOUNT_ID FROM %s.AUTORESPONDER_ACCOUNTS ORDER BY AUTORESPONDER_ID, "
         u"EMAILACCOUNT_ID;",
         {"AUTORESPONDER_ID", "EMAILACCOUNT_ID", nullptr, nullptr}},
        {"conditions",
         u"SELECT AUTORESPONDER_ID, PART, TEST, TEST_DETAIL FROM %s.AUTORESPONDER_CONDITIONS ORDER BY "
         u"AUTORESPONDER_ID, rowid;",
         {"AUTORESPONDER_ID", "PART", "TEST", "TEST_DETAIL"}},
    };
    for (const List& list : kLists) {
        json.BeginArrayNamed(list.name);
        LAppDatabaseCursor c;
        c.QueryF(db, list.sql, u"main");
        for (; c.HasRow(); c.Step()) {
            json.BeginObject();
            for (uint64_t i = 0; i < 4 && list.columns[i]; ++i) {
                LString v;
                c.GetColumnString(i, v);
                json.String(list.columns[i], v.c_str());
            }
            json.EndObject();
        }
        json.EndArray();
    }
    json.EndObject();
}
