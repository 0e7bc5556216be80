// What a SEARCH answer yields: the UIDs to fetch, ascending and once each,
// and the count of every token for the progress.
#include <gtest/gtest.h>

#include "mail/sync/sync_mark.h"

TEST(SyncUids, SearchAnswersBecomeTheUidsToFetch) {
    struct Case {
        const char* text;
        uint32_t above;
        std::vector<uint32_t> uids;
        int32_t tokens;
    } cases[] = {
        {"", 0, {}, 0},
        {"3 1 2", 0, {1, 2, 3}, 3},
        {"7", 9, {}, 1},  // "UID 10:*" answers the highest UID even below 10
        {" 5\t5  6\r\n", 4, {5, 6}, 3},
        {"4294967295 4294967296 12x 0", 0, {4294967295u}, 4},
        {"99999999999999999999 8", 0, {8}, 2},
    };
    for (const Case& c : cases) {
        int32_t tokens = -1;
        EXPECT_EQ(LMailSyncParseUids(c.text, c.above, tokens), c.uids) << c.text;
        EXPECT_EQ(tokens, c.tokens) << c.text;
    }
}
