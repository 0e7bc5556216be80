#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>

#include "foundation/database.h"
#include "foundation/database_handles.h"
#include "foundation/utf8.h"
#include "tests/support/test_root.h"

namespace {

class Database : public ::testing::Test {
protected:
    LTestRoot root;
};

TEST_F(Database, OpensMainDbInWalMode) {
    LAppDatabaseAccount db(false);
    ASSERT_NE(db.handle, nullptr);
    EXPECT_EQ(LToUtf8(db.path), root.DataFolder() + "/main.db");
    char16_t mode[260];
    ASSERT_TRUE(db.QueryText(u"PRAGMA journal_mode;", mode));
    EXPECT_EQ(LToUtf8(mode), "wal");
    int32_t sync = -1;
    ASSERT_TRUE(db.QueryInt(u"PRAGMA synchronous;", &sync));
    EXPECT_EQ(sync, 1);  // NORMAL
    EXPECT_EQ(std::u16string(db.GetDatabaseName()), u"main");
}

TEST_F(Database, EmptyAndNullResults) {
    LAppDatabaseAccount db(false);
    ASSERT_TRUE(db.Exec(u"CREATE TABLE T(A INTEGER, B TEXT);"));
    ASSERT_TRUE(db.Exec(u"INSERT INTO T VALUES (NULL, NULL);"));

    int32_t n = 42;
    EXPECT_TRUE(db.QueryInt(u"SELECT A FROM T WHERE A = 7;", &n));
    EXPECT_EQ(n, 0);
    n = 42;
    EXPECT_TRUE(db.QueryInt(u"SELECT A FROM T;", &n));
    EXPECT_EQ(n, 0);
    char16_t text[260] = u"stale";
    EXPECT_TRUE(db.QueryText(u"SELECT B FROM T WHERE 0;", text));
    EXPECT_EQ(text[0], 0);

    LAppDatabaseCursor none;
    none.Query(db, u"SELECT * FROM T WHERE 0;");
    EXPECT_EQ(none.column_count, 0u);
    EXPECT_TRUE(none.columns.empty());

    LAppDatabaseCursor c;
    LAppDatabaseCursor::OpenF(c, db, u"SELECT B, A FROM T;");
    ASSERT_EQ(c.column_count, 2u);
    EXPECT_EQ(LToUtf8(c.columns[0].name), "B");
    EXPECT_EQ(c.columns[0].type, SQLITE_NULL);
    c.GetColumnText(0, u"default", text);
    EXPECT_EQ(LToUtf8(text), "default");
    EXPECT_EQ(c.Step(), SQLITE_DONE);
    EXPECT_EQ(c.column_count, 0u);

    // A failing statement reports false, not a value.
    EXPECT_FALSE(db.QueryInt(u"SELECT nonsense FROM nowhere;", &n));
    char16_t err[260];
    db.GetLastErrorText(err);
    EXPECT_NE(LToUtf8(err).find("no such table"), std::string::npos);
}

TEST_F(Database, QuotedTextsAndCutFields) {
    LAppDatabaseAccount db(false);
    ASSERT_TRUE(db.Exec(u"CREATE TABLE T(ID TEXT, V TEXT);"));
    std::u16string evil = u"x'); DROP TABLE T; --";
    ASSERT_TRUE(db.ExecF(u"INSERT INTO T VALUES ('%Q', '%Q');", evil.c_str(), std::u16string(300, u'\u00E9').c_str()));
    EXPECT_TRUE(db.TableExists(u"T"));

    LAppDatabaseCursor c;
    c.QueryF(db, u"SELECT ID, V FROM T WHERE ID = '%Q';", evil.c_str());
    ASSERT_TRUE(c.HasRow());
    char16_t v[260];
    c.GetColumnText(1, u"", v);
    EXPECT_EQ(std::u16string(v).size(), 259u);
    LString whole;
    c.GetColumnString(1, whole);
    EXPECT_EQ(whole.length, 300u);
}

TEST_F(Database, SchemaHelpers) {
    LAppDatabaseAccount db(false);
    ASSERT_TRUE(db.Exec(u"CREATE TABLE T(A INTEGER);"));
    EXPECT_TRUE(db.ColumnExists(u"T", u"A"));
    EXPECT_FALSE(db.ColumnExists(u"T", u"a"));  // exact, case-sensitive
    EXPECT_TRUE(db.AddColumnIfMissing(u"main", u"T", u"B", u"B TEXT"));
    EXPECT_TRUE(db.ColumnExists(u"T", u"B"));
    // An existing column runs no ALTER TABLE, which would fail.
    EXPECT_TRUE(db.AddColumnIfMissing(u"main", u"T", u"B", u"B TEXT"));

    db.EnsureTable(u"E", u"CREATE TABLE %s.E(X);");
    EXPECT_TRUE(db.TableExists(u"E"));
    db.EnsureTable(u"E", u"CREATE TABLE %s.E(X);");  // second time: nothing
    EXPECT_TRUE(db.TableExistsInSchema(u"main", u"E"));

    db.CreateRegisteredTables();
    EXPECT_TRUE(db.TableExists(u"APPSETTINGS"));
    ASSERT_TRUE(db.Exec(u"INSERT INTO APPSETTINGS VALUES ('S', 'I', 'V', '');"));
    db.CreateRegisteredTables();  // changes nothing
    int32_t rows = 0;
    ASSERT_TRUE(db.QueryInt(u"SELECT COUNT(*) FROM APPSETTINGS;", &rows));
    EXPECT_EQ(rows, 1);
}

TEST_F(Database, ReadOnlyAndNeverOpened) {
    { LAppDatabaseAccount make(false); }
    LAppDatabaseAccount ro(true);
    ASSERT_NE(ro.handle, nullptr);
    EXPECT_FALSE(ro.Exec(u"CREATE TABLE X(A);"));

    LAppDatabaseAccount never(LAppDatabaseAccount::Deferred{}, false);
    EXPECT_EQ(never.handle, nullptr);
    char16_t err[260];
    never.GetLastErrorText(err);
    EXPECT_EQ(LToUtf8(err), "Database not open");
    int32_t n;
    EXPECT_FALSE(never.Exec(u"SELECT 1;"));
    EXPECT_FALSE(never.QueryInt(u"SELECT 1;", &n));
    EXPECT_FALSE(never.TableExists(u"APPSETTINGS"));
    LAppDatabaseCursor c;
    c.Query(never, u"SELECT 1;");
    EXPECT_EQ(c.column_count, 0u);
}

TEST_F(Database, FailedOpenKeepsTheErrorAndClosesOnce) {
    LAppDatabaseAccount db(LAppDatabaseAccount::Deferred{}, false);
    std::u16string missing = LFromUtf8(root.Path() + "/no/such/folder/x.db").c_str();
    EXPECT_FALSE(db.Open(missing.c_str(), false));
    char16_t err[260];
    db.GetLastErrorText(err);
    EXPECT_NE(LToUtf8(err), "Database not open");
    db.Close();
    db.Close();  // closing twice is harmless; the destructor closes nothing more
}

}  // namespace

