#include "web/http/start_route.h"

#include <gtest/gtest.h>

namespace {

TEST(StartToken, AcceptsOnlyAFreshExactToken) {
    const char16_t* t = u"aB3dE5gH7jK9mN1pQ3sT5vW7yZ9bC1eF3hJ5kL7n";
    const int64_t now = 1796811072;
    struct Case {
        const char16_t* given;
        int64_t made;
        bool ok;
    } cases[] = {
        {t, now, true},
        {t, now - 300, true},
        {t, now - 301, false},
        {t, now + 1, false},  // a token from the future: the clock went back
        {t, 0, false},
        {u"AB3dE5gH7jK9mN1pQ3sT5vW7yZ9bC1eF3hJ5kL7n", now, false},
        {u"aB3dE5gH7jK9mN1pQ3sT5vW7yZ9bC1eF3hJ5kL7", now, false},
        {u"aB3dE5gH7jK9mN1pQ3sT5vW7yZ9bC1eF3hJ5kL7nX", now, false},
        {u"", now, false},
    };
    for (const Case& c : cases) EXPECT_EQ(LWebStartTokenAccepted(c.given, t, c.made, now), c.ok);
    EXPECT_FALSE(LWebStartTokenAccepted(u"", u"", now, now));
}

}  // namespace
