// explain_search_schema (a fixed self-description of how the mirror can be
// searched, with the parts that depend on the full-text index chosen at run
// time) and check_search_index.
#include <initializer_list>
#include <string>
#include <string_view>

#include "mail/store/fts_index.h"
#include "mcp/tools/tool_framework.h"
#include "mcp/tools/tools.h"

namespace {

void Strings(LJsonWriter& w, const char* name, std::initializer_list<const char*> items) {
    w.BeginArrayNamed(name);
    for (const char* s : items) w.StringUTF8(nullptr, s);
    w.EndArray();
}

// "EMAIL_MESSAGES." before each of the names.
void MessageColumns(LJsonWriter& w, std::initializer_list<const char*> names) {
    for (const char* n : names) {
        LStringA full;
        full.Format("EMAIL_MESSAGES.%s", n);
        w.StringUTF8(nullptr, full.c_str());
    }
}

void WriteSearchableColumns(LJsonWriter& w) {
    w.BeginArrayNamed("searchable_columns");
    w.BeginObject();
    w.StringUTF8("tool", "search_mail");
    w.BeginArrayNamed("columns");
    MessageColumns(w, {"SUBJECT", "FROM_TEXT", "TO_TEXT", "CC_TEXT", "BODY_PREVIEW", "BODY_TEXT", "BODY_HTML"});
    w.EndArray();
    w.StringUTF8("notes", "smart scope searches SUBJECT/FROM_TEXT/TO_TEXT/CC_TEXT/BODY_PREVIEW first, then "
                          "BODY_TEXT/BODY_HTML only if more rows are needed.");
    w.EndObject();

    w.BeginObject();
    w.StringUTF8("tool", "advanced_search_mail");
    w.BeginArrayNamed("columns");
    MessageColumns(w, {"ACCOUNT_ID", "MAILBOX_ID"});
    w.StringUTF8(nullptr, "EMAILMAILBOXES.IMAP_NAME");
    MessageColumns(w, {"FROM_TEXT", "TO_TEXT", "CC_TEXT", "SUBJECT", "BODY_PREVIEW", "BODY_TEXT", "BODY_HTML",
                       "RECEIVED_UTC", "SENT_UTC", "HAS_ATTACHMENTS", "FLAGS"});
    w.StringUTF8(nullptr, "EMAIL_MESSAGE_ATTACHMENTS.FILENAME");
    w.EndArray();
    Strings(w, "supported_sorts",
            {"received_utc_desc", "received_utc_asc", "sent_utc_desc", "sent_utc_asc", "subject_asc", "subject_desc"});
    w.StringUTF8("notes", "Mailbox filters accept either EMAIL_MESSAGES.MAILBOX_ID or a case-insensitive "
                          "EMAILMAILBOXES.IMAP_NAME match.");
    w.EndObject();

    w.BeginObject();
    w.StringUTF8("tool", "search_mail_address");
    w.BeginArrayNamed("columns");
    MessageColumns(w, {"FROM_TEXT", "TO_TEXT", "CC_TEXT", "BCC_TEXT", "REPLY_TO_TEXT", "RECEIVED_UTC"});
    w.EndArray();
    w.StringUTF8("notes", "search_mail_address first checks exact EMAIL_MESSAGE_ADDRESSES.EMAIL helper rows, then falls "
                          "back to decoded header-text scans for older rows that do not have helper data yet.");
    w.EndObject();

    w.BeginObject();
    w.StringUTF8("tool", "thread_and_recent_reads");
    w.BeginArrayNamed("columns");
    MessageColumns(w, {"THREAD_ID", "MESSAGE_ID", "IN_REPLY_TO", "REFERENCES_TEXT", "SUBJECT", "RECEIVED_UTC",
                       "ACCOUNT_ID", "MAILBOX_ID"});
    w.StringUTF8(nullptr, "EMAILMAILBOXES.IMAP_NAME");
    w.EndArray();
    w.StringUTF8("notes", "get_thread, get_thread_compact, list_recent_mail, list_recent_threads, list_mailbox_mail, and "
                          "mail_stats all narrow or order primarily by RECEIVED_UTC.");
    w.EndObject();
    w.EndArray();
}

void WriteIndexedColumns(LJsonWriter& w) {
    static constexpr struct {
        const char* table;
        const char* index;
        const char* columns;  // separated by ", "
        const char* used_for;
    } kIndexes[] = {
        {"EMAIL_MESSAGES", "PRIMARY KEY", "ID",
         "Exact email_id lookups such as get_mail, get_mail_headers, and attachment detail paths."},
        {"EMAIL_MESSAGES", "UNIQUE", "ACCOUNT_ID, MAILBOX_ID, UIDVALIDITY, UID",
         "Stable mailbox-local IMAP identity, mainly for sync and dedupe rather than free-text MCP search."},
        {"EMAIL_MESSAGES", "IDX_EMAIL_MESSAGES_MAILBOX_UID", "MAILBOX_ID, UID",
         "Mailbox-scoped sync work and mailbox-targeted reads."},
        {"EMAIL_MESSAGES", "IDX_EMAIL_MESSAGES_MESSAGE_ID", "MESSAGE_ID", "Header-based thread reconstruction."},
        {"EMAIL_MESSAGES", "IDX_EMAIL_MESSAGES_SENT_UTC", "SENT_UTC", "Advanced-search sent-time ordering."},
        {"EMAIL_MESSAGES", "IDX_EMAIL_MESSAGES_RECEIVED_UTC", "RECEIVED_UTC",
         "Recent-mail ordering, thread windows, and most MCP timeframe filters."},
        {"EMAIL_MESSAGES", "IDX_EMAIL_MESSAGES_ACCOUNT_RECEIVED_UTC", "ACCOUNT_ID, RECEIVED_UTC, ID",
         "Account-scoped recent-mail, thread, and mail_stats windows before the broader text filters apply."},
        {"EMAIL_MESSAGES", "IDX_EMAIL_MESSAGES_MAILBOX_RECEIVED_UTC", "MAILBOX_ID, RECEIVED_UTC, ID",
         "Mailbox-scoped list_recent_mail, list_recent_threads, list_mailbox_mail, and get_thread candidate scans."},
        {"EMAILMAILBOXES", "IDX_EMAILMAILBOXES_ACCOUNT_IMAP_NAME", "EMAILACCOUNTS_ID, IMAP_NAME",
         "Mailbox resolution by account plus readable IMAP name."},
        {"EMAIL_MESSAGE_ADDRESSES", "IDX_EMAIL_MESSAGE_ADDRESSES_EMAIL_MESSAGE", "EMAIL, MESSAGE_ID",
         "Parsed-address helper rows used by search_mail_address exact email lookups before the legacy header-text "
         "fallback."},
        {"EMAIL_MESSAGE_ATTACHMENTS", "IDX_EMAIL_MESSAGE_ATTACHMENTS_MESSAGE", "MESSAGE_ID",
         "Attachment listing for one mirrored email row."},
    };
    w.BeginArrayNamed("indexed_columns");
    for (const auto& i : kIndexes) {
        w.BeginObject();
        w.StringUTF8("table", i.table);
        w.StringUTF8("index_name", i.index);
        w.BeginArrayNamed("columns");
        std::string_view rest(i.columns);
        for (;;) {
            size_t comma = rest.find(", ");
            w.StringUTF8(nullptr, std::string(rest.substr(0, comma)).c_str());
            if (comma == std::string_view::npos) break;
            rest.remove_prefix(comma + 2);
        }
        w.EndArray();
        w.StringUTF8("used_for", i.used_for);
        w.EndObject();
    }
    w.EndArray();
}

void WriteFtsIndex(LJsonWriter& w, bool available, bool covered, int32_t indexed, int32_t total, bool complete) {
    w.BeginObjectNamed("fts_index");
    w.StringUTF8("table", "EMAIL_MESSAGES_FTS");
    w.Bool("available", available);
    w.StringUTF8("engine", "SQLite FTS5 external-content index over EMAIL_MESSAGES, kept current by AFTER "
                           "INSERT/UPDATE/DELETE triggers on the message table.");
    w.BeginArrayNamed("indexed_columns");
    MessageColumns(w, {"SUBJECT", "FROM_TEXT", "TO_TEXT", "CC_TEXT", "BCC_TEXT", "REPLY_TO_TEXT", "BODY_PREVIEW",
                       "BODY_TEXT"});
    w.EndArray();
    w.StringUTF8("tokenizer", "unicode61 remove_diacritics 2");
    w.StringUTF8("query_translation", "Words are matched as whole words or word prefixes and combined with AND, so "
                                      "punctuation inside the query text is not significant.");
    Strings(w, "query_syntax",
            {"invoice acme - both words must appear, each matching as a word prefix",
             "\"purchase order\" - that exact phrase, words adjacent and in order",
             "invoice -draft - has invoice, does not have draft", "invoice OR receipt - either word; OR must be uppercase"});
    w.StringUTF8("result_fields", "Indexed search_mail results add match_snippet, the matching text with the matched "
                                  "words in square brackets, and relevance, a bm25 score where a larger number is a "
                                  "better match.");
    w.StringUTF8("sorting", "search_mail sort accepts newest (default), oldest, or relevance. relevance needs this "
                            "index and silently falls back to newest on the substring path.");
    w.StringUTF8("not_indexed", "EMAIL_MESSAGES.BODY_HTML is not indexed because markup tokens add index noise; "
                                "HTML-only bodies stay searchable through BODY_PREVIEW or the LIKE fallback.");
    w.StringUTF8("fallback", "search_mail reports search_mode and advanced_search_mail reports body_search_mode so "
                             "callers can see whether rows came from the index (fts) or the substring scan (like, "
                             "like_fallback).");
    if (covered) {
        w.BeginObjectNamed("coverage");
        w.Bool("complete", complete);
        w.Int("messages_indexed", indexed);
        w.Int("messages_total", total);
        w.StringUTF8("note", "Existing mail is indexed by a background backfill after an upgrade. Call "
                             "check_search_index for the live state.");
        w.EndObject();
    }
    w.EndObject();
}

}  // namespace

