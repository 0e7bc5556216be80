#pragma once
// The synchronisation's own mark per mailbox, in EMAIL_MAILBOX_SYNC_STATE:
// the highest UID below which every message of the mailbox's UIDVALIDITY is
// stored (or was given up after repeated failures). It only ever moves over
// UIDs stored without a gap, so a message that failed is fetched again even
// when later ones were stored. Rows that merely carry a UID (a moved row, a
// sent copy) do not move it.
#include <cstdint>
#include <vector>

#include "foundation/database.h"

// The highest stored UID of the mailbox under the UIDVALIDITY; 0 when the
// mailbox row's stored UIDVALIDITY is another one.
uint32_t LEmailGetMaxUid(LAppDatabaseAccount& db, const char16_t* accountId, const char16_t* mailboxId,
                         uint32_t uidValidity);
// The mark for the server's UIDVALIDITY: 0 when the state row belongs to
// another UIDVALIDITY; a store without a state row starts from its highest
// stored UID.
uint32_t LMailSyncMarkGet(LAppDatabaseAccount& db, const char16_t* accountId, const char16_t* mailboxId,
                          uint32_t uidValidity);
bool LMailSyncMarkSet(LAppDatabaseAccount& db, const char16_t* mailboxId, uint32_t uidValidity, uint32_t uid);
// The UIDs above `above` that the mailbox already holds under the
// UIDVALIDITY, ascending.
std::vector<uint32_t> LMailSyncStoredUids(LAppDatabaseAccount& db, const char16_t* accountId,
                                          const char16_t* mailboxId, uint32_t uidValidity, uint32_t above);
// The UIDs of a SEARCH answer above `above`, ascending, each once; `tokens`
// counts every token of the answer.
std::vector<uint32_t> LMailSyncParseUids(const char* text, uint32_t above, int32_t& tokens);
