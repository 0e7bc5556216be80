// Split-test choices: found in the stored list by its token rules, decided
// once and kept, drawn from a pool refilled after 31 bits.
#include <gtest/gtest.h>

#include "foundation/reg_settings.h"
#include "setup/split_test.h"
#include "tests/support/test_root.h"

namespace {

TEST(SplitTest, FindsCodesInTheList) {
    const struct {
        const char* code;
        const char* list;
        bool found, on;
    } cases[] = {
        {"FG5h", "", false, false},
        {"FG5h", "FG5h", true, true},
        {"FG5h", "FG5t", true, false},  // the off form: 'h' + 12
        {"FG5h", "FG5tVhub", true, false},
        {"Vhub", "FG5tVhub", true, true},
        {"Gnke", "GnkeWKITControloff", true, true},
        {"WKITControl", "GnkeWKITControloff", true, false},
        {"WKITControl", "WKITControlon", true, true},
        {"WKITSpltxtfade", "WKITControlonWKITSpltxtfadeoff", true, false},
        {"YZwa", "FG5hGnke", false, false},
        {"FG5h", "FG5x", false, false},  // neither form
    };
    for (const auto& c : cases) {
        bool on = false;
        EXPECT_EQ(LSplitTestFind(c.code, c.list, on), c.found) << c.code << " in " << c.list;
        if (c.found) {
            EXPECT_EQ(on, c.on) << c.code << " in " << c.list;
        }
    }
}

TEST(SplitTest, DecidedOnceAndKept) {
    LTestRoot root;
    bool first = LSplitTestIsOn("FG5h");
    EXPECT_EQ(LReadSplitTestList(), first ? "FG5h" : "FG5t");
    EXPECT_EQ(LSplitTestIsOn("FG5h"), first);
    bool control = LSplitTestPick("WKITControlon", "WKITControloff");
    EXPECT_EQ(LReadSplitTestList(), std::string(first ? "FG5h" : "FG5t") + (control ? "WKITControlon" : "WKITControloff"));
    EXPECT_EQ(LSplitTestPick("WKITControlon", "WKITControloff"), control);
    bool fade = LSplitTestIsOn("WKITSpltxtfade");
    EXPECT_EQ(LSplitTestIsOn("WKITSpltxtfade"), fade);
    // Both earlier choices still read back.
    bool on = false;
    ASSERT_TRUE(LSplitTestFind("FG5h", LReadSplitTestList(), on));
    EXPECT_EQ(on, first);
}

TEST(SplitTest, PoolRefilledAfterThirtyOneDraws) {
    LSplitTestDrawBit();
    while (LSplitTestDrawCount() != 31) LSplitTestDrawBit();
    LSplitTestDrawBit();
    EXPECT_EQ(LSplitTestDrawCount(), 1) << "the 32nd draw comes from a new pool";
    // The mix: 31 bits, the time, tick, name and numbers all taking part.
    int32_t base = LSplitTestMix(1700000000, 12345, "host", 1, 2, 3);
    EXPECT_GE(base, 0);
    EXPECT_NE(LSplitTestMix(1700000001, 12345, "host", 1, 2, 3), base);
    EXPECT_NE(LSplitTestMix(1700000000, 12346, "host", 1, 2, 3), base);
    EXPECT_NE(LSplitTestMix(1700000000, 12345, "hosu", 1, 2, 3), base);
    EXPECT_NE(LSplitTestMix(1700000000, 12345, "host", 1, 2, 4), base);
    EXPECT_EQ(LSplitTestMix(0, 0, "", 0, 0, 0xFFFF), 0x7FFF8000)
        << "r3's 16 bits land at bit 15";
}

}  // namespace
