#include "web/http/activity_log.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>

#include "foundation/date_time.h"
#include "foundation/time_source.h"
#include "foundation/utf8.h"
#include "tests/support/test_root.h"
#include "web/http/app_settings_write.h"
#include "web/http/routes.h"
#include "web/http/tests/http_harness.h"
#include "web/http/weblet.h"

namespace {

TEST(ActivityLog, CategoryOfStrictNames) {
    struct Case {
        const char16_t* name;
        const char* category;
    } cases[] = {
        {u"2026-12-09.csv", "activity"},   {u"2026-12-09 ERROR.csv", "error"}, {u"2026-12-09 EMAIL.csv", "email"},
        {u"2026-12-09 MCP.csv", "mcp"},    {u"2026-12-09 error.csv", ""},      {u"2026-12-9.csv", ""},
        {u"x2026-12-09.csv", ""},          {u"../main.db", ""},                {u"2026-12-09.csv.gz", ""},
        {u"2026-12-09/../x.csv", ""},      {u"", ""},
    };
    for (const Case& c : cases) EXPECT_STREQ(LActivityLogCategoryOf(c.name), c.category) << LToUtf8(c.name);
}

// Every log file of the Logs folder is shared with the group, whatever the
// umask of the process.
TEST(ActivityLog, LogFilesAreSharedWhateverTheUmask) {
    mode_t old = umask(0077);
    {
        LTestWebServer web;
        ASSERT_TRUE(web.Start());
        web.Curl({}, "/missing.html");  // the access log and the error log
        LActivityLog(u"a line");
        int files = 0;
        for (const auto& e : std::filesystem::directory_iterator(web.root.DataFolder() + "/Logs")) {
            struct stat st;
            ASSERT_EQ(lstat(e.path().c_str(), &st), 0);
            EXPECT_EQ(st.st_mode & 07777, 0660u) << e.path();
            ++files;
        }
        EXPECT_GE(files, 3);
    }
    umask(old);
}

TEST(ActivityLog, LinesGoToTheDailyFileOfTheirCategoryCut) {
    LTestRoot root;
    std::u16string long_text(300, u'x');
    LActivityLogEmail(u"%s", long_text.c_str());
    LActivityLog(u"Account %s synced", u"a@b");
    char16_t date[260], clock[260];
    LFormatLocalDateAndTime(LNow(), date, clock);
    std::string day = LToUtf8(date);
    std::string email = LTestReadFile(root.DataFolder() + "/Logs/" + day + " EMAIL.csv");
    ASSERT_GE(email.size(), 22u);
    EXPECT_EQ(email.substr(20), std::string(259, 'x') + "\r\n");
    EXPECT_EQ(email.substr(0, 10), day);
    std::string main = LTestReadFile(root.DataFolder() + "/Logs/" + day + ".csv");
    EXPECT_NE(main.find(" Account a@b synced\r\n"), std::string::npos);
}

void WriteRoute(Weblet& request, LJsonValue& body) {
    request.OpenDatabase();
    LDbAppSettingsWrite(request, body);
}
[[maybe_unused]] const LWebletRoute* g_write = LWebletRegisterJsonRoute(u"test/appsettings-write", WriteRoute, 0);

TEST(AppSettingsWrite, RowsOfASectionAndRefusals) {
    LTestWebServer web;
    ASSERT_TRUE(web.Start());
    auto post = [&](const std::string& body) {
        std::string r = web.Raw("POST /test/appsettings-write HTTP/1.1\r\nConnection: close\r\nContent-Length: " +
                                std::to_string(body.size()) + "\r\n\r\n" + body);
        return r.substr(0, r.find("\r\n"));
    };
    EXPECT_EQ(post("{\"section\":\"MCP\",\"items\":[{\"ITEM\":\"a\",\"VALUE\":2.9},{\"ITEM\":\"b\",\"VALUE\":true},"
                   "{\"ITEM\":\"c\",\"VALUE\":\"it's\"},{\"ITEM\":\"d\",\"VALUE\":null}]}"),
              "HTTP/1.1 200 OK");
    LAppDatabaseAccount db(true);
    auto value = [&](const char* item) {
        char16_t out[260] = {0};
        LString sql;
        sql.Format(u"SELECT IFNULL(VALUE, 'NULL') FROM main.APPSETTINGS WHERE SECTION = 'MCP' AND ITEM = '%s';", item);
        db.QueryText(sql.c_str(), out);
        return LToUtf8(out);
    };
    EXPECT_EQ(value("a"), "2");
    EXPECT_EQ(value("b"), "1");
    EXPECT_EQ(value("c"), "it's");
    EXPECT_EQ(value("d"), "NULL");
    EXPECT_EQ(post("{\"items\":[]}"), "HTTP/1.1 400 Missing section parameter");
    EXPECT_EQ(post("{\"section\":\"ServerConfig\"}"), "HTTP/1.1 403 Forbidden. Section is read-only.");
    EXPECT_EQ(post("{\"section\":\"\"}"), "HTTP/1.1 403 Forbidden. Section is read-only.");
    EXPECT_EQ(post("{\"section\":\"MCP\",\"items\":{}}"), "HTTP/1.1 400 Invalid items parameter");
    EXPECT_EQ(post("{\"section\":\"MCP\",\"items\":[{\"ITEM\":\"e\",\"VALUE\":1},{\"VALUE\":2}]}"),
              "HTTP/1.1 400 Invalid set parameter, item required");
    EXPECT_EQ(value("e"), "");  // nothing of a refused batch is written
    EXPECT_EQ(post("{\"section\":\"MCP\"}"), "HTTP/1.1 200 OK");
}

}  // namespace