void LMcpToolExplainSearchSchema(LMcpAnswer& answer, LAppDatabaseAccount& db) {
    bool fts = LEmailFtsTableExists(db);
    int32_t indexed = 0, total = 0;
    bool complete = false;
    bool covered = LEmailFtsGetCoverage(db, indexed, total, complete);
    LStringA text;
    LJsonWriter w(text);
    w.BeginObject();
    w.BeginObjectNamed("search_overview");
    w.StringUTF8("database_engine", "sqlite");
    w.Bool("fts_available", fts);
    w.StringUTF8("text_search_mode",
                 fts ? "search_mail and the advanced_search_mail body filter match through the EMAIL_MESSAGES_FTS "
                       "FTS5 index, and re-run the older LIKE substring scan only when the indexed pass returns no rows."
                     : "No SQLite FTS virtual table is installed; MCP text search uses LIKE substring matches over "
                       "stored message columns.");
    w.EndObject();
    WriteFtsIndex(w, fts, covered, indexed, total, complete);
    WriteSearchableColumns(w);
    WriteIndexedColumns(w);
    w.BeginObjectNamed("flags");
    w.StringUTF8("storage_column", "EMAIL_MESSAGES.FLAGS");
    w.StringUTF8("match_mode", "Case-insensitive substring token match. advanced_search_mail requires every requested "
                               "token to appear.");
    Strings(w, "common_tokens", {"\\Seen", "\\Answered", "\\Flagged", "\\Draft"});
    w.EndObject();
    w.BeginArrayNamed("timestamp_formats");
    auto format = [&w](std::initializer_list<const char*> fields, const char* text) {
        w.BeginObject();
        Strings(w, "fields", fields);
        w.StringUTF8("format", text);
        w.EndObject();
    };
    format({"EMAIL_MESSAGES.SENT_UTC", "EMAIL_MESSAGES.RECEIVED_UTC", "EMAIL_MESSAGES.INTERNAL_DATE_UTC"},
           "Integer Unix UTC seconds.");
    format({"EMAILACCOUNTS.UPDATED", "EMAILACCOUNTS.LAST_SYNC", "EMAILMAILBOXES.LAST_SYNC_UTC", "EMAILMAILBOXES.DELETED"},
           "UTC text in YYYY-MM-DD HH:MM:SS when populated.");
    format({"mail_stats.day_utc", "mail_stats.week_utc"}, "UTC text derived from RECEIVED_UTC with SQLite strftime().");
    w.EndArray();
    w.BeginObjectNamed("mailbox_rules");
    w.StringUTF8("display_source", "EMAILMAILBOXES.IMAP_NAME");
    Strings(w, "lookup_inputs", {"EMAILMAILBOXES.ID", "EMAILMAILBOXES.IMAP_NAME"});
    w.StringUTF8("name_match", "ID matches exactly; IMAP_NAME matches case-insensitively.");
    w.StringUTF8("account_scope", "Mailbox names are unique per EMAILMAILBOXES.EMAILACCOUNTS_ID, not globally.");
    w.StringUTF8("ordering", "Mailbox listings keep INBOX first, then IMAP_NAME ascending.");
    Strings(w, "examples", {"INBOX", "Archive", "INBOX/Clients"});
    w.EndObject();
    Strings(w, "performance_notes",
            {"ACCOUNT_ID, MAILBOX_ID, mailbox-name resolution, MESSAGE_ID, RECEIVED_UTC, and SENT_UTC are the cheapest "
             "narrowing filters because they align with indexed columns.",
             fts ? "search_mail and the advanced_search_mail body filter run as MATCH queries against "
                   "EMAIL_MESSAGES_FTS, so free-text mail search no longer scans every cached body."
                 : "SUBJECT, FROM_TEXT, TO_TEXT, CC_TEXT, BCC_TEXT, REPLY_TO_TEXT, BODY_PREVIEW, BODY_TEXT, BODY_HTML, "
                   "and FLAGS use LIKE substring scans because this build has no FTS index.",
             "advanced_search_mail from/to/cc/subject and all FLAGS filters still use LIKE substring matching, which "
             "stays exact but is not index accelerated.",
             "search_mail smart scope is cheaper than all scope because it searches preview/header columns first and "
             "only reaches the cached body text when more rows are needed.",
             "search_mail_address now uses exact EMAIL_MESSAGE_ADDRESSES.EMAIL lookups first, with decoded header-text "
             "LIKE scans kept only as a compatibility fallback for older rows."});
    w.EndObject();
    LString summary(fts ? u"Porlinex search uses SQLite tables, a few B-tree indexes, and the EMAIL_MESSAGES_FTS full "
                          u"text index. Free-text queries match whole tokens or token prefixes, and account, mailbox, "
                          u"and time filters remain the best way to narrow large queries further."
                        : u"Porlinex search uses SQLite tables plus a few B-tree indexes. No MCP search path currently "
                          u"uses SQLite FTS, so account, mailbox, time, and exact parsed-address filters are the best "
                          u"way to narrow large queries.");
    LMcpWriteToolResult(answer, summary, text);
}

