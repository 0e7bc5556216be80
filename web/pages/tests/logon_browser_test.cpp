// The log-on and password dialogs in a real browser: Playwright drives the
// machine's Chromium through tests/web-browser/logon_check.mjs against the
// in-process server with the interface files the program carries.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "engine/site_files.h"
#include "foundation/json_value.h"
#include "foundation/reg_settings.h"
#include "foundation/utf8.h"
#include "net/smtp/smtp_sender.h"
#include "tests/support/npm_folder.h"
#include "tests/support/smtp_server.h"
#include "web/http/tests/http_harness.h"
#include "web/pages/account_file.h"

namespace {

std::string Text(const LJsonValue& v, const char* name) {
    const LJsonValue* m = v.FindMember(name);
    return m && m->IsString() ? m->text.Str() : "<missing " + std::string(name) + ">";
}

TEST(LogonBrowser, DialogsInChromium) {
    if (access("/usr/bin/chromium", X_OK) != 0) GTEST_SKIP() << "chromium is not installed (scripts/packages/web.txt)";
    std::string driver = LTestNpmFolder("web-browser", "playwright-core");
    ASSERT_FALSE(driver.empty()) << "npm ci of tests/web-browser failed";

    LTestWebServer web;
    // The interface files as the service puts them in place.
    ASSERT_TRUE(LWebSiteFilesInstall(web.WebFolder()));
    ASSERT_TRUE(web.Start());
    std::string session = web.MakeSession();
    ASSERT_TRUE(LWebAccountWrite("local", {{"Password", "right"}}));
    ASSERT_TRUE(LWebAccountWrite("ann@example.org", {{"Password", "annpw"}}));
    LTestSmtpServer smtp(web.root.Path() + "/smtp", {});
    ASSERT_TRUE(smtp.Ready());
    LRegSettingsSet(LEmailSettingsSection, u"DefaultsSet", u"1");
    LRegSettingsSet(LEmailSettingsSection, u"SendDirect", u"0");
    LRegSettingsSet(LEmailSettingsSection, u"MailSMTPHost",
                    LFromUtf8("127.0.0.1:" + std::to_string(smtp.Port())).c_str());

    std::string base = web.Url("");
    LTestCurlResult run =
        LTestRunCaptured({"node", driver + "/logon_check.mjs", "/usr/bin/chromium", base, session}, 300000);
    std::string last = run.output.substr(run.output.rfind('{', run.output.find("{\"dialogs\"")));
    LJsonValue out;
    ASSERT_EQ(out.Parse(last.c_str(), last.size()), 0u) << run.output;
    EXPECT_EQ(out.FindMember("failure"), nullptr) << run.output;

    // No injected target ran script or left the site.
    EXPECT_EQ(out.Member("dialogs").AsInt64(), 0);
    EXPECT_EQ(out.Member("foreignRequests").count, 0u) << last;
    const LJsonValue& crafted = out.Member("crafted");
    ASSERT_EQ(crafted.count, 6u) << last;
    for (size_t i = 0; i < crafted.count; ++i) {
        std::string onok = Text(crafted.elements[i], "onok");
        EXPECT_EQ(Text(crafted.elements[i], "url"), base + (onok == "lostpasswordsent" ? "/lostpasswordsent" : "/main"))
            << onok;
    }

    // Each error row sits right above its control.
    struct Case {
        const char* dialog;
        const char* text;
    };
    const Case errors[] = {
        {"logon", "Login failed. Please check you have the right password."},
        {"changepassword", "The reentered new password does not match the first entry of the new password."},
        {"lostpassword", "This user doesn't exist in the Porlinex System"},
    };
    for (const Case& c : errors) {
        const LJsonValue& e = out.Member("errors").Member(c.dialog);
        EXPECT_EQ(Text(e, "text"), c.text) << c.dialog;
        const LJsonValue* next = e.FindMember("nextToControl");
        EXPECT_TRUE(next && next->kind == LJsonBool && next->payload.b) << c.dialog;
    }

    EXPECT_EQ(Text(out, "changed"), base + "/changepasswordchanged");
    EXPECT_NE(Text(out, "changedText").find("Your password has been changed."), std::string::npos);
    EXPECT_EQ(Text(out, "sent"), base + "/lostpasswordsent");
    ASSERT_TRUE(smtp.WaitForMessages(1, 30000));
    EXPECT_EQ(smtp.Messages()[0].rcptTos, std::vector<std::string>{"ann@example.org"});
    EXPECT_NE(smtp.Messages()[0].data.find("Password: "), std::string::npos);
}

}  // namespace
