#pragma once
// The keyset cursor of the listings: the (RECEIVED_UTC, ID) of the last
// message of a page, so a next page starts right after it however much mail
// arrives in between.
#include <cstdint>

#include "foundation/json_value.h"
#include "foundation/json_writer.h"

struct LMcpMessageCursor {
    bool present = false;
    int64_t received_utc = 0;  // never negative
    char16_t email_id[260] = {};
};

// The "cursor" argument: true with an absent cursor when it is missing,
// true with the cursor when valid, false when invalid. received_utc is a
// non-negative integer number or a string of decimal digits that fits 64
// bits; email_id a string, non-empty after trimming, of at most 259
// characters (a cut ID would skip or repeat rows).
bool LMcpMessageCursorParse(const LJsonValue& args, LMcpMessageCursor& cursor);
// "next_cursor":{"received_utc":"<n>","email_id":"<id>"}.
void LMcpMessageCursorWrite(LJsonWriter& json, int64_t received_utc, const char16_t* email_id);
