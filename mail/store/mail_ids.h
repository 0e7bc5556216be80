#pragma once
// The keys that the mail services make for their rows (mailboxes, messages,
// attachments, autoresponder sends): 10 random lower-case letters, drawn
// again while the table already has a row with that ID.
#include <cstddef>

#include "foundation/database.h"

constexpr int LEmailIdLength = 10;
constexpr int LEmailIdMaxDraws = 100;

using LEmailIdDraw = void (*)(char16_t* out, size_t n);

// A free ID of `table` (column ID) in out. False when every one of the 100
// draws was taken or the table could not be asked: a caller never gets an ID
// that another row holds. `draw` is for tests; by default the letters come
// from LRandomLowercase.
bool LEmailNewRowId(LAppDatabaseAccount& db, const char16_t* table, char16_t out[LEmailIdLength + 1],
                    LEmailIdDraw draw = nullptr);
