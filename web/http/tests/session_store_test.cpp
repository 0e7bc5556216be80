#include "web/http/session_store.h"

#include <gtest/gtest.h>

#include <latch>
#include <string>
#include <thread>

#include "foundation/time_source.h"
#include "foundation/utf8.h"
#include "tests/support/test_root.h"

namespace {

uint64_t g_tick = 1000;
uint64_t FakeTick() { return g_tick; }

class SessionStore : public ::testing::Test {
protected:
    void SetUp() override {
        LAppDatabaseAccount db(false);
        ASSERT_TRUE(db.Exec(u"CREATE TABLE main.SESSION_DATA(ID CHAR(40) PRIMARY KEY NOT NULL, USER_EMAIL "
                            u"VARCHAR(260), ACCOUNT_NAME VARCHAR(20), LAST_ACTIVE VARCHAR(14));"));
        request_db.Open(request_db.path, false);
        session.db = &request_db;
        session.db_open = true;
    }
    void TearDown() override { LSetTickFuncForTests(nullptr); }

    std::string Column(const std::u16string& id, const char16_t* column) {
        char16_t out[260] = {0};
        LString sql;
        sql.Format(u"SELECT %s FROM main.SESSION_DATA WHERE ID = '%Q';", column, id.c_str());
        request_db.QueryText(sql.c_str(), out);
        return LToUtf8(out);
    }
    std::string Today() {
        char16_t d[260];
        LWebLocalDateText(LNow(), d);
        return LToUtf8(d);
    }
    std::u16string Insert(const char16_t* id, int64_t days_ago, const char16_t* account = u"main") {
        char16_t date[260];
        LWebLocalDateText(LNow() - days_ago * 86400, date);
        request_db.ExecF(u"INSERT INTO main.SESSION_DATA VALUES ('%Q', 'local', '%Q', '%s');", id, account, date);
        return id;
    }

    LTestRoot root;
    LAppDatabaseAccount request_db{LAppDatabaseAccount::Deferred{}, false};
    LWebletSessionDataDBBased session;
};

TEST_F(SessionStore, NewSessionRowAndItsLoad) {
    ASSERT_TRUE(session.CreateNewSession());
    std::u16string id = session.session_id;
    ASSERT_EQ(id.size(), 18u);
    for (size_t i = 10; i < 18; ++i) EXPECT_TRUE(id[i] >= u'a' && id[i] <= u'z');
    EXPECT_EQ(Column(id, u"USER_EMAIL"), "local");
    EXPECT_EQ(Column(id, u"ACCOUNT_NAME"), "main");
    EXPECT_EQ(Column(id, u"LAST_ACTIVE"), Today());

    LWebletSessionDataDBBased other;
    other.db = &request_db;
    other.db_open = true;
    EXPECT_TRUE(other.LoadSession(id.c_str()));
    EXPECT_EQ(std::u16string(other.GetLoggedOnUser()), u"local");
    EXPECT_FALSE(other.LoadSession(u""));
    EXPECT_FALSE(other.HasSession());
}

// A load that read the row just before another request deleted it must not
// put the deleted session into the cache, where it would go on loading.
TEST_F(SessionStore, DeleteRacingALoadLeavesNoSession) {
    for (int round = 0; round < 300; ++round) {
        char16_t id[32];
        LFormatEscPathW(id, u"race%dabcdefghijk", round);
        Insert(id, 0);
        std::latch start(2);
        std::thread load([&] {
            LAppDatabaseAccount db(false);
            char16_t user[260], account[260], last[260];
            start.arrive_and_wait();
            LWebletSessionCacheLookup(db, id, user, account, last);
        });
        std::thread remove([&] {
            LAppDatabaseAccount db(false);
            LWebletSessionDataDBBased deleting;
            deleting.db = &db;
            deleting.db_open = true;
            LCopyField(deleting.session_id, id);
            start.arrive_and_wait();
            deleting.DeleteSession();
        });
        load.join();
        remove.join();
        char16_t user[260], account[260], last[260];
        ASSERT_FALSE(LWebletSessionCacheLookup(request_db, id, user, account, last)) << "round " << round;
    }
}

TEST_F(SessionStore, DeletedSessionLeavesTheCacheAtOnce) {
    ASSERT_TRUE(session.CreateNewSession());
    std::u16string id = session.session_id;
    LWebletSessionDataDBBased loader;
    loader.db = &request_db;
    loader.db_open = true;
    ASSERT_TRUE(loader.LoadSession(id.c_str()));  // now cached
    loader.DeleteSession();
    EXPECT_FALSE(loader.HasSession());
    EXPECT_FALSE(loader.LoadSession(id.c_str()));
}

TEST_F(SessionStore, FailedInsertLeavesNoSession) {
    request_db.Exec(u"DROP TABLE main.SESSION_DATA;");
    EXPECT_FALSE(session.CreateNewSession());
    EXPECT_FALSE(session.HasSession());
    LWebletSessionDataDBBased closed;
    EXPECT_FALSE(closed.CreateNewSession());
}

TEST_F(SessionStore, CacheEntryLivesItsLifetime) {
    LSetTickFuncForTests(FakeTick);
    std::u16string id = Insert(u"0000000001abcdefgh", 0);
    char16_t user[260], account[260], last[260];
    ASSERT_TRUE(LWebletSessionCacheLookup(request_db, id.c_str(), user, account, last));
    request_db.ExecF(u"UPDATE main.SESSION_DATA SET USER_EMAIL = 'changed' WHERE ID = '%Q';", id.c_str());
    g_tick += LWebSessionCacheLifetimeMs;
    ASSERT_TRUE(LWebletSessionCacheLookup(request_db, id.c_str(), user, account, last));
    EXPECT_EQ(std::u16string(user), u"local");
    g_tick += 1;
    ASSERT_TRUE(LWebletSessionCacheLookup(request_db, id.c_str(), user, account, last));
    EXPECT_EQ(std::u16string(user), u"changed");
}

TEST_F(SessionStore, RefreshRuleRewritesStaleAndFutureDates) {
    struct Case {
        const char16_t* id;
        int64_t days_ago;
        bool rewritten;
    } cases[] = {
        {u"0000000002aaaaaaaa", 8, true},
        {u"0000000003aaaaaaaa", 0, false},
        {u"0000000004aaaaaaaa", 6, false},
        {u"0000000005aaaaaaaa", -2, true},
    };
    for (const Case& c : cases) {
        std::u16string id = Insert(c.id, c.days_ago);
        std::string before = Column(id, u"LAST_ACTIVE");
        ASSERT_TRUE(session.LoadSession(id.c_str()));
        std::string after = Column(id, u"LAST_ACTIVE");
        if (c.rewritten) {
            EXPECT_EQ(after, Today());
        } else {
            EXPECT_EQ(after, before);
        }
    }
}

TEST_F(SessionStore, BlankAccountDoesNotLoad) {
    std::u16string id = Insert(u"0000000006aaaaaaaa", 0, u"");
    EXPECT_FALSE(session.LoadSession(id.c_str()));
}

TEST_F(SessionStore, ExpiredRowsGoTheCutOffStays) {
    Insert(u"0000000007aaaaaaaa", 183);
    Insert(u"0000000008aaaaaaaa", 184);
    LWebletSessionDataDBBased::DeleteExpiredSessionData(request_db);
    EXPECT_EQ(Column(u"0000000007aaaaaaaa", u"ID"), "0000000007aaaaaaaa");
    EXPECT_EQ(Column(u"0000000008aaaaaaaa", u"ID"), "");
}

}  // namespace
