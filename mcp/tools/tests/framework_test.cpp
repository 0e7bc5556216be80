// The shared pieces of the tools: the catalogue, body options and the body
// writer, the MATCH translation, argument readers and the send quota.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <cstring>
#include <string>

#include "foundation/time_source.h"
#include "foundation/utf8.h"
#include "mcp/jsonrpc_body.h"
#include "mcp/tools/search_engine.h"
#include "mcp/tools/tests/tool_fixture.h"
#include "mcp/tools/tool_catalogue.h"
#include "mcp/tools/tool_framework.h"

namespace {

using json = nlohmann::json;

json ToolList() {
    LStringA text;
    LJsonWriter w(text);
    w.BeginObject();
    LMcpWriteToolList(w);
    w.EndObject();
    return json::parse(text.Str())["result"]["tools"];
}

TEST(McpCatalogue, TwentyNineToolsInOrderWithTheirSchemas) {
    const char* names[] = {"list_accounts", "list_mailboxes", "downloadmessages_wait", "search_mail",
                           "advanced_search_mail", "search_mail_address", "list_recent_mail", "list_recent_threads",
                           "mail_stats", "explain_search_schema", "check_search_index", "get_thread",
                           "get_thread_compact", "list_mailbox_mail", "get_mail", "get_mail_batch", "get_mail_headers",
                           "get_mail_attachments", "save_attachment", "list_rules", "add_rule", "delete_rule",
                           "draft_mail", "send_mail", "move_mail_trash", "move_mail_mailbox", "forward_mail",
                           "redirect_mail", "reply_mail"};
    json tools = ToolList();
    ASSERT_EQ(tools.size(), 29u);
    for (size_t i = 0; i < 29; ++i) {
        EXPECT_EQ(tools[i]["name"], names[i]);
        EXPECT_FALSE(tools[i]["title"].get<std::string>().empty());
        EXPECT_FALSE(tools[i]["description"].get<std::string>().empty());
        EXPECT_EQ(tools[i]["inputSchema"]["type"], "object");
    }
    for (int i : {0, 9}) {
        EXPECT_EQ(tools[i]["inputSchema"].dump(), "{\"properties\":{},\"type\":\"object\"}");
    }
    EXPECT_EQ(tools[0]["annotations"].dump(), "{\"readOnlyHint\":true}");
    std::string writes = "add_rule draft_mail move_mail_mailbox";
    std::string destroys = "save_attachment delete_rule send_mail move_mail_trash forward_mail redirect_mail reply_mail";
    for (const json& t : tools) {
        std::string n = t["name"];
        bool w = writes.find(n) != std::string::npos, d = destroys.find(n) != std::string::npos;
        EXPECT_EQ(t["annotations"]["readOnlyHint"], !w && !d) << n;
        if (w || d) {
            EXPECT_EQ(t["annotations"]["destructiveHint"], d) << n;
        }
    }
    json batch = tools[15]["inputSchema"];
    EXPECT_EQ(batch["required"], json::parse("[\"email_ids\"]"));
    EXPECT_EQ(batch["properties"]["email_ids"]["minItems"], 1);
    EXPECT_EQ(batch["properties"]["email_ids"]["maxItems"], 50);
    EXPECT_EQ(batch["properties"]["email_ids"]["items"]["type"], "string");
    EXPECT_EQ(batch["properties"]["max_body_chars"].dump(),
              json::parse("{\"type\":\"integer\",\"minimum\":1,\"maximum\":16777216,\"default\":16384,\"description\":"
                          "\"Optional maximum characters returned for each selected body field. Defaults to 16384 "
                          "characters; specify a larger value when the complete body is required.\"}")
                  .dump());
    EXPECT_EQ(tools[6]["inputSchema"]["properties"]["cursor"]["required"], json::parse("[\"received_utc\",\"email_id\"]"));
    EXPECT_EQ(tools[20]["inputSchema"]["properties"]["conditions"]["items"]["required"],
              json::parse("[\"part\",\"test\",\"value\"]"));
    EXPECT_EQ(tools[3]["inputSchema"]["required"], json::parse("[\"query\"]"));
}

// Every catalogue name reaches a handler.
TEST(McpCatalogue, EveryNameIsDispatched) {
    LTestToolStore store;
    size_t count = 0;
    const LMcpToolInfo* tools = LMcpToolCatalogue(&count);
    for (size_t i = 0; i < count; ++i) {
        LTestToolAnswer a = store.Call(tools[i].name, "{}");
        EXPECT_TRUE(a.result.contains("content")) << tools[i].name;
    }
    EXPECT_EQ(store.Call("send_mail").text, "send_mail requires account_id or account_email.");
    EXPECT_EQ(store.Call("reply_mail").text, "reply_mail requires email_id.");
    EXPECT_EQ(store.Call("Get_mail").result["error"]["code"], -32602);
}

LMcpBodyOptions Options(const std::string& args, bool include, bool* ok) {
    LMcpRequestBody body;
    LMcpParseRequestBody(args.data(), args.size(), body);
    LMcpBodyOptions o;
    *ok = LMcpGetBodyOptions(body.value, include, &o);
    return o;
}

TEST(McpBodies, OptionsTable) {
    struct {
        const char* args;
        bool include;
        bool ok;
        int mode;
        int64_t max;
    } cases[] = {
        {"{}", true, true, LMcpBodyBoth, 16384},
        {"{}", false, true, LMcpBodyNone, 16384},
        {"{\"include_body\":true}", false, true, LMcpBodyBoth, 16384},
        {"{\"include_body\":\"yes\"}", false, true, LMcpBodyNone, 16384},
        {"{\"include_body\":false,\"body_format\":\"both\"}", true, true, LMcpBodyBoth, 16384},
        {"{\"body_format\":\"text\"}", false, true, LMcpBodyText, 16384},
        {"{\"body_format\":\"html\",\"max_body_chars\":2.9}", true, true, LMcpBodyHtml, 2},
        {"{\"body_format\":null,\"max_body_chars\":null}", true, true, LMcpBodyBoth, 16384},
        {"{\"max_body_chars\":16777216}", true, true, LMcpBodyBoth, 16777216},
        {"{\"body_format\":\"xml\"}", true, false, 0, 0},
        {"{\"body_format\":3}", true, false, 0, 0},
        {"{\"max_body_chars\":0}", true, false, 0, 0},
        {"{\"max_body_chars\":0.5}", true, false, 0, 0},
        {"{\"max_body_chars\":16777217}", true, false, 0, 0},
        {"{\"max_body_chars\":1e300}", true, false, 0, 0},
        {"{\"max_body_chars\":-1e300}", true, false, 0, 0},
        {"{\"max_body_chars\":\"100\"}", true, false, 0, 0},
    };
    for (const auto& c : cases) {
        bool ok = false;
        LMcpBodyOptions o = Options(c.args, c.include, &ok);
        EXPECT_EQ(ok, c.ok) << c.args;
        if (!c.ok) continue;
        EXPECT_EQ(o.mode, c.mode) << c.args;
        EXPECT_EQ(o.max_body_chars, c.max) << c.args;
    }
}

json Body(const std::u16string& text, const std::u16string& html, int mode, int64_t max) {
    LStringA out;
    LJsonWriter w(out);
    w.BeginObject();
    LMcpBodyOptions o;
    o.mode = mode;
    o.max_body_chars = max;
    LMcpWriteBody(w, LString(text.c_str()), LString(html.c_str()), o);
    w.EndObject();
    return json::parse(out.Str());
}

TEST(McpBodies, WriterGeneratesAndCutsWholeCharacters) {
    json only_html = Body(u"", u"<p>Hello <b>there</b></p>", LMcpBodyText, 100);
    EXPECT_EQ(only_html["body_text_generated"], true);
    EXPECT_NE(only_html["body_text"].get<std::string>().find("Hello there"), std::string::npos);
    EXPECT_FALSE(only_html.contains("body_html"));
    json only_text = Body(u"a < b\nline\n\npara", u"", LMcpBodyHtml, 100);
    EXPECT_EQ(only_text["body_html"], "a &lt; b<br>line<p>para");
    EXPECT_EQ(only_text["body_html_generated"], true);
    json neither = Body(u"", u"", LMcpBodyBoth, 100);
    EXPECT_EQ(neither.dump(), "{\"body_html\":\"\",\"body_text\":\"\"}");
    // A character outside the BMP is one character of two units: never split.
    json emoji = Body(u"\U0001F600xyz", u"", LMcpBodyText, 1);
    EXPECT_EQ(emoji["body_text"], "\xf0\x9f\x98\x80");
    EXPECT_EQ(emoji["body_truncated"], true);
    json exact = Body(u"abc", u"<i>abc</i>", LMcpBodyBoth, 10);
    EXPECT_FALSE(exact.contains("body_truncated"));
    json cut_html = Body(u"abc", u"<i>abc</i>", LMcpBodyBoth, 4);
    EXPECT_EQ(cut_html["body_html"], "<i>a");
    EXPECT_EQ(cut_html["body_truncated"], true);
}

TEST(McpSearchEngine, MatchExpressionTable) {
    struct {
        const char16_t* query;
        const char16_t* match;  // null: no term
    } cases[] = {
        {u"budget \"due date\" -spam OR paid", u"\"budget\"* AND \"due date\" NOT \"spam\"* OR \"paid\"*"},
        {u"a -b", u"\"a\"* NOT \"b\"*"},
        {u"-b", nullptr},
        {u"x OR OR y", u"\"x\"* OR \"y\"*"},
        {u"OR x", u"\"x\"*"},
        {u"x OR", u"\"x\"*"},
        {u"x or y", u"\"x\"* AND \"or\"* AND \"y\"*"},
        {u"x AND NOT y", u"\"x\"* AND \"AND\"* AND \"NOT\"* AND \"y\"*"},
        {u"\"open phrase", u"\"open phrase\""},
        {u"it's", u"\"it's\"*"},
        {u"say \"\"hi\"", u"\"say\"* AND \"hi\"\"\"*"},  // an empty phrase, then a word
        {u"a\"b", u"\"a\"\"b\"*"},
        {u"!!! ... ---", nullptr},
        {u"caf\u00e9 \u6771\u4eac", u"\"caf\u00e9\"* AND \"\u6771\u4eac\"*"},
        {u"x - y", u"\"x\"* AND \"y\"*"},
        {u"x -", u"\"x\"*"},
        {u"1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17 18",
         u"\"1\"* AND \"2\"* AND \"3\"* AND \"4\"* AND \"5\"* AND \"6\"* AND \"7\"* AND \"8\"* AND \"9\"* AND \"10\"* "
         u"AND \"11\"* AND \"12\"* AND \"13\"* AND \"14\"* AND \"15\"* AND \"16\"*"},
    };
    for (const auto& c : cases) {
        LString out;
        bool ok = LMcpBuildFtsMatch(c.query, out);
        EXPECT_EQ(ok, c.match != nullptr) << LToUtf8(c.query);
        if (c.match) {
            EXPECT_EQ(LToUtf8(out), LToUtf8(c.match)) << LToUtf8(c.query);
        }
    }
    LString like;
    LMcpEscapeLike(like, u"100%_a\\b");
    EXPECT_EQ(LToUtf8(like), "100\\%\\_a\\\\b");
    EXPECT_EQ(LToUtf8(LMcpSortOrder(u"SUBJECT_ASC")), "UPPER(COALESCE(m.SUBJECT, '')) ASC, m.RECEIVED_UTC DESC, m.ID DESC");
    EXPECT_EQ(LMcpSortOrder(u"newest"), nullptr);
}

TEST(McpArguments, NumbersAreClampedBeforeAnyConversion) {
    struct {
        const char* args;
        bool number;
        int64_t value;
    } cases[] = {
        {"{\"n\":5}", true, 5},          {"{\"n\":2.9}", true, 2},        {"{\"n\":-2.9}", true, 1},
        {"{\"n\":1e300}", true, 50},     {"{\"n\":-1e300}", true, 1},     {"{\"n\":99999999999999999999}", true, 50},
        {"{\"n\":\"5\"}", false, 10},    {"{\"n\":null}", false, 10},     {"{}", false, 10},
    };
    for (const auto& c : cases) {
        LMcpRequestBody body;
        LMcpParseRequestBody(c.args, std::strlen(c.args), body);
        int64_t v = 0;
        EXPECT_EQ(LMcpGetIntArg(body.value, "n", 1, 50, 10, &v), c.number) << c.args;
        EXPECT_EQ(v, c.value) << c.args;
    }
    LMcpRequestBody body;
    const char* huge = "{\"t\":1e30,\"u\":-1e30}";
    LMcpParseRequestBody(huge, std::strlen(huge), body);
    int64_t t = 0, u = 0;
    EXPECT_TRUE(LMcpGetTimeArg(body.value, "t", &t));
    EXPECT_TRUE(LMcpGetTimeArg(body.value, "u", &u));
    EXPECT_GT(t, INT64_C(9200000000000000000));
    EXPECT_LT(u, INT64_C(-9200000000000000000));
}

// An argument of another type than its schema's is named as such, never
// taken for a missing one; null still counts as not given.
TEST(McpArguments, WrongTypesAreNamed) {
    LTestToolStore store;
    struct {
        const char* tool;
        const char* args;
        const char* text;
    } cases[] = {
        {"get_thread", "{\"email_id\":5}", "get_thread argument email_id must be a string."},
        {"get_mail", "{\"email_id\":[\"x\"]}", "get_mail argument email_id must be a string."},
        {"search_mail", "{\"query\":\"x\",\"limit\":\"10\"}", "search_mail argument limit must be a number."},
        {"check_search_index", "{\"deep\":\"true\"}", "check_search_index argument deep must be a boolean."},
        {"get_mail_batch", "{\"email_ids\":\"x\"}", "get_mail_batch argument email_ids must be an array."},
        {"list_recent_mail", "{\"cursor\":\"x\"}", "list_recent_mail argument cursor must be an object."},
        {"advanced_search_mail", "{\"mailboxes\":5}",
         "advanced_search_mail argument mailboxes must be a string or an array of strings."},
        {"get_mail", "{\"email_id\":\"x\",\"body_format\":1}", "get_mail argument body_format must be a string."},
        {"get_mail", "{\"email_id\":\"x\",\"max_body_chars\":\"9\"}",
         "get_mail argument max_body_chars must be a number."},
        {"send_mail", "{\"to\":{}}", "send_mail argument to must be a string."},
        {"get_thread", "{\"email_id\":null}", "get_thread requires email_id or subject."},
    };
    for (const auto& c : cases) {
        LTestToolAnswer a = store.Call(c.tool, c.args);
        EXPECT_TRUE(a.is_error) << c.tool << " " << c.args;
        EXPECT_EQ(a.text, c.text) << c.tool << " " << c.args;
    }
}

time_t g_now = 0;
time_t FakeNow() { return g_now; }

// The day's count lives in the database under the quota lock: a slot goes
// back only to the day it was taken on, and a new day starts at 0.
TEST(McpSendQuota, DaysAndReturns) {
    LTestToolStore store;
    auto set = [&](const char16_t* item, const char16_t* value) {
        store.db.ExecF(u"INSERT OR REPLACE INTO main.APPSETTINGS VALUES ('MCP', '%Q', '%Q', '');", item, value);
    };
    LSetNowFuncForTests(FakeNow);
    g_now = 1717199990;  // 2024-05-31 23:59:50 UTC
    LStringA out;
    LJsonWriter w(out);
    int32_t limit = 0, used = 0;
    LMcpSendSlot slot;
    EXPECT_FALSE(LMcpTakeSendQuota(w, store.db, u"send_mail", &limit, &used, &slot));
    EXPECT_NE(out.Str().find("send_mail is disabled. Enable MCP send actions on the MCP page first."), std::string::npos);
    set(u"SendEnabled", u"1");
    set(u"SendDailyLimit", u"0");
    EXPECT_TRUE(LMcpTakeSendQuota(w, store.db, u"send_mail", &limit, &used, &slot));
    EXPECT_EQ(limit, 10);
    set(u"SendDailyLimit", u"3");
    EXPECT_TRUE(LMcpTakeSendQuota(w, store.db, u"send_mail", &limit, &used, &slot));
    LMcpSendSlot before_midnight;
    EXPECT_TRUE(LMcpTakeSendQuota(w, store.db, u"send_mail", &limit, &used, &before_midnight));
    EXPECT_EQ(used, 3);
    out.Clear();
    EXPECT_FALSE(LMcpTakeSendQuota(w, store.db, u"send_mail", &limit, &used, &slot));
    EXPECT_NE(out.Str().find("send_mail cannot send more mail today because the MCP daily send limit of 3 has been "
                             "reached."),
              std::string::npos);

    g_now = 1717200010;  // 2024-06-01 00:00:10 UTC
    EXPECT_TRUE(LMcpTakeSendQuota(w, store.db, u"send_mail", &limit, &used, &slot));
    EXPECT_EQ(used, 1);
    // The slot taken before midnight belongs to the day that has passed.
    LMcpReturnSendQuota(store.db, before_midnight);
    bool enabled = false;
    char16_t today[16];
    LMcpGetSendQuota(store.db, &enabled, &limit, &used, today);
    EXPECT_EQ(used, 1);
    EXPECT_EQ(LToUtf8(today), "2024-06-01");
    LMcpReturnSendQuota(store.db, slot);
    LMcpReturnSendQuota(store.db, slot);  // never below 0
    LMcpGetSendQuota(store.db, &enabled, &limit, &used, today);
    EXPECT_EQ(used, 0);
    LSetNowFuncForTests(nullptr);
}

}  // namespace