namespace {

size_t OpenDescriptors() {
    size_t n = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator("/proc/self/fd")) ++n;
    return n;
}

class KeptHandles : public ::testing::Test {
protected:
    LTestRoot root;
};

TEST_F(KeptHandles, AThreadThatKeepsReusesItsHandleAsGoodAsNew) {
    { LAppDatabaseAccount make(false); ASSERT_TRUE(make.Exec(u"CREATE TABLE T(A);")); }
    size_t before = OpenDescriptors();
    {
        LDatabaseHandleKeeper keep;
        sqlite3* first;
        {
            LAppDatabaseAccount db(false);
            first = db.handle;
            // An operation that ends inside its transaction...
            ASSERT_TRUE(db.Exec(u"BEGIN IMMEDIATE; INSERT INTO T VALUES (1);"));
        }
        LAppDatabaseAccount again(false);
        EXPECT_EQ(again.handle, first);
        // ...leaves nothing behind for the next one.
        EXPECT_EQ(sqlite3_get_autocommit(again.handle), 1);
        int32_t rows = -1;
        ASSERT_TRUE(again.QueryInt(u"SELECT COUNT(*) FROM T;", &rows));
        EXPECT_EQ(rows, 0);
        // A read-only accessor is another kind of handle.
        LAppDatabaseAccount ro(true);
        EXPECT_NE(ro.handle, first);
        EXPECT_FALSE(ro.Exec(u"INSERT INTO T VALUES (2);"));
    }
    // The keeper's end closes what its thread kept.
    EXPECT_EQ(OpenDescriptors(), before);
}

TEST_F(KeptHandles, AFileMadeAnewIsNotServedByAnOldHandle) {
    LDatabaseHandleKeeper keep;
    std::string path = root.DataFolder() + "/main.db";
    { LAppDatabaseAccount db(false); ASSERT_TRUE(db.Exec(u"CREATE TABLE Old(A);")); }
    for (const char* suffix : {"", "-wal", "-shm"}) std::filesystem::remove(path + suffix);
    LAppDatabaseAccount db(false);
    EXPECT_FALSE(db.TableExists(u"Old"));
    ASSERT_TRUE(db.Exec(u"CREATE TABLE New(A);"));
}

TEST_F(KeptHandles, WithoutAKeeperEveryCloseCloses) {
    { LAppDatabaseAccount make(false); }
    size_t before = OpenDescriptors();
    {
        LAppDatabaseAccount db(false);
        EXPECT_GT(OpenDescriptors(), before);
    }
    EXPECT_EQ(OpenDescriptors(), before);
}

}  // namespace
