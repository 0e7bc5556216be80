// Diagnostic records: the address walk, which hive's record a report
// carries, the thread name, and a query cut that still decodes.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <thread>

#include "foundation/log.h"
#include "foundation/reg_settings.h"
#include "foundation/thread_table.h"
#include "foundation/json_value.h"
#include "host/call_stack.h"
#include "tests/support/test_root.h"
#include "web/http/db_table.h"

namespace {

__attribute__((noinline)) std::vector<uintptr_t> Deep(int n) {
    if (n == 0) return LCallStackAddresses();
    std::vector<uintptr_t> v = Deep(n - 1);
    asm volatile("" ::: "memory");  // keeps the call from becoming a jump
    return v;
}

TEST(CallStack, ADeepStackGivesSixAddresses) {
    std::vector<uintptr_t> a = Deep(20);
    ASSERT_EQ(a.size(), 6u);
    std::string text = LCallStackAddressText(a);
    EXPECT_EQ(std::count(text.begin(), text.end(), '-'), 5);
    // The innermost return address lies in Deep itself (its call of the walk).
    uintptr_t deep = reinterpret_cast<uintptr_t>(&Deep);
    EXPECT_GT(a[0], deep);
    EXPECT_LT(a[0], deep + 512);
    EXPECT_EQ(a[1], a[2]);  // the recursion returns to one place
}

TEST(CallStack, TheNewerRecordWinsAndAnUnlistedThreadIsUnnamed) {
    LTestRoot root;
    EXPECT_EQ(LDebugGetCallStackQuery(), "");
    LSetServiceFlag(true);
    std::thread([] { LDebugSaveCallStack("service side"); }).join();
    LSetServiceFlag(false);
    std::string q = LDebugGetCallStackQuery();
    EXPECT_EQ(q.rfind("id=service%20side&th=Unnamed&cs=", 0), 0u) << q;

    LRegSettingsSet(u"RDF", u"Time", u"100");
    LThreadRegister("DESK");
    LDebugSaveCallStack("");
    LThreadUnregister();
    q = LDebugGetCallStackQuery();
    EXPECT_EQ(q.rfind("id=Unknown&th=DESK&cs=", 0), 0u) << q;
    LRegUserSettingsSet(u"RDF", u"Time", u"50");
    EXPECT_EQ(LDebugGetCallStackQuery().rfind("id=service", 0), 0u);
}

TEST(CallStack, CutsBetweenWholeCharacters) {
    struct Case {
        const char* text;
        size_t max, cut;
    } cases[] = {
        {"ab%C3%A9cd", 100, 10}, {"ab%C3%A9cd", 8, 8}, {"ab%C3%A9cd", 7, 2},
        {"ab%C3%A9cd", 5, 2},    {"ab%C3%A9cd", 4, 2}, {"a%E2%82%ACb", 10, 10},
        {"a%E2%82%ACb", 9, 1},   {"%41%42", 5, 3},     {"abc", 2, 2},
    };
    for (const Case& c : cases) EXPECT_EQ(LUrlEncodedCut(c.text, c.max), c.cut) << c.text << " " << c.max;

    LTestRoot root;
    std::u16string id(200, u'\u00e9');
    LRegUserSettingsSet(u"RDF", u"ID", id.c_str());
    LRegUserSettingsSet(u"RDF", u"Time", u"1");
    std::string q = LDebugGetCallStackQuery();
    EXPECT_LE(q.size(), 259u);
    EXPECT_EQ(q.size(), 255u);  // "id=" and 42 whole characters, six escaped bytes each
}

TEST(CallStack, TheLowerLayersRecordThroughTheHook) {
    LTestRoot root;
    // A table write for a table nobody registered: a failure worth a record.
    LJsonValue body;
    ASSERT_EQ(body.Parse(R"({"table":"no_such_table","cmd":"INSERT","key":"k","data":{}})"), 0u);
    LAppDatabaseAccount db(false);
    LWebDbTableResult result;
    std::string key;
    _LWebDbTableWrite(body, db, result, key);
    std::string q = LDebugGetCallStackQuery();
    EXPECT_EQ(q.rfind("id=DbTableWrite&th=", 0), 0u) << q;
    EXPECT_NE(q.find("&cs="), std::string::npos);
    EXPECT_GT(q.size(), q.find("&cs=") + 4) << "the record holds the caller's addresses";
}

}  // namespace
