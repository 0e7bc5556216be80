#pragma once
// The conversations of list_recent_threads, grouped in memory: a summary
// keeps its newest message's fields and gathers its members' identifiers
// and participants.
#include <cstdint>
#include <string>
#include <vector>

// The reference text and the participant list are bounded so that one
// conversation with hostile headers cannot make every link test slow.
constexpr size_t LMcpThreadReferenceChars = 16384;
constexpr size_t LMcpThreadParticipantsMax = 100;

// The short fields of a message, each at most 259 characters.
struct LMcpThreadFields {
    char16_t id[260] = {};
    char16_t account_id[260] = {};
    char16_t mailbox_id[260] = {};
    char16_t mailbox_name[260] = {};
    char16_t normalized_subject[260] = {};
    char16_t from[260] = {};
    char16_t to[260] = {};
    char16_t flags[260] = {};
};

// One scanned message; the texts belong to the caller.
struct LMcpThreadRow {
    LMcpThreadFields f;
    const char16_t* subject = u"";
    const char16_t* preview = u"";
    const char16_t* message_id = u"";
    const char16_t* thread_id = u"";
    const char16_t* in_reply_to = u"";
    const char16_t* references = u"";
    int64_t received_utc = 0;
};

struct LMcpThreadSummary {
    LMcpThreadFields f;  // of the newest message
    std::u16string subject, preview, message_id, thread_id, in_reply_to;
    int64_t received_utc = 0;
    std::u16string references;  // space-separated identifiers of the members
    std::vector<std::u16string> participants;
    int64_t message_count = 0;
};

// A new summary from its first (newest) message.
void LMcpThreadSummaryInit(LMcpThreadSummary& s, const LMcpThreadRow& row);
// Appends one trimmed identifier (or a whole References text) unless empty
// or already contained.
void LMcpThreadAddReferences(LMcpThreadSummary& s, const char16_t* value);
// Appends the entries of an address text, split at "," and ";".
void LMcpThreadAddParticipants(LMcpThreadSummary& s, const char16_t* text);
// Whether the row belongs to the summary: same account, and linked through
// identifiers or equal normalised subjects.
bool LMcpThreadJoins(const LMcpThreadSummary& s, const LMcpThreadRow& row);
// Adds an older member to the summary.
void LMcpThreadJoin(LMcpThreadSummary& s, const LMcpThreadRow& row);
