#include "mcp/tools/tool_catalogue.h"

#include <cstring>
#include <iterator>

#include "mcp/tools/tool_framework.h"

namespace {

using K = LMcpArgKind;
using E = LMcpToolEffect;

// Argument descriptions that recur across tools.
constexpr const char* kAccountFilter = "Optional Porlinex account ID filter.";
constexpr const char* kAccountEmail =
    "Optional Porlinex account email address, used to look up account_id when it is not already known. Ignored "
    "when account_id is given.";
constexpr const char* kMailboxId = "Optional Porlinex mailbox ID from list_mailboxes.";
constexpr const char* kMailboxName = "Optional IMAP mailbox name, for example INBOX or Archive.";
constexpr const char* kAfter = "Optional inclusive lower bound for RECEIVED_UTC Unix seconds.";
constexpr const char* kBefore = "Optional inclusive upper bound for RECEIVED_UTC Unix seconds.";
constexpr const char* kIncludeBody =
    "Optional false-by-default flag to include cached BODY_TEXT and BODY_HTML in each returned row.";
constexpr const char* kEmailId = "Porlinex email ID returned by search_mail.";
constexpr const char* kTimeout = "Optional wait in milliseconds. Defaults to 30000; at most 120000.";
constexpr const char* kCursor = "Optional next_cursor returned by a previous call using the same filters and ordering.";
constexpr const char* kActionBox = "Optional Porlinex mailbox ID to move the handled email into afterwards.";
constexpr const char* kActionBoxName = "Optional IMAP mailbox name to move the handled email into afterwards.";
constexpr const char* kSendAccount =
    "Porlinex account ID to send from. account_id or account_email is required.";
constexpr const char* kSendAccountEmail =
    "Porlinex account email address to send from, used when account_id is not given. account_id or account_email "
    "is required.";

constexpr LMcpArgInfo kListMailboxes[] = {
    {"account_id", K::Text, "Optional Porlinex account ID from list_accounts."},
    {"account_email", K::Text, kAccountEmail},
    {"refresh", K::Boolean,
     "Optional, false by default. Forces a fresh IMAP mailbox LIST before returning rows; requires account_id."},
    {"timeout_ms", K::Integer, kTimeout},
};
constexpr LMcpArgInfo kDownloadWait[] = {
    {"account_id", K::Text,
     "Optional Porlinex account ID from list_accounts. When omitted, wait across all active accounts."},
    {"account_email", K::Text, kAccountEmail},
    {"mailbox_id", K::Text,
     "Optional Porlinex mailbox ID from list_mailboxes: refresh and wait only for that mailbox instead of the whole "
     "account."},
    {"timeout_ms", K::Integer, kTimeout},
};
constexpr LMcpArgInfo kSearchMail[] = {
    {"query", K::Text,
     "Search words. Words match as whole words or word prefixes and all must match; use double quotes for an exact "
     "phrase, -word to exclude a word, and OR between words for either.",
     true},
    {"sort", K::Text, "Optional order: newest (default), oldest, or relevance. relevance needs the full text index "
                      "and otherwise acts as newest."},
    {"offset", K::Integer, "Optional number of results to skip. Defaults to 0; at most 5000."},
    {"account_id", K::Text, kAccountFilter},
    {"account_email", K::Text, kAccountEmail},
    {"mailbox_id", K::Text, kMailboxId},
    {"mailbox_name", K::Text, kMailboxName},
    {"limit", K::Integer, "Optional maximum number of results. Defaults to 10; at most 50."},
    {"scope", K::Text, "Optional columns to search: smart (default), headers, body, or all."},
};
constexpr LMcpArgInfo kAdvancedSearch[] = {
    {"account_id", K::Text, kAccountFilter},
    {"account_email", K::Text, kAccountEmail},
    {"mailboxes", K::TextArray,
     "Optional mailbox names from list_mailboxes, or internal mailbox IDs; a message in any of them matches."},
    {"from", K::Text, "Optional text matched in FROM_TEXT."},
    {"to", K::Text, "Optional text matched in TO_TEXT."},
    {"cc", K::Text, "Optional text matched in CC_TEXT."},
    {"subject", K::Text, "Optional text matched in SUBJECT."},
    {"body", K::Text,
     "Optional text matched across BODY_PREVIEW, BODY_TEXT and BODY_HTML: through the full text index as whole "
     "tokens or prefixes, with a substring scan as the fallback."},
    {"filename", K::Text, "Optional text that matches any part of any attachment's stored file name."},
    {"after_utc", K::Integer, kAfter},
    {"before_utc", K::Integer, kBefore},
    {"has_attachments", K::Boolean, "Optional true or false filter on HAS_ATTACHMENTS."},
    {"flags", K::TextArray, "Optional flag tokens that must all appear in FLAGS, for example \\\\Seen or \\\\Flagged."},
    {"limit", K::Integer, "Optional maximum number of results. Defaults to 25; at most 100."},
    {"offset", K::Integer, "Optional result offset after sorting. Defaults to 0; at most 5000."},
    {"sort", K::Text,
     "Optional order: received_utc_desc (default), received_utc_asc, sent_utc_desc, sent_utc_asc, subject_asc, or "
     "subject_desc."},
};
constexpr LMcpArgInfo kSearchAddress[] = {
    {"address", K::Text, "Email address to find in the sender and recipient fields.", true},
    {"after_utc", K::Integer, kAfter},
    {"before_utc", K::Integer, kBefore},
    {"account_id", K::Text, kAccountFilter},
    {"account_email", K::Text, kAccountEmail},
    {"mailbox_id", K::Text, kMailboxId},
    {"mailbox_name", K::Text, kMailboxName},
    {"limit", K::Integer, "Optional maximum number of results. Defaults to 10; at most 50."},
};
constexpr LMcpArgInfo kListRecent[] = {
    {"account_id", K::Text, kAccountFilter},
    {"account_email", K::Text, kAccountEmail},
    {"mailbox_id", K::Text, kMailboxId},
    {"mailbox_name", K::Text, kMailboxName},
    {"after_utc", K::Integer, kAfter},
    {"before_utc", K::Integer, kBefore},
    {"limit", K::Integer, "Optional maximum number of emails. Defaults to 25; at most 100."},
    {"include_body", K::Boolean, kIncludeBody},
    {"body_format", K::BodyOptions, nullptr},
    {"cursor", K::Cursor, kCursor},
};
constexpr LMcpArgInfo kRecentThreads[] = {
    {"account_id", K::Text, kAccountFilter},
    {"account_email", K::Text, kAccountEmail},
    {"mailbox_id", K::Text, kMailboxId},
    {"mailbox_name", K::Text, kMailboxName},
    {"after_utc", K::Integer, kAfter},
    {"before_utc", K::Integer, kBefore},
    {"limit", K::Integer, "Optional maximum number of thread rows. Defaults to 25; at most 100."},
};
constexpr LMcpArgInfo kMailStats[] = {
    {"account_id", K::Text, kAccountFilter},
    {"account_email", K::Text, kAccountEmail},
    {"mailbox_id", K::Text, kMailboxId},
    {"mailbox_name", K::Text, kMailboxName},
    {"after_utc", K::Integer, kAfter},
    {"before_utc", K::Integer, kBefore},
    {"limit", K::Integer, "Optional rows per aggregate list. Defaults to 5; at most 25."},
};
constexpr LMcpArgInfo kCheckIndex[] = {
    {"deep", K::Boolean, "Optional, false by default. Also run the full structural audit of the index."},
    {"repair", K::Boolean,
     "Optional, false by default. When the check fails, rebuild the index from scratch in the background."},
};
constexpr const char* kThreadEmailId =
    "Porlinex email ID returned by search_mail; the conversation of this email is loaded. email_id or subject is "
    "required.";
constexpr const char* kThreadSubject =
    "Subject to match when no email_id is known. Subject-only lookups require after_utc or before_utc.";
constexpr LMcpArgInfo kGetThread[] = {
    {"email_id", K::Text, kThreadEmailId},
    {"subject", K::Text, kThreadSubject},
    {"account_id", K::Text, kAccountFilter},
    {"account_email", K::Text, kAccountEmail},
    {"mailbox_id", K::Text, kMailboxId},
    {"mailbox_name", K::Text, kMailboxName},
    {"after_utc", K::Integer, kAfter},
    {"before_utc", K::Integer, kBefore},
    {"limit", K::Integer, "Optional maximum number of emails. Defaults to 50; at most 200."},
    {"include_body", K::Boolean, kIncludeBody},
    {"body_format", K::BodyOptions, nullptr},
};
constexpr LMcpArgInfo kGetThreadCompact[] = {
    {"email_id", K::Text, kThreadEmailId},
    {"subject", K::Text, kThreadSubject},
    {"account_id", K::Text, kAccountFilter},
    {"account_email", K::Text, kAccountEmail},
    {"mailbox_id", K::Text, kMailboxId},
    {"mailbox_name", K::Text, kMailboxName},
    {"after_utc", K::Integer, kAfter},
    {"before_utc", K::Integer, kBefore},
    {"limit", K::Integer, "Optional maximum number of emails. Defaults to 50; at most 200."},
    {"order", K::Text, "Optional order: oldest_first (default) or latest_first."},
};
constexpr LMcpArgInfo kListMailbox[] = {
    {"mailbox_id", K::Text, "Porlinex mailbox ID from list_mailboxes. mailbox_id or mailbox_name is required."},
    {"mailbox_name", K::Text, "IMAP mailbox name, for example INBOX or Archive. mailbox_id or mailbox_name is required."},
    {"account_id", K::Text, kAccountFilter},
    {"account_email", K::Text, kAccountEmail},
    {"after_utc", K::Integer, "Inclusive lower bound for RECEIVED_UTC Unix seconds. after_utc or before_utc is required."},
    {"before_utc", K::Integer, "Inclusive upper bound for RECEIVED_UTC Unix seconds. after_utc or before_utc is required."},
    {"limit", K::Integer, "Optional maximum number of emails. Defaults to 25; at most 100."},
    {"include_body", K::Boolean, kIncludeBody},
    {"body_format", K::BodyOptions, nullptr},
    {"cursor", K::Cursor, kCursor},
};
constexpr LMcpArgInfo kGetMail[] = {
    {"email_id", K::Text, kEmailId, true},
    {"body_format", K::BodyOptions, nullptr},
};
constexpr LMcpArgInfo kGetMailBatch[] = {
    {"email_ids", K::EmailIds, "Porlinex email IDs returned by search or list tools; at most 50.", true},
    {"body_format", K::BodyOptions, nullptr},
};
constexpr LMcpArgInfo kEmailIdOnly[] = {
    {"email_id", K::Text, kEmailId, true},
};
constexpr LMcpArgInfo kSaveAttachment[] = {
    {"attachment_id", K::Text, "Porlinex attachment ID returned by get_mail_attachments.", true},
    {"destination_path", K::LongText, "Absolute local file path to write.", true},
};
constexpr LMcpArgInfo kListRules[] = {
    {"rule_id", K::Text, "Optional stored rule ID."},
    {"account_id", K::Text, kAccountFilter},
    {"account_email", K::Text, kAccountEmail},
    {"limit", K::Integer, "Optional maximum number of rules. Defaults to 100; at most 200."},
};
constexpr LMcpArgInfo kAddRule[] = {
    {"account_id", K::Text, "Optional Porlinex account ID; omit or leave blank to match every account."},
    {"account_email", K::Text, kAccountEmail},
    {"name", K::LongText, "Optional rule name of at most 255 characters."},
    {"conditions", K::Conditions, nullptr, true},
    {"action", K::Text, "TRASH, MOVE, FORWARD, REDIRECT, or REPLY.", true},
    {"mailbox_id", K::Text,
     "Porlinex mailbox ID: required for MOVE (or mailbox_name); optional post-action target for FORWARD, REDIRECT and "
     "REPLY."},
    {"mailbox_name", K::Text,
     "IMAP mailbox name: required for MOVE (or mailbox_id); optional post-action target for FORWARD, REDIRECT and "
     "REPLY."},
    {"to", K::LongText, "Destination address; required for FORWARD and REDIRECT."},
    {"message", K::LongText, "Message text; required for REPLY, optional note for FORWARD."},
};
constexpr LMcpArgInfo kDeleteRule[] = {
    {"rule_id", K::Text, "Stored rule ID from list_rules.", true},
};
constexpr LMcpArgInfo kDraftMail[] = {
    {"account_id", K::Text, "Porlinex account ID to draft for. account_id or account_email is required."},
    {"account_email", K::Text,
     "Porlinex account email address, used when account_id is not given. account_id or account_email is required."},
    {"to", K::LongText, "Optional recipients as a comma-separated string."},
    {"cc", K::LongText, "Optional copy recipients as a comma-separated string."},
    {"bcc", K::LongText, "Optional blind copy recipients as a comma-separated string."},
    {"reply_to", K::LongText, "Optional reply address."},
    {"subject", K::LongText, "Optional subject."},
    {"body_text", K::LongText, "Optional plain-text body; used to build HTML when body_html is omitted."},
    {"body_html", K::LongText, "Optional HTML body."},
};
constexpr LMcpArgInfo kSendMail[] = {
    {"account_id", K::Text, kSendAccount},
    {"account_email", K::Text, kSendAccountEmail},
    {"to", K::LongText, "Recipients; several addresses as a comma-separated string.", true},
    {"reply_to", K::LongText, "Optional reply address."},
    {"subject", K::LongText, "Optional subject."},
    {"body_text", K::LongText, "Optional plain-text body; used to build HTML when body_html is omitted."},
    {"body_html", K::LongText, "Optional HTML body."},
};
constexpr LMcpArgInfo kMoveMailbox[] = {
    {"email_id", K::Text, kEmailId, true},
    {"mailbox_id", K::Text, "Destination Porlinex mailbox ID. mailbox_id or mailbox_name is required."},
    {"mailbox_name", K::Text, "Destination IMAP mailbox name. mailbox_id or mailbox_name is required."},
};
constexpr LMcpArgInfo kForward[] = {
    {"email_id", K::Text, kEmailId, true},
    {"to", K::LongText, "Address to forward the email to.", true},
    {"message", K::LongText, "Optional note placed above the forwarded email."},
    {"mailbox_id", K::Text, kActionBox},
    {"mailbox_name", K::Text, kActionBoxName},
};
constexpr LMcpArgInfo kRedirect[] = {
    {"email_id", K::Text, kEmailId, true},
    {"to", K::LongText, "Address to redirect the email to.", true},
    {"mailbox_id", K::Text, kActionBox},
    {"mailbox_name", K::Text, kActionBoxName},
};
constexpr LMcpArgInfo kReply[] = {
    {"email_id", K::Text, kEmailId, true},
    {"message", K::LongText, "Reply message body.", true},
    {"mailbox_id", K::Text, kActionBox},
    {"mailbox_name", K::Text, kActionBoxName},
};

#define ARGS(a) a, std::size(a)
constexpr LMcpToolInfo kTools[] = {
    {"list_accounts", "List Accounts", E::ReadOnly,
     "List active Porlinex accounts that the local mail mirror can search and act on.", nullptr, 0},
    {"list_mailboxes", "List Mailboxes", E::ReadOnly, "List synced mailbox names, optionally filtered to one account.",
     ARGS(kListMailboxes)},
    {"downloadmessages_wait", "Wait For Mail Sync", E::ReadOnly,
     "Wait until Porlinex mail syncing settles for one active account or across active accounts. Poll-based accounts "
     "are woken so the local mirror refreshes before follow-up reads.",
     ARGS(kDownloadWait)},
    {"search_mail", "Search Mail", E::ReadOnly,
     "Search the local mail mirror by subject, headers, preview, or cached body text. Uses the SQLite FTS5 full text "
     "index when it is available, and falls back to a substring scan when the indexed pass finds nothing.",
     ARGS(kSearchMail)},
    {"advanced_search_mail", "Advanced Search Mail", E::ReadOnly,
     "Search the local mail mirror with structured filters such as mailbox list, sender, recipients, subject, body "
     "text, attachment state, flags, and received-UTC range.",
     ARGS(kAdvancedSearch)},
    {"search_mail_address", "Search Mail By Address", E::ReadOnly,
     "Find stored emails to or from one email address inside a received-UTC timeframe.", ARGS(kSearchAddress)},
    {"list_recent_mail", "List Recent Mail", E::ReadOnly,
     "List up to 100 newest stored emails, optionally narrowed by account, mailbox, or timeframe. Set "
     "include_body=true for cached bodies and pass next_cursor back as cursor to continue with the same filters.",
     ARGS(kListRecent)},
    {"list_recent_threads", "List Recent Threads", E::ReadOnly,
     "List recent conversations grouped into threads, with the latest message, participants, and message counts. "
     "Scans a bounded number of the newest candidate messages rather than the entire mirror, so a very chatty "
     "mailbox may return fewer distinct threads than exist; narrow with after_utc/before_utc, account_id, or "
     "mailbox_id/mailbox_name for a complete view of an older window.",
     ARGS(kRecentThreads)},
    {"mail_stats", "Mail Stats", E::ReadOnly,
     "Summarize stored mail with counts by mailbox, sender, day, week, unread/read state, largest messages, and "
     "mailbox sync age.",
     ARGS(kMailStats)},
    {"explain_search_schema", "Explain Search Schema", E::ReadOnly,
     "Explain searchable columns, indexed columns, full text index availability and matching rules, mailbox naming "
     "rules, timestamp formats, and current SQLite search limitations.",
     nullptr, 0},
    {"check_search_index", "Check Search Index", E::ReadOnly,
     "Report whether the full text search index is present, how much of the mail mirror it covers so far, and "
     "whether it still answers correctly. Use this when searches return less mail than expected.",
     ARGS(kCheckIndex)},
    {"get_thread", "Get Thread", E::ReadOnly,
     "Load stored emails in one conversation using email headers when available. Subject-only lookups require "
     "after_utc or before_utc so normalized-subject fallback stays bounded.",
     ARGS(kGetThread)},
    {"get_thread_compact", "Get Thread Compact", E::ReadOnly,
     "Load one conversation in a compact format with sender, date, preview text, and quoted history stripped from "
     "cached body text where possible. Subject-only lookups require after_utc or before_utc.",
     ARGS(kGetThreadCompact)},
    {"list_mailbox_mail", "List Mailbox Mail", E::ReadOnly,
     "List up to 100 stored emails in one mailbox inside a received-UTC timeframe. Set include_body=true for cached "
     "bodies and pass next_cursor back as cursor to continue with the same filters.",
     ARGS(kListMailbox)},
    {"get_mail", "Get Mail", E::ReadOnly,
     "Load one stored email row including cached body content. Use get_mail_batch for several known IDs, or a list "
     "tool with include_body=true for contiguous results.",
     ARGS(kGetMail)},
    {"get_mail_batch", "Get Mail Batch", E::ReadOnly,
     "Load up to 50 stored emails by ID, including cached body content, in one call.", ARGS(kGetMailBatch)},
    {"get_mail_headers", "Get Mail Headers", E::ReadOnly,
     "Load the imported header fields stored for one email row. Raw RFC822 headers are not stored in the local "
     "mirror.",
     ARGS(kEmailIdOnly)},
    {"get_mail_attachments", "Get Mail Attachments", E::ReadOnly,
     "List stored attachment metadata for one mirrored email row, including whether local content is available to "
     "export.",
     ARGS(kEmailIdOnly)},
    {"save_attachment", "Save Attachment", E::Destroys,
     "Copy one stored attachment to a local file path. Parent folders are created when needed.",
     ARGS(kSaveAttachment)},
    {"list_rules", "List Rules", E::ReadOnly, "List stored automatic filtering rules and their conditions.",
     ARGS(kListRules)},
    {"add_rule", "Add Rule", E::Writes,
     "Create a stored automatic filtering rule using the existing Porlinex rules engine.", ARGS(kAddRule)},
    {"delete_rule", "Delete Rule", E::Destroys, "Soft-delete one stored automatic filtering rule.", ARGS(kDeleteRule)},
    {"draft_mail", "Draft Mail", E::Writes,
     "Create a local draft email in the account Drafts mailbox without sending it.", ARGS(kDraftMail)},
    {"send_mail", "Send Mail", E::Destroys,
     "Queue a new email for background delivery through one Porlinex account.", ARGS(kSendMail)},
    {"move_mail_trash", "Move Mail To Trash", E::Destroys, "Move one stored email to the account trash mailbox.",
     ARGS(kEmailIdOnly)},
    {"move_mail_mailbox", "Move Mail To Mailbox", E::Writes, "Move one stored email to a named mailbox.",
     ARGS(kMoveMailbox)},
    {"forward_mail", "Forward Mail", E::Destroys, "Forward one stored email to another address.", ARGS(kForward)},
    {"redirect_mail", "Redirect Mail", E::Destroys, "Redirect one stored email to another address.",
     ARGS(kRedirect)},
    {"reply_mail", "Reply To Mail", E::Destroys, "Reply to one stored email with a required message body.",
     ARGS(kReply)},
};
#undef ARGS

const char* TypeOf(LMcpArgKind kind) {
    switch (kind) {
        case K::Integer: return "integer";
        case K::Boolean: return "boolean";
        case K::TextArray:
        case K::EmailIds:
        case K::Conditions: return "array";
        case K::Cursor: return "object";
        default: return "string";
    }
}

void WriteCursorSchema(LJsonWriter& w, const char* description) {
    w.BeginObjectNamed("cursor");
    w.StringUTF8("type", "object");
    w.StringUTF8("description", description);
    w.BeginObjectNamed("properties");
    w.BeginObjectNamed("received_utc");
    w.BeginArrayNamed("type");
    w.StringUTF8(nullptr, "integer");
    w.StringUTF8(nullptr, "string");
    w.EndArray();
    w.StringUTF8("description",
                 "Received Unix seconds. next_cursor returns this as a decimal string to preserve 64-bit precision.");
    w.EndObject();
    w.BeginObjectNamed("email_id");
    w.StringUTF8("type", "string");
    w.EndObject();
    w.EndObject();
    w.BeginArrayNamed("required");
    w.StringUTF8(nullptr, "received_utc");
    w.StringUTF8(nullptr, "email_id");
    w.EndArray();
    w.EndObject();
}

void WriteConditionsSchema(LJsonWriter& w) {
    static constexpr const char* kFields[][2] = {
        {"part", "One of FROM, TO, CC, TOORCC, SUBJECT, or BODY."},
        {"test", "Use CONTAINS for address parts. SUBJECT and BODY also support IS and STARTS."},
        {"value", "Non-empty text to match."},
    };
    w.BeginObjectNamed("conditions");
    w.StringUTF8("type", "array");
    w.StringUTF8("description", "Rule conditions. Every condition must match. At least one non-BODY condition is required.");
    w.BeginObjectNamed("items");
    w.StringUTF8("type", "object");
    w.BeginObjectNamed("properties");
    for (const auto& f : kFields) {
        w.BeginObjectNamed(f[0]);
        w.StringUTF8("type", "string");
        w.StringUTF8("description", f[1]);
        w.EndObject();
    }
    w.EndObject();
    w.BeginArrayNamed("required");
    for (const auto& f : kFields) w.StringUTF8(nullptr, f[0]);
    w.EndArray();
    w.EndObject();
    w.EndObject();
}

void WriteProperty(LJsonWriter& w, const LMcpArgInfo& a) {
    switch (a.kind) {
        case K::BodyOptions:
            LMcpWriteBodySchema(w);
            return;
        case K::Cursor:
            WriteCursorSchema(w, a.description);
            return;
        case K::Conditions:
            WriteConditionsSchema(w);
            return;
        default:
            break;
    }
    w.BeginObjectNamed(a.name);
    w.StringUTF8("type", TypeOf(a.kind));
    w.StringUTF8("description", a.description);
    if (a.kind == K::TextArray || a.kind == K::EmailIds) {
        w.BeginObjectNamed("items");
        w.StringUTF8("type", "string");
        w.EndObject();
    }
    if (a.kind == K::EmailIds) {
        w.Int("minItems", 1);
        w.Int("maxItems", 50);
    }
    w.EndObject();
}

void WriteTool(LJsonWriter& w, const LMcpToolInfo& t) {
    w.BeginObject();
    w.StringUTF8("name", t.name);
    w.StringUTF8("title", t.title);
    w.StringUTF8("description", t.description);
    w.BeginObjectNamed("annotations");
    w.Bool("readOnlyHint", t.effect == E::ReadOnly);
    if (t.effect != E::ReadOnly) w.Bool("destructiveHint", t.effect == E::Destroys);
    w.EndObject();
    w.BeginObjectNamed("inputSchema");
    w.StringUTF8("type", "object");
    w.BeginObjectNamed("properties");
    bool any_required = false;
    for (size_t i = 0; i < t.arg_count; ++i) {
        WriteProperty(w, t.args[i]);
        any_required |= t.args[i].required;
    }
    w.EndObject();
    if (any_required) {
        w.BeginArrayNamed("required");
        for (size_t i = 0; i < t.arg_count; ++i)
            if (t.args[i].required) w.StringUTF8(nullptr, t.args[i].name);
        w.EndArray();
    }
    w.EndObject();
    w.EndObject();
}

}  // namespace

const LMcpToolInfo* LMcpToolCatalogue(size_t* count) {
    *count = std::size(kTools);
    return kTools;
}

const LMcpToolInfo* LMcpFindTool(const char* name) {
    for (const LMcpToolInfo& t : kTools)
        if (std::strcmp(t.name, name) == 0) return &t;
    return nullptr;
}

void LMcpWriteToolList(LJsonWriter& answer) {
    answer.BeginObjectNamed("result");
    answer.BeginArrayNamed("tools");
    for (const LMcpToolInfo& t : kTools) WriteTool(answer, t);
    answer.EndArray();
    answer.EndObject();
}
