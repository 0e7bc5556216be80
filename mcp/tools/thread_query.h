#pragma once
// One get_thread or get_thread_compact call: the anchor (a stored message
// or a subject), its scope and window, and the candidate scan.
#include <cstdint>

#include "foundation/database.h"
#include "foundation/json_value.h"
#include "foundation/json_writer.h"
#include "foundation/lstring.h"
#include "mcp/tools/structured_search.h"

// A windowed scan reads at most this many candidates; a wider window is
// answered from its first ones with "truncated":true.
constexpr int32_t LMcpThreadScanBound = 20000;

struct LMcpThreadQuery {
    char16_t email_id[260] = {};
    char16_t subject[260] = {};
    char16_t normalized_subject[260] = {};
    char16_t account_id[260] = {};
    char16_t mailbox_id[260] = {};
    char16_t mailbox_name[260] = {};
    bool mailbox_given = false;
    LString message_id, thread_id, in_reply_to, references;
    LMcpTimeWindow window;
    int32_t limit = 50;
    bool match_subjects = true;
    bool anchor_time_known = false;
    int64_t anchor_utc = 0;
};

// Reads and checks the thread arguments and loads the anchor; on failure
// the tool error is written and the result is false.
bool LMcpFindMessages(LJsonWriter& answer, LAppDatabaseAccount& db, const LJsonValue& args, const char16_t* tool,
                      LMcpThreadQuery& q);
// The candidate statement for the columns and order (a windowed one asks
// for one row more than the scan bound).
void LMcpBuildThreadCandidatesSql(const char16_t* columns, const LMcpThreadQuery& q, const char16_t* order,
                                  LString& sql);
// Whether a candidate belongs to the anchor's thread; its normalised
// subject is left in normalized.
bool LMcpIsThreadMember(const LMcpThreadQuery& q, const char16_t* subject, const char16_t* thread_id,
                        const char16_t* message_id, const char16_t* in_reply_to, const char16_t* references,
                        char16_t normalized[260]);
// The members after "emails"/"messages": the query echo both tools share,
// with "order" after the subjects when given.
void LMcpWriteThreadQuery(LJsonWriter& json, const LMcpThreadQuery& q, const char16_t* order);
