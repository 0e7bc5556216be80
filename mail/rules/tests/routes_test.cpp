#include <gtest/gtest.h>

#include <map>

#include "mail/store/tests/store_fixture.h"
#include "web/http/tests/http_harness.h"

namespace {

class ServiceRoutesTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(web_.Start());
        LAppDatabaseAccount db(false);
        ASSERT_TRUE(RunMailSchema(db));
        session_ = "porlinex_sess=" + web_.MakeSession();
    }
    // The body of the answer (after the header block).
    std::string Post(const std::string& route, const std::string& body, bool session = true, bool ajax = true) {
        std::vector<std::string> args = {"-X", "POST", "-d", body};
        if (session) args.insert(args.end(), {"-b", session_});
        if (ajax) args.insert(args.end(), {"-H", "X-AJAX: 1"});
        return web_.Curl(args, "/" + route).output;
    }
    static std::string Body(const std::string& reply) {
        size_t at = reply.find("\r\n\r\n");
        return at == std::string::npos ? reply : reply.substr(at + 4);
    }

    LTestWebServer web_;
    std::string session_;
};

const char* kRoutes[] = {"rulesreload", "autoresponder-load", "autoresponder-save", "autoresponder-delete"};

TEST_F(ServiceRoutesTest, SessionFirstThenCsrf) {
    for (const char* route : kRoutes) {
        std::string reply = Post(route, "{}", false, true);
        EXPECT_EQ(reply.rfind("HTTP/1.1 401", 0), 0u) << route << "\n" << reply;
        reply = Post(route, "{}", false, false);
        EXPECT_EQ(reply.rfind("HTTP/1.1 401", 0), 0u) << route << "\n" << reply;
        reply = Post(route, "{}", true, false);
        EXPECT_NE(reply.find("CSRF validation failed"), std::string::npos) << route << "\n" << reply;
    }
    EXPECT_EQ(Body(Post("rulesreload", "{}")), "{\"errorcode\":200,\"errormsg\":\"OK\"}");
}

// A save request: the members of a valid one, each replaced or added by
// the changes (JSON texts by member name).
std::string SaveBody(std::map<std::string, std::string> changes = {}) {
    std::map<std::string, std::string> members = {
        {"name", "\"Away\""},
        {"subject", "\"\""},
        {"body", "\"Back on Monday\""},
        {"frequency", "\"ONCE_PER_DAY\""},
        {"start_utc", "\"1800000000\""},
        {"end_utc", "1800086400"},
        {"priority", "5"},
        {"accounts", "[\"acc1\"]"},
        {"conditions", "[{\"PART\":\"FROM\",\"TEST\":\"CONTAINS\",\"TEST_DETAIL\":\"example\"}]"},
    };
    for (const auto& [name, value] : changes) members[name] = value;
    std::string body;
    for (const auto& [name, value] : members) body += (body.empty() ? "{\"" : ",\"") + name + "\":" + value;
    return body + "}";
}

TEST_F(ServiceRoutesTest, SaveValidationListAndDelete) {
    const std::string invalid = "{\"ok\":false,\"error\":\"Invalid autoresponder values\"}";
    std::string hundred_and_one;
    for (int i = 0; i < 101; ++i)
        hundred_and_one += std::string(i ? "," : "") + "{\"PART\":\"TO\",\"TEST\":\"IS\",\"TEST_DETAIL\":\"x\"}";
    struct Case {
        const char* what;
        std::string body;
    };
    const Case refused[] = {
        {"start equals end", SaveBody({{"end_utc", "\"1800000000\""}})},
        {"priority 1001", SaveBody({{"priority", "1001"}})},
        {"bad test", SaveBody({{"conditions", "[{\"PART\":\"FROM\",\"TEST\":\"LIKE\",\"TEST_DETAIL\":\"x\"}]"}})},
        {"101 conditions", SaveBody({{"conditions", "[" + hundred_and_one + "]"}})},
        {"no accounts", SaveBody({{"accounts", "[]"}})},
        {"bad frequency", SaveBody({{"frequency", "\"HOURLY\""}})},
        {"name not a string", SaveBody({{"name", "7"}})},
        {"id too long", SaveBody({{"id", "\"abcdefghijklm\""}})},
        {"not an object", "[]"},
    };
    for (const Case& c : refused) EXPECT_EQ(Body(Post("autoresponder-save", c.body)), invalid) << c.what;
    EXPECT_EQ(Body(Post("autoresponder-save", SaveBody({{"id", "\"nosuchid\""}}))),
              "{\"ok\":false,\"error\":\"Unable to save autoresponder\"}");
    // All accounts needs no list.
    std::string saved = Body(Post("autoresponder-save", SaveBody({{"accounts", "[]"}, {"all_accounts", "true"}})));
    ASSERT_EQ(saved.rfind("{\"ok\":true,\"id\":\"", 0), 0u) << saved;
    std::string id = saved.substr(17, saved.size() - 19);
    std::string list = Body(Post("autoresponder-load", "{}"));
    EXPECT_NE(list.find("\"ID\":\"" + id + "\",\"NAME\":\"Away\",\"ENABLED\":1,\"START_UTC\":\"1800000000\""),
              std::string::npos)
        << list;
    EXPECT_NE(list.find("{\"AUTORESPONDER_ID\":\"" + id + "\",\"PART\":\"FROM\""), std::string::npos) << list;
    EXPECT_EQ(Body(Post("autoresponder-delete", "{\"id\":\"" + id + "\"}")), "{\"ok\":true}");
    EXPECT_EQ(Body(Post("autoresponder-delete", "{\"id\":\"\"}")),
              "{\"ok\":false,\"error\":\"Unable to delete autoresponder\"}");
    EXPECT_EQ(Body(Post("autoresponder-load", "{}")).find(id), std::string::npos);
}

}  // namespace
