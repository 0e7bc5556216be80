#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "foundation/named_mutex.h"
#include "foundation/task_progress.h"
#include "tests/support/test_root.h"

namespace {

std::string SelfPath() { return std::filesystem::read_symlink("/proc/self/exe").string(); }

bool Exists(const std::string& p) { return std::filesystem::exists(p); }

// Runs in a second process started by the tests below: takes the mutex,
// says so with a marker file, and holds it until told to let go (or killed).
TEST(NamedMutexChild, HoldUntilReleased) {
    const char* name = std::getenv("PORLINEX_MUTEX_CHILD");
    if (!name) GTEST_SKIP() << "only run as the second process of the named-mutex tests";
    std::u16string wide(name, name + std::strlen(name));
    LNamedMutex m(wide.c_str());
    ASSERT_TRUE(m.Lock(10000));
    const std::string root = std::getenv("PORLINEX_ROOT");
    std::ofstream(root + "/held") << "1";
    ASSERT_TRUE(LTestWaitFor(30000, [&] { return Exists(root + "/release"); }));
}

class NamedMutexTest : public ::testing::Test {
protected:
    LTestProcess StartHolder(const char* name) {
        return LTestProcess({SelfPath(), "--gtest_filter=NamedMutexChild.HoldUntilReleased"},
                            {std::string("PORLINEX_MUTEX_CHILD=") + name});
    }
    LTestRoot root;
};

TEST_F(NamedMutexTest, SecondProcessWaitsUntilTheFirstLetsGo) {
    LTestProcess holder = StartHolder("Global\\zlib1x64");
    ASSERT_TRUE(LTestWaitFor(10000, [&] { return Exists(root.Path() + "/held"); }));
    LNamedMutex m(u"Global\\zlib1x64");
    EXPECT_FALSE(m.Lock(0));
    EXPECT_FALSE(m.Lock(30));
    EXPECT_FALSE(m.IsHeld());
    std::ofstream(root.Path() + "/release") << "1";
    EXPECT_TRUE(m.Lock(LInfinite));
    EXPECT_EQ(holder.Wait(10000), 0);
    EXPECT_TRUE(Exists(root.Path() + "/run/porlinex/zlib1x64.lock"));
}

TEST_F(NamedMutexTest, MutexOfAKilledProcessCanBeTaken) {
    LTestProcess holder = StartHolder("Global\\Abandoned");
    ASSERT_TRUE(LTestWaitFor(10000, [&] { return Exists(root.Path() + "/held"); }));
    LNamedMutex m(u"Global\\Abandoned");
    EXPECT_FALSE(m.Lock(0));
    holder.Signal(SIGKILL, 10000);
    EXPECT_TRUE(m.Lock(10000));
}

TEST_F(NamedMutexTest, UnlockLetsTheNextHolderInAndNamesStayFlat) {
    LNamedMutex a(u"Setup/../Instance"), b(u"Setup/../Instance");
    ASSERT_TRUE(a.Lock(0));
    EXPECT_FALSE(b.Lock(0));
    a.Unlock();
    EXPECT_TRUE(b.Lock(0));
    char path[4096];
    ASSERT_TRUE(LNamedMutex::LockFilePath(u"Setup/../Instance", path));
    EXPECT_EQ(std::string(path), root.Path() + "/run/porlinex/Setup_.._Instance.lock");
    LNamedMutex empty(u"");
    EXPECT_FALSE(empty.Lock(0));
}

}  // namespace
