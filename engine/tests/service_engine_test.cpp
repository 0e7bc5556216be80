#include <gtest/gtest.h>
#include <signal.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "engine/service_engine.h"
#include "foundation/database.h"
#include "foundation/utf8.h"
#include "tests/support/test_root.h"

namespace {

// Every activity line written under the root so far.
std::string ActivityLines(const LTestRoot& root) {
    std::string all;
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(root.DataFolder() + "/Logs", ec))
        if (e.path().extension() == ".csv") all += LTestReadFile(e.path());
    return all;
}

size_t Count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

std::string Schema() {
    LAppDatabaseAccount db(true);
    LAppDatabaseCursor c;
    c.Query(db, u"SELECT group_concat(sql, ';') FROM sqlite_master;");
    LString s;
    c.GetColumnString(0, s);
    return LToUtf8(s);
}

// Runs `porlinex -service` on the root until it has started, then SIGTERM;
// returns its exit code.
int RunServiceOnce(const LTestRoot& root) {
    size_t started = Count(ActivityLines(root), "Application started");
    LTestProcess service({LTestProgramPath(), "-service"}, {"PORLINEX_ROOT=" + root.Path()});
    EXPECT_TRUE(LTestWaitFor(10000, [&] { return Count(ActivityLines(root), "Application started") > started; }));
    return service.Signal(SIGTERM, 10000);
}

TEST(ServiceProgram, FreshStartCreatesTheTablesAndStopsCleanly) {
    LTestRoot root;
    ASSERT_EQ(RunServiceOnce(root), 0);

    {
        LAppDatabaseAccount db(true);
        for (const char16_t* t : {u"SESSION_DATA", u"APPSETTINGS", u"SSL_SETTINGS"}) EXPECT_TRUE(db.TableExists(t));
        char16_t mode[260];
        ASSERT_TRUE(db.QueryText(u"PRAGMA journal_mode;", mode));
        EXPECT_EQ(LToUtf8(mode), "wal");
    }
    std::string csv = ActivityLines(root);
    EXPECT_EQ(Count(csv, "Application started"), 1u);
    EXPECT_EQ(Count(csv, "Application stopped"), 1u);

    // A second start on the same data changes nothing in the schema.
    std::string before = Schema();
    ASSERT_EQ(RunServiceOnce(root), 0);
    EXPECT_EQ(Schema(), before);
}

// Records the commands passed down the chain.
class Recorder : public LPipeCommandHandler {
public:
    int calls = 0;
    uint64_t OnCommand(uint32_t, const void*, uint32_t) override {
        ++calls;
        return 77;
    }
};

TEST(ServiceEngine, CommandsConsumedOrPassedOn) {
    LTestRoot root;
    Recorder next;
    LServiceEngine engine(&next);
    struct {
        uint32_t type;
        bool passed;
    } cases[] = {{1, false}, {2, false}, {0x1000004, true}, {0x1000005, true}, {0x1000006, true}, {0x42, true}};
    for (const auto& c : cases) {
        next.calls = 0;
        uint64_t r = engine.OnCommand(c.type, nullptr, 0);
        EXPECT_EQ(next.calls, c.passed ? 1 : 0) << c.type;
        EXPECT_EQ(r, c.passed ? 77u : 0u) << c.type;
    }
}

struct Reply {
    static inline uint32_t id;
    static inline bool ok;
    static inline std::string first, second;
    static bool Hook(uint32_t i, bool o, const char* f, const char* s) {
        id = i;
        ok = o;
        first = f;
        second = s;
        return true;
    }
};

TEST(ServiceEngine, DesktopReplyNeedsTheExactBlock) {
    LTestRoot root;
    LServiceEngine engine;
    LServiceEngineSetDesktopReplyHook(&Reply::Hook);
    std::string block(LDesktopReplySize, 'A');  // texts without terminators
    uint32_t id = 9, ok = 1;
    memcpy(block.data(), &id, 4);
    memcpy(block.data() + 4, &ok, 4);
    Reply::id = 0;
    engine.OnCommand(2, block.data(), LDesktopReplySize - 1);
    EXPECT_EQ(Reply::id, 0u);  // wrong length: dropped
    engine.OnCommand(2, block.data(), LDesktopReplySize);
    EXPECT_EQ(Reply::id, 9u);
    EXPECT_TRUE(Reply::ok);
    EXPECT_EQ(Reply::first.size(), 255u);  // terminated inside its field
    EXPECT_EQ(Reply::second.size(), 8191u);
    LServiceEngineSetDesktopReplyHook(nullptr);
}

}  // namespace
