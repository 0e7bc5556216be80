// The table and settings endpoints over real HTTP (curl against the
// in-process listener), with the mail tables made as the service makes them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "foundation/database.h"
#include "mail/store/mail_schema.h"
#include "mail/workers.h"
#include "web/http/tests/http_harness.h"

namespace {

class TableRoutes : public ::testing::Test {
protected:
    void SetUp() override {
        LAppDatabaseAccount db(false);
        ASSERT_TRUE(LEmailAccountsCreateSchema(db));
        LEmailMailboxesCreateSchema(db);
        LRulesCreateSchema(db);
        ASSERT_TRUE(db.Exec(u"INSERT INTO main.RULES (ID, NAME, FUNCTION) VALUES ('r1', 'first', 'move'), ('r2', 'second', 'move');"));
        ASSERT_TRUE(web.Start());
        cookie = "porlinex_sess=" + web.MakeSession();
    }

    // The reply of a JSON POST, from our own pages (X-AJAX) with a session.
    std::string Post(const std::string& route, const std::string& body, bool with_session = true,
                     bool from_page = true) {
        std::vector<std::string> args = {"-X", "POST", "--data-binary", body, "-H", "Content-Type: application/json"};
        if (with_session) args.insert(args.end(), {"-b", cookie});
        if (from_page) args.insert(args.end(), {"-H", "X-AJAX: 1"});
        return web.Curl(args, "/" + route).output;
    }
    std::string Read(const std::string& query, bool with_session = true) {
        std::vector<std::string> args;
        if (with_session) args = {"-b", cookie};
        return web.Curl(args, "/dbtable-read?" + query).output;
    }
    std::string Dump() {
        // Sessions are left out: loading one may refresh its date.
        return LTestRunCaptured({"sqlite3", "-cmd", ".timeout 10000", web.root.DataFolder() + "/main.db",
                                 ".dump EMAILACCOUNTS EMAILMAILBOXES RULES RULES_CONDITIONS APPSETTINGS"})
            .output;
    }
    std::string Query(const std::string& sql) {
        // The server may be writing (a session's date) at the same moment.
        return LTestRunCaptured({"sqlite3", "-cmd", ".timeout 10000", web.root.DataFolder() + "/main.db", sql}).output;
    }
    static std::string Body(const std::string& reply) {
        size_t p = reply.find("\r\n\r\n");
        return p == std::string::npos ? "" : reply.substr(p + 4);
    }
    static std::string StatusLine(const std::string& reply) { return reply.substr(0, reply.find("\r\n")); }

