#include "foundation/database.h"

#include <atomic>
#include <mutex>

#include "foundation/data_folder.h"
#include "foundation/database_handles.h"
#include "foundation/log.h"
#include "foundation/utf8.h"

namespace {

std::atomic<bool> g_sqlite_ready{false};

std::mutex g_registered_lock;
std::vector<LString>& Registered() {
    static std::vector<LString> list;
    return list;
}

}  // namespace

void LAppDatabaseAccount::RegisterCreateStatement(const char16_t* statement) {
    std::lock_guard<std::mutex> lock(g_registered_lock);
    Registered().emplace_back(statement);
}

void LAppDatabaseAccount::Construct() {
    static std::once_flag configured;
    // The memory statistics put one process-wide mutex around every
    // allocation of every connection; nothing reads them. Only possible
    // before the library is initialised.
    std::call_once(configured, [] { sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0); });
    // A failed initialisation is tried again by the next accessor.
    if (!g_sqlite_ready.load() && sqlite3_initialize() == SQLITE_OK) g_sqlite_ready = true;
    char16_t folder[260];
    LGetDataFolder(folder);
    LPathCombine(path, folder, u"main", u".db");
}

LAppDatabaseAccount::LAppDatabaseAccount(bool read_only) {
    Construct();
    Open(path, read_only);
}

LAppDatabaseAccount::LAppDatabaseAccount(Deferred, bool open) {
    Construct();
    if (open) Open(path, false);
}

LAppDatabaseAccount::~LAppDatabaseAccount() { Close(); }

void LAppDatabaseAccount::Close() {
    if (!handle) return;
    if (keepable_) {
        LDatabaseHandleGiveBack(handle, {open_path_.c_str(), read_only_, file_});
    } else {
        sqlite3_close_v2(handle);
    }
    handle = nullptr;
    keepable_ = false;
}