void LMcpToolCheckSearchIndex(LMcpAnswer& answer, LAppDatabaseAccount& db, const LMcpArgs& args) {
    bool deep = LMcpGetTrueArg(args, "deep");
    bool repair = LMcpGetTrueArg(args, "repair");
    bool available = LEmailFtsTableExists(db);
    int32_t indexed = 0, total = 0;
    bool complete = false;
    LEmailFtsGetCoverage(db, indexed, total, complete);
    char16_t detail[260] = u"No full text index exists on this database, so searches use substring scans.";
    bool verified = available && LEmailFtsVerify(db, deep, detail);
    // The probe sees one message and FTS5's structural check sees no missing
    // rows: a deep check compares the index with every stored message, which
    // holds only once the backfill has reached them all.
    bool compared = false;
    if (verified && deep && complete) {
        compared = true;
        char16_t error[260];
        if (!LEmailFtsIntegrityCheck(db, true, error)) {
            verified = false;
            LFormatEscPathW(detail, u"The index does not match the stored messages (FTS5 integrity-check): %s", error);
        }
    }
    bool started = false;
    if (repair && !verified) {
        started = LEmailFtsRebuild(db);
        if (started) {
            LEmailFtsGetCoverage(db, indexed, total, complete);
            verified = LEmailFtsVerify(db, false, detail);
        }
    }
    LStringA text;
    LJsonWriter w(text);
    w.BeginObject();
    w.StringUTF8("index_table", "EMAIL_MESSAGES_FTS");
    w.Bool("index_available", available);
    w.Bool("verified", verified);
    w.Bool("deep_check", deep);
    // Whether the index was compared with every stored message: a deep check
    // while the backfill still runs cannot do that yet.
    if (deep) w.Bool("content_compared", compared);
    w.String("detail", detail);
    w.BeginObjectNamed("coverage");
    w.Bool("complete", complete);
    w.Int("messages_indexed", indexed);
    w.Int("messages_total", total);
    w.EndObject();
    if (repair) w.Bool("repair_started", started);
    w.EndObject();
    LString summary;
    if (!available)
        summary.Assign(u"No full text search index is present; mail search is using substring scans.");
    else if (!verified)
        summary.Format(u"Full text index problem: %s", detail);
    else if (complete)
        summary.Format(u"Full text index is working and covers all %d mirrored messages.", total);
    else
        summary.Format(u"Full text index is working and still filling: %d of %d messages indexed.", indexed, total);
    LMcpWriteToolResult(answer, summary, text);
}
