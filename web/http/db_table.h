#pragma once
// Generic row access for the browser interface to a fixed set of tables:
// dbtable-read (query or form fields) and dbtable-write (JSON body). Every
// identifier that reaches SQL is either a registered table, its key column,
// or a name that passed the safe-name test and is a column of the table;
// every value goes in with %Q or as a number.
#include <cstdint>
#include <string>
#include <vector>

#include "foundation/database.h"
#include "foundation/lstring.h"

class LJsonValue;
class Weblet;

struct LWebDbTableDef {
    LWebDbTableDef* next = nullptr;
    const char* table = nullptr;
    const char* key = nullptr;  // "" when the table has no key column
};

// Appends a registration; the list is complete before main runs.
LWebDbTableDef* LWebDbTableRegister(const char* table, const char* key);
#define LWEBDBTABLE_TABLE(table, key) \
    [[maybe_unused]] static const LWebDbTableDef* g_dbtable_##table = LWebDbTableRegister(#table, key)

// The first registration of exactly that name, or null.
const LWebDbTableDef* LWebDbTableFind(const char* table);
// Non-empty, ASCII letters, digits and underscore only.
bool LWebDbTableIsSafeName(const char* text);

// Longest key, column name or match text accepted: a longer one is refused,
// never cut (a cut key can name another row).
constexpr size_t LWebDbTableMaxText = 259;

// The columns of a registered table as the database knows them now.
class LWebDbTableColumns {
public:
    bool Load(LAppDatabaseAccount& db, const char* table);
    // The column's own spelling when `name` names one (letter case ignored,
    // as SQLite does), else null.
    const char* Find(const char* name) const;

private:
    std::vector<std::string> names_;
};

// Status and reason of a refused or failed command (reason UTF-8).
struct LWebDbTableResult {
    int status = 200;
    std::string reason;
    bool Fail(int s, const char* r) {
        status = s;
        reason = r;
        return false;
    }
};

// The WHERE clause of a match array: 200, or 400 with the reason. An empty
// array is refused by the callers that would delete or update with it.
bool LWebDbTableMatchClause(const LJsonValue& match, const LWebDbTableDef& table, const LWebDbTableColumns& columns,
                            const char* default_type, LStringA& clause, LWebDbTableResult& result);

// Appends a number so that it reads back as the same value: 64-bit integers
// whole, doubles in the shortest text that parses back exactly.
void LWebDbTableAppendDouble(LStringA& out, double value);

// Runs a statement and writes its rows. False when the statement failed
// (the reason holds the database's error text); nothing was sent then.
enum class LWebDbTableShape { Rows, Compact, Index, FirstRow };
bool LWebDbTableQueryJson(LAppDatabaseAccount& db, const char* sql, LWebDbTableShape shape, LStringA& json,
                          std::string& error);
// The rows of a statement as the array "name" of row objects (the settings
// reply uses it for "items").
bool LWebDbTableWriteRowsNamed(LAppDatabaseAccount& db, const char* sql, const char* name, LStringA& json,
                               std::string& error);

// Today's UTC date "YYYY-MM-DD", the soft-deletion mark.
std::string LWebDbTableToday();

// Called after every dbtable-write that succeeded, with the table's name as
// the request gave it: the mail engine starts or restarts an account's
// worker when EMAILACCOUNTS changes. Null for none.
using LWebDbTableWriteObserver = void (*)(const char* table);
void LWebDbTableSetWriteObserver(LWebDbTableWriteObserver observer);

// Checks a dbtable-write body and runs its command: 200, 201 (new_key set),
// 202 (the statement failed; the reason says why) or 400.
void _LWebDbTableWrite(const LJsonValue& body, LAppDatabaseAccount& db, LWebDbTableResult& result,
                       std::string& new_key);
