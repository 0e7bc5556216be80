#pragma once
// The accessor through which every SQL statement of the program runs, and
// its row cursor. Statements are texts made by the formatter with %Q for
// every text that is not a constant; nothing is bound as a parameter.
#include <sqlite3.h>

#include <cstdint>
#include <string>
#include <vector>

#include "foundation/format.h"
#include "foundation/lstring.h"
#include "platform/file.h"

class LAppDatabaseAccount {
public:
    sqlite3* handle = nullptr;
    char16_t path[260] = {0};

    // Opens main.db of the data folder at once.
    explicit LAppDatabaseAccount(bool read_only);
    struct Deferred {};
    // Opens (read-write) only when `open` is set.
    LAppDatabaseAccount(Deferred, bool open);
    LAppDatabaseAccount(const LAppDatabaseAccount&) = delete;
    LAppDatabaseAccount& operator=(const LAppDatabaseAccount&) = delete;
    // Closes the handle if its owner has not (never twice).
    ~LAppDatabaseAccount();

    // A handle this thread set up earlier for the same file and mode is
    // taken again when there is one; otherwise a new one is opened.
    bool Open(const char16_t* db_path, bool read_only);
    // The handle goes back to the thread's keeping (an open transaction
    // rolled back) or, when it cannot be kept, is closed.
    void Close();
    const char16_t* GetDatabaseName();

    int Prepare(const char16_t* statement, sqlite3_stmt** out);
    int PrepareA(const char* statement, sqlite3_stmt** out);
    bool Exec(const char16_t* statement);
    bool ExecA(const char* statement);
    template <class... A>
    bool ExecF(const char16_t* fmt, const A&... a) {
        LString s;
        s.Format(fmt, a...);
        return Exec(s.c_str());
    }
    bool QueryInt(const char16_t* statement, int32_t* out);
    bool QueryInt64(const char16_t* statement, int64_t* out);
    bool QueryText(const char16_t* statement, char16_t out[260]);
    bool TableExists(const char16_t* table);
    bool TableExistsInSchema(const char16_t* schema, const char16_t* table);
    bool ColumnExists(const char16_t* table, const char16_t* column);
    bool AddColumnIfMissing(const char16_t* schema, const char16_t* table, const char16_t* column,
                            const char16_t* definition);
    void EnsureTable(const char16_t* table, const char16_t* create_format);
    void CreateRegisteredTables();
    void GetLastErrorText(char16_t out[260]);

    // CREATE statements registered at start-up; "[db]" stands for the schema.
    static void RegisterCreateStatement(const char16_t* statement);

    // Row keys and session IDs (primary_key.cpp).
    static void SQLCreatePrimaryKey(char16_t out[11]);
    static void CreateSessionID(LAppDatabaseAccount& db, char16_t out[19]);

private:
    void Construct();

    // Set when the handle was opened whole and may be kept for the thread.
    bool keepable_ = false;
    bool read_only_ = false;
    std::string open_path_;
    LPlatformFileId file_;
};

class LAppDatabaseCursor {
public:
    struct Column {
        char16_t name[260];
        int32_t type;
    };
    sqlite3_stmt* statement = nullptr;
    uint64_t column_count = 0;
    std::vector<Column> columns;

    LAppDatabaseCursor() = default;
    LAppDatabaseCursor(const LAppDatabaseCursor&) = delete;
    LAppDatabaseCursor& operator=(const LAppDatabaseCursor&) = delete;
    ~LAppDatabaseCursor();

    template <class... A>
    static void OpenF(LAppDatabaseCursor& c, LAppDatabaseAccount& db, const char16_t* fmt, const A&... a) {
        c.QueryF(db, fmt, a...);
    }
    void Query(LAppDatabaseAccount& db, const char16_t* statement);
    template <class... A>
    void QueryF(LAppDatabaseAccount& db, const char16_t* fmt, const A&... a) {
        LString s;
        s.Format(fmt, a...);
        Query(db, s.c_str());
    }
    int Step();
    bool HasRow() const { return column_count != 0; }
    void GetColumnText(uint64_t index, const char16_t* default_text, char16_t out[260]);
    void GetColumnString(uint64_t index, LString& out);
    // UTF-8 of a column as it is stored; empty for NULL or out of range.
    void GetColumnTextA(uint64_t index, LStringA& out);
    int32_t GetColumnInt(uint64_t index);
    int64_t GetColumnInt64(uint64_t index);
    bool IsColumnNull(uint64_t index);
};
