// The start delay: its steps, its setting and the manual start that skips it.
#include <gtest/gtest.h>

#include "foundation/reg_settings.h"
#include "host/service_main.h"
#include "tests/support/test_root.h"

TEST(ServiceDelay, StepsOf200Ms) {
    struct Case {
        int64_t delay;
        uint32_t steps;
    };
    const Case cases[] = {{1000, 5}, {1001, 6}, {1, 1}, {200, 1}, {201, 2}, {0, 0}, {-5, 0}, {60000, 300}};
    for (const Case& c : cases) EXPECT_EQ(LServiceDelaySteps(c.delay), c.steps) << c.delay;
}

TEST(ServiceDelay, MissingDelayIsOneSecond) {
    LTestRoot root;
    EXPECT_EQ(LServiceReadDelay(), 1000);
}

TEST(ServiceDelay, OnlyAManualStartSkipsIt) {
    char manual[] = "-manual";
    char other[] = "-other";
    char* one[] = {manual};
    char* two[] = {manual, other};
    char* upper[] = {other};
    EXPECT_TRUE(LServiceIsManualStart(1, one));
    EXPECT_FALSE(LServiceIsManualStart(2, two));
    EXPECT_FALSE(LServiceIsManualStart(1, upper));
    EXPECT_FALSE(LServiceIsManualStart(0, nullptr));
}