    LTestWebServer web;
    std::string cookie;
};

TEST_F(TableRoutes, InjectionAttemptsAreRefusedAndChangeNothing) {
    const std::string before = Dump();
    struct Case {
        std::string body;
        std::string status;
    };
    const Case writes[] = {
        {R"({"table":"RULES","cmd":"UPDATE","key":"r1","data":{"NAME=1--":"x"}})", "400 Invalid data member."},
        {R"({"table":"RULES","cmd":"UPDATE","key":"r1","data":{"NAME=1,ID":"x"}})", "400 Invalid data member."},
        {R"({"table":"RULES","cmd":"INSERT","key":"r9","data":{"x) VALUES(1);--":"x"}})", "400 Invalid data member."},
        {R"({"table":"RULES","cmd":"INSERT","key":"r9","data":{"NO_SUCH_COLUMN":"x"}})", "400 Invalid data member."},
        {R"({"table":"EMAILACCOUNTS","cmd":"INSERT","key":"","data":{"EMAIL":"x"}})", "400 Missing key parameter"},
        {R"({"table":"RULES","cmd":"DELETEMATCH","match":[{"column":"NAME;","matchtext":"x"}]})",
         "400 Parsed column contains forbidden character."},
        {R"({"table":"RULES","cmd":"DELETEMATCH","match":[]})", "400 Match array is empty."},
        {R"({"table":"RULES","cmd":"UPDATEMATCH","match":[],"data":{"NAME":"y"}})", "400 Match array is empty."},
        {R"({"table":"RULES","cmd":"DELETEMATCH","match":[{"column":"NAME"}]})",
         "400 Invalid match parameter, column and matchtext required"},
        {R"({"table":"RULES","cmd":"DELETEMULTI","keys":["",3]})", "400 Keys array is empty."},
        {R"({"table":"RULES_CONDITIONS","cmd":"DELETEMULTI","keys":["a"]})",
         "400 Primary key was not set in Table Definition."},
        {R"({"table":"RULES","cmd":"insert","key":"r9","data":{}})", "400 Invalid Write Command"},
        {R"({"table":"RULES","cmd":"insert","data":{}})", "400 Missing key parameter"},
        {R"({"table":"rules","cmd":"INSERT","key":"r9","data":{}})", "400 Table not found"},
        {R"({"cmd":"INSERT"})", "400 Missing table parameter"},
        {R"({"table":"RULES"})", "400 Missing cmd parameter"},
        {R"({"table":"RULES","cmd":"INSERT","key":"r9"})", "400 Missing data object"},
        {R"({"table":"RULES","cmd":"DELETE","key":")" + std::string(300, 'r') + R"("})", "400 Key too long."},
    };
    for (const Case& c : writes)
        EXPECT_EQ(StatusLine(Post("dbtable-write", c.body)), "HTTP/1.1 " + c.status) << c.body;
    const Case reads[] = {
        {"table=RULES&cmd=SELECTINDEXORDER&orderby=NAME&sort=ASC%20LIMIT%201",
         "400 Parsed sort= contains forbidden character."},
        {"table=RULES&cmd=SELECTINDEXORDER&orderby=NAME;&sort=ASC", "400 Parsed orderby= contains forbidden character."},
        {"table=RULES&cmd=SELECTINDEXMATCH&match=x&column=NAME%3D1", "400 Parsed column= contains forbidden character."},
        {"table=RULES&cmd=SELECTMATCH&match=%5B%7B%22column%22%3A%22NAME%3B%22%2C%22matchtext%22%3A%22x%22%7D%5D",
         "400 Parsed column contains forbidden character."},
        {"table=RULES&cmd=SELECTMATCH&match=notjson", "400 Invalid match parameter"},
        {"table=RULES&cmd=SELECTDATE&datefrom=2020-01-02&dateto=2020-01-01", "400 Invalid date range."},
        {"table=RULES&cmd=SELECT", "400 Missing key= parameter"},
        {"table=RULES&cmd=select", "400 Invalid Read Command"},
        {"table=NOPE&cmd=SELECTALL", "400 Table not found"},
        {"cmd=SELECTALL", "400 Missing table= parameter"},
    };
    for (const Case& c : reads) EXPECT_EQ(StatusLine(Read(c.body)), "HTTP/1.1 " + c.status) << c.body;
    EXPECT_EQ(Dump(), before);
}

TEST_F(TableRoutes, KeyColumnInAnyCaseIsNeverRewritten) {
    for (const char* cmd : {"UPDATE", "UPSERT"}) {
        std::string body = std::string(R"({"table":"RULES","cmd":")") + cmd +
                           R"(","key":"r1","data":{"id":"r2","Id":"zz","NAME":"renamed"}})";
        EXPECT_EQ(StatusLine(Post("dbtable-write", body)), "HTTP/1.1 200 OK") << cmd;
    }
    EXPECT_EQ(Query("SELECT ID || '=' || NAME FROM RULES ORDER BY ID;"), "r1=renamed\nr2=second\n");
    EXPECT_EQ(StatusLine(Post("dbtable-write", R"({"table":"RULES","cmd":"UPDATEMATCH","match":[{"column":"ID",
        "matchtext":"r2"}],"data":{"iD":"r1","NAME":"two"}})")), "HTTP/1.1 200 OK");
    EXPECT_EQ(Query("SELECT ID || '=' || NAME FROM RULES ORDER BY ID;"), "r1=renamed\nr2=two\n");
}