bool LAppDatabaseAccount::Open(const char16_t* db_path, bool read_only) {
    Close();
    LUTF8FromWide p(db_path);
    open_path_ = p.text;
    read_only_ = read_only;
    if (LPlatformGetFileId(p.text, &file_)) {
        if (sqlite3* kept = LDatabaseHandleTake({p.text, read_only, file_})) {
            handle = kept;
            keepable_ = true;
            sqlite3_busy_timeout(handle, 20000);  // a caller may have changed it
            return true;
        }
    }
    // SQLite makes the -wal and -shm files with the database's mode, so the
    // database itself must start with the shared one, whatever the umask.
    if (!read_only) LPlatformEnsureSharedFile(p.text);
    int flags = read_only ? SQLITE_OPEN_READONLY : (SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
    // The handle is kept even on failure: it holds the error text.
    if (sqlite3_open_v2(p.text, &handle, flags, nullptr) != SQLITE_OK) return false;
    sqlite3_busy_timeout(handle, 20000);
    if (!read_only) {
        char16_t mode[260];
        if (QueryText(u"PRAGMA journal_mode=WAL;", mode)) {
            LString m(mode);
            bool wal =
                m.length == 3 && (mode[0] | 0x20) == u'w' && (mode[1] | 0x20) == u'a' && (mode[2] | 0x20) == u'l';
            if (wal) Exec(u"PRAGMA synchronous=NORMAL;");
        }
    }
    keepable_ = LPlatformGetFileId(p.text, &file_);
    return true;
}

const char16_t* LAppDatabaseAccount::GetDatabaseName() {
    if (!path[0]) LLog("LAppDatabaseAccount::GetDatabaseName The database name is not set", LLogError);
    return u"main";
}

int LAppDatabaseAccount::PrepareA(const char* statement, sqlite3_stmt** out) {
    *out = nullptr;
    if (!handle) return SQLITE_MISUSE;
    return sqlite3_prepare_v2(handle, statement, -1, out, nullptr);
}

int LAppDatabaseAccount::Prepare(const char16_t* statement, sqlite3_stmt** out) {
    LUTF8FromWide s(statement);
    return PrepareA(s.text, out);
}

bool LAppDatabaseAccount::ExecA(const char* statement) {
    if (!handle) return false;
    return sqlite3_exec(handle, statement, nullptr, nullptr, nullptr) == SQLITE_OK;
}

bool LAppDatabaseAccount::Exec(const char16_t* statement) {
    LUTF8FromWide s(statement);
    return ExecA(s.text);
}

namespace {

// Runs a one-row query and hands the statement, on its row or not, to `read`.
template <class F>
bool QueryOne(LAppDatabaseAccount& db, const char16_t* statement, F read) {
    sqlite3_stmt* st = nullptr;
    if (db.Prepare(statement, &st) != SQLITE_OK || !st) {
        if (st) sqlite3_finalize(st);
        return false;
    }
    int rc = sqlite3_step(st);
    if (rc != SQLITE_ROW && rc != SQLITE_DONE) {
        sqlite3_finalize(st);
        return false;
    }
    read(rc == SQLITE_ROW ? st : nullptr);
    return sqlite3_finalize(st) == SQLITE_OK;
}

}  // namespace

bool LAppDatabaseAccount::QueryInt(const char16_t* statement, int32_t* out) {
    return QueryOne(*this, statement, [&](sqlite3_stmt* st) { *out = st ? sqlite3_column_int(st, 0) : 0; });
}

bool LAppDatabaseAccount::QueryInt64(const char16_t* statement, int64_t* out) {
    return QueryOne(*this, statement, [&](sqlite3_stmt* st) { *out = st ? sqlite3_column_int64(st, 0) : 0; });
}

bool LAppDatabaseAccount::QueryText(const char16_t* statement, char16_t out[260]) {
    out[0] = 0;
    return QueryOne(*this, statement, [&](sqlite3_stmt* st) {
        const unsigned char* t = st ? sqlite3_column_text(st, 0) : nullptr;
        LUTF8ToWideBuf(out, reinterpret_cast<const char*>(t));
    });
}

bool LAppDatabaseAccount::TableExists(const char16_t* table) {
    if (!handle) return false;
    char16_t q[260], answer[260];
    // Table names come from the program's constants, never from input.
    LFormatEscPathW(q, u"SELECT name FROM sqlite_master WHERE type='table' AND name='%Q';", table);
    return QueryText(q, answer) && answer[0] != 0;
}

bool LAppDatabaseAccount::TableExistsInSchema(const char16_t* schema, const char16_t* table) {
    if (!schema || LString(schema).View() == u"main") return TableExists(table);
    if (!handle) return false;
    LString q;
    q.Format(u"SELECT name FROM %s.sqlite_master WHERE type='table' AND name='%Q';", schema, table);
    char16_t answer[260];
    return QueryText(q.c_str(), answer) && answer[0] != 0;
}

bool LAppDatabaseAccount::ColumnExists(const char16_t* table, const char16_t* column) {
    LAppDatabaseCursor c;
    c.QueryF(*this, u"PRAGMA table_info('%Q');", table);
    std::u16string_view want(column ? column : u"");
    while (c.HasRow()) {
        char16_t name[260];
        c.GetColumnText(1, u"", name);
        if (want == name) return true;
        c.Step();
    }
    return false;
}

bool LAppDatabaseAccount::AddColumnIfMissing(const char16_t* schema, const char16_t* table, const char16_t* column,
                                             const char16_t* definition) {
    if (ColumnExists(table, column)) return true;
    return ExecF(u"ALTER TABLE %s.%s ADD COLUMN %s", schema, table, definition);
}

void LAppDatabaseAccount::EnsureTable(const char16_t* table, const char16_t* create_format) {
    if (!TableExistsInSchema(u"main", table)) ExecF(create_format, u"main");
}

void LAppDatabaseAccount::CreateRegisteredTables() {
    if (!path[0]) return;
    std::vector<LString> list;
    {
        std::lock_guard<std::mutex> lock(g_registered_lock);
        list = Registered();
    }
    for (const LString& stmt : list) {
        std::u16string s(stmt.View());
        for (size_t at = s.find(u"[db]"); at != std::u16string::npos; at = s.find(u"[db]", at + 4))
            s.replace(at, 4, u"main");
        // An existing table makes the CREATE fail, which is how a second run
        // changes nothing.
        Exec(s.c_str());
    }
}

void LAppDatabaseAccount::GetLastErrorText(char16_t out[260]) {
    if (!handle) {
        LCopyField(out, u"Database not open");
        return;
    }
    LUTF8ToWideBuf(out, sqlite3_errmsg(handle));
}

// ---- cursor ----

LAppDatabaseCursor::~LAppDatabaseCursor() {
    if (statement) sqlite3_finalize(statement);
}

void LAppDatabaseCursor::Query(LAppDatabaseAccount& db, const char16_t* text) {
    if (!db.handle) return;
    if (statement) sqlite3_finalize(statement);
    statement = nullptr;
    column_count = 0;
    columns.clear();
    if (db.Prepare(text, &statement) != SQLITE_OK) {
        if (statement) sqlite3_finalize(statement);
        statement = nullptr;
        return;
    }
    if (!statement) return;  // an empty text prepares to nothing
    uint64_t count = static_cast<uint64_t>(sqlite3_column_count(statement));
    if (sqlite3_step(statement) != SQLITE_ROW) return;
    column_count = count;
    columns.resize(count);
    for (uint64_t i = 0; i < count; ++i) {
        LUTF8ToWideBuf(columns[i].name, sqlite3_column_name(statement, static_cast<int>(i)));
        columns[i].type = sqlite3_column_type(statement, static_cast<int>(i));
    }
}

int LAppDatabaseCursor::Step() {
    if (!statement) {
        column_count = 0;
        return SQLITE_MISUSE;
    }
    int rc = sqlite3_step(statement);
    if (rc != SQLITE_ROW) column_count = 0;
    return rc;
}

void LAppDatabaseCursor::GetColumnText(uint64_t index, const char16_t* default_text, char16_t out[260]) {
    const unsigned char* t = index < column_count ? sqlite3_column_text(statement, static_cast<int>(index)) : nullptr;
    if (t) {
        LUTF8ToWideBuf(out, reinterpret_cast<const char*>(t));
    } else {
        LCopyField(out, default_text);
    }
}

void LAppDatabaseCursor::GetColumnString(uint64_t index, LString& out) {
    out.Clear();
    if (index >= column_count) return;
    const unsigned char* t = sqlite3_column_text(statement, static_cast<int>(index));
    if (!t) return;
    int n = sqlite3_column_bytes(statement, static_cast<int>(index));
    out.SetUtf8N(reinterpret_cast<const char*>(t), static_cast<size_t>(n));
}

void LAppDatabaseCursor::GetColumnTextA(uint64_t index, LStringA& out) {
    out.Clear();
    if (index >= column_count) return;
    const unsigned char* t = sqlite3_column_text(statement, static_cast<int>(index));
    if (!t) return;
    out.AppendN(reinterpret_cast<const char*>(t), static_cast<uint64_t>(sqlite3_column_bytes(statement, static_cast<int>(index))));
}

int32_t LAppDatabaseCursor::GetColumnInt(uint64_t index) {
    return index < column_count ? sqlite3_column_int(statement, static_cast<int>(index)) : 0;
}

int64_t LAppDatabaseCursor::GetColumnInt64(uint64_t index) {
    return index < column_count ? sqlite3_column_int64(statement, static_cast<int>(index)) : 0;
}

bool LAppDatabaseCursor::IsColumnNull(uint64_t index) {
    return index >= column_count || sqlite3_column_type(statement, static_cast<int>(index)) == SQLITE_NULL;
}