TEST_F(TableRoutes, NumbersRoundTripWhole) {
    std::string mailbox = R"({"table":"EMAILMAILBOXES","cmd":"INSERT","key":"m1","data":{"EMAILACCOUNTS_ID":"a",
        "IMAP_NAME":"INBOX","IMAP_UIDVALIDITY":5000000000,"IMAP_HIGHESTMODSEQ":9007199254740993,
        "IMAP_UIDNEXT":0.1,"IMAP_DELIMITER":null,"LAST_SYNC_UTC":[1],"DELETED":{"x":1}}})";
    ASSERT_EQ(StatusLine(Post("dbtable-write", mailbox)), "HTTP/1.1 200 OK");
    EXPECT_EQ(Query("SELECT IMAP_UIDVALIDITY, IMAP_HIGHESTMODSEQ, IMAP_UIDNEXT = 0.1 FROM EMAILMAILBOXES;"),
              "5000000000|9007199254740993|1\n");
    std::string one = Body(Read("table=EMAILMAILBOXES&cmd=SELECT&key=m1"));
    EXPECT_NE(one.find("\"IMAP_UIDVALIDITY\":5000000000,"), std::string::npos) << one;
    EXPECT_NE(one.find("\"IMAP_HIGHESTMODSEQ\":9007199254740993,"), std::string::npos) << one;
    EXPECT_NE(one.find("\"IMAP_UIDNEXT\":0.1"), std::string::npos) << one;
    EXPECT_EQ(one.find("IMAP_DELIMITER"), std::string::npos) << one;

    // A NULL in the first row hides nothing in the second, in either form.
    Query("INSERT INTO EMAILMAILBOXES (ID, EMAILACCOUNTS_ID, IMAP_NAME, IMAP_DELIMITER) VALUES ('m2','a','Sent','/');");
    std::string all = Body(Read("table=EMAILMAILBOXES&cmd=SELECTALL"));
    EXPECT_NE(all.find("\"IMAP_DELIMITER\":\"/\""), std::string::npos) << all;
    std::string compact = Body(Read("table=EMAILMAILBOXES&cmd=SELECTALL&compact=0"));
    EXPECT_EQ(compact.find("{\"columns\":[\"ID\",\"EMAILACCOUNTS_ID\",\"IMAP_NAME\",\"IMAP_DELIMITER\","), 0u)
        << compact;
    EXPECT_NE(compact.find("[\"m1\",\"a\",\"INBOX\",null,5000000000,"), std::string::npos) << compact;
    EXPECT_NE(compact.find("[\"m2\",\"a\",\"Sent\",\"/\",0,"), std::string::npos) << compact;
}

TEST_F(TableRoutes, WriteCommandsAndTheirReplies) {
    std::string made = Body(Post("dbtable-write", R"({"table":"RULES","cmd":"INSERT","key":"?","data":{"NAME":"n","FUNCTION":"move"}})"));
    ASSERT_EQ(made.size(), std::string("{\"id\":\"0123456789\"}").size()) << made;
    std::string id = made.substr(7, 10);
    EXPECT_EQ(Query("SELECT NAME FROM RULES WHERE ID='" + id + "';"), "n\n");
    EXPECT_EQ(StatusLine(Post("dbtable-write", R"({"table":"RULES","cmd":"INSERT","key":"*","data":{"NAME":"s","FUNCTION":"move"}})")),
              "HTTP/1.1 200 OK");
    EXPECT_EQ(Query("SELECT COUNT(*) FROM RULES WHERE NAME='s' AND length(ID)=10;"), "1\n");

    // A statement the database refuses is reported, not swallowed.
    std::string dup = Body(Post("dbtable-write", R"({"table":"RULES","cmd":"INSERT","key":"r1","data":{}})"));
    EXPECT_EQ(dup.find("{\"errorcode\":500,\"errormsg\":\"Insert failed: "), 0u) << dup;

    // Soft deletion hides the row from the lists but not from SELECT.
    EXPECT_EQ(StatusLine(Post("dbtable-write", R"({"table":"RULES","cmd":"DELETE","key":"r1"})")), "HTTP/1.1 200 OK");
    // Column names and directions in any letter case, as SQL takes them.
    EXPECT_EQ(Body(Read("table=RULES&cmd=SELECTINDEXORDER&orderby=name&sort=desc")), 
              "{\"index\":[\"r2\",\"" + Query("SELECT ID FROM RULES WHERE NAME='s';").substr(0, 10) + "\",\"" + id + "\"]}");
    std::string index = Body(Read("table=RULES&cmd=SELECTINDEX"));
    EXPECT_EQ(index.find("\"r1\""), std::string::npos) << index;
    EXPECT_NE(index.find("\"r2\""), std::string::npos) << index;
    EXPECT_NE(Body(Read("table=RULES&cmd=SELECT&key=r1")).find("\"DELETED\":\"20"), std::string::npos);
    EXPECT_EQ(Body(Read("table=RULES&cmd=SELECT&key=nothing")), "{}");

    EXPECT_EQ(StatusLine(Post("dbtable-write", R"({"table":"RULES","cmd":"DELETEMULTI","keys":["r2",""],"hard":true})")),
              "HTTP/1.1 200 OK");
    EXPECT_EQ(Query("SELECT COUNT(*) FROM RULES WHERE ID='r2';"), "0\n");
    EXPECT_EQ(Body(Read("table=RULES&cmd=SELECTMATCHCOUNT&match=%5B%7B%22column%22%3A%22NAME%22%2C%22matchtext%22%3A%22"
                        "s%22%2C%22matchtype%22%3A%22startswith%22%7D%5D")),
              "{\"COUNT\":1}");
    std::string list = Body(Read("table=RULES&cmd=SELECTLIST&keys=" + id + ",r1&compact=1"));
    EXPECT_EQ(list.find("{\"select\":[{\"ID\":\"" + id + "\""), 0u) << list;
}

TEST_F(TableRoutes, SessionBeforeHostCheck) {
    // A foreign page with no session: 401, not 403.
    std::vector<std::string> foreign = {"-H", "Origin: http://evil.example", "-H", "Referer: http://evil.example/"};
    std::vector<std::string> args = {"-X", "POST", "--data-binary", "{}"};
    args.insert(args.end(), foreign.begin(), foreign.end());
    for (const char* route : {"/dbtable-write", "/lappsettings-read", "/lappsettings-write"}) {
        EXPECT_EQ(StatusLine(web.Curl(args, route).output), "HTTP/1.1 401 Unauthorized") << route;
        std::vector<std::string> with = args;
        with.insert(with.end(), {"-b", cookie});
        EXPECT_EQ(StatusLine(web.Curl(with, route).output), "HTTP/1.1 403 Forbidden. Host not matched.") << route;
    }
    EXPECT_EQ(StatusLine(Read("table=RULES&cmd=SELECTALL", false)), "HTTP/1.1 401 Unauthorized");
}

TEST_F(TableRoutes, SettingsReadAndTheMcpSecrets) {
    Query("INSERT INTO APPSETTINGS VALUES ('Web','Theme','dark','2024-01-01 10:00:00'),"
          "('Web','Gone',NULL,'2024-01-01 09:00:00'),('Web','Old','1','2023-01-01 00:00:00'),"
          "('MCP','BearerAuthKeyHash','secret-hash','2024-01-01 10:00:00'),"
          "('MCP','StdioAuthorization','secret-token','2024-01-01 10:00:00'),"
          "('MCP','Enabled','1','2024-01-01 10:00:00');");
    std::string reply = Body(Post("lappsettings-read",
                                  R"({"sections":[{"name":"Web","lastread":"2024-01-01 09:00:00"},{"name":"MCP"}]})"));
    EXPECT_EQ(reply.find("{\"timestamp\":\""), 0u) << reply;
    EXPECT_NE(reply.find("{\"ITEM\":\"Theme\",\"VALUE\":\"dark\",\"UPDATED\":\"2024-01-01 10:00:00\"}"), std::string::npos);
    EXPECT_NE(reply.find("{\"ITEM\":\"Gone\",\"UPDATED\":\"2024-01-01 09:00:00\"}"), std::string::npos) << reply;
    EXPECT_EQ(reply.find("Old"), std::string::npos) << reply;
    EXPECT_NE(reply.find("\"Enabled\""), std::string::npos) << reply;
    EXPECT_EQ(reply.find("secret"), std::string::npos) << reply;
    EXPECT_NE(reply.find("],\"errorcode\":200,\"errormsg\":\"OK\"}"), std::string::npos) << reply;

    struct Case {
        std::string body;
        std::string status;
    };
    const Case refused[] = {
        {R"({"sections":[{"name":"Web"},{"name":"ServerConfig"}]})", "403 Forbidden. Section is not readable."},
        {R"({"sections":[{"name":""}]})", "403 Forbidden. Section is not readable."},
        {R"({"sections":[{"name":7}]})", "400 Invalid parameter, name required"},
        {R"({"sections":[{"name":"Web","lastread":"yesterday' OR 1"}]})", "400 Invalid lastread parameter"},
    };
    for (const Case& c : refused)
        EXPECT_EQ(StatusLine(Post("lappsettings-read", c.body)), "HTTP/1.1 " + c.status) << c.body;
    std::string empty = Body(Post("lappsettings-read", "{}"));
    EXPECT_EQ(empty.substr(empty.find(",") + 1), "\"sections\":[],\"errorcode\":200,\"errormsg\":\"OK\"}");

    const std::string before = Dump();
    for (const char* item : {"BearerAuthKeyHash", "StdioAuthorizationHash", "StdioAuthorization"}) {
        std::string body = std::string(R"({"section":"MCP","items":[{"ITEM":"Enabled","VALUE":"0"},{"ITEM":")") + item +
                           R"(","VALUE":"mine"}]})";
        EXPECT_EQ(StatusLine(Post("lappsettings-write", body)), "HTTP/1.1 403 Forbidden. Item is not writable.");
    }
    EXPECT_EQ(Dump(), before);
    EXPECT_EQ(StatusLine(Post("lappsettings-write", R"({"section":"Web","items":[{"ITEM":"Big","VALUE":5000000000}]})")),
              "HTTP/1.1 200 OK");
    EXPECT_EQ(Query("SELECT VALUE FROM APPSETTINGS WHERE ITEM='Big';"), "5000000000\n");
}

}  // namespace
