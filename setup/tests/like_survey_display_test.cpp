// The like survey as a scheduled run meets its user: the real program
// started with -surveysched on a virtual display, driven by mouse and
// keyboard, with a recording browser and a recording report host.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>

#include "foundation/reg_settings.h"
#include "setup/tests/browser_stand_in.h"
#include "setup/tests/display_driver.h"
#include "setup/tests/fake_systemctl.h"
#include "tests/support/test_display.h"
#include "tests/support/test_root.h"
#include "tests/support/tls_peer.h"

namespace {

namespace fs = std::filesystem;

class LikeSurveyOnDisplay : public ::testing::Test {
protected:
    void SetUp() override {
        LTestDisplay& d = LTestDisplay::Shared();
        ASSERT_TRUE(d.Ok()) << d.Error();
        setenv("DISPLAY", d.Display().c_str(), 1);
        // The maker's report host records what it is sent.
        std::string folder = root_.Path() + "/reports";
        fs::create_directories(folder);
        std::ofstream(folder + "/reply", std::ios::binary) << "HTTP/1.0 200 OK\r\nContent-Length: 2\r\n\r\nok";
        int port = LTestFreePort();
        reports_log_ = folder + "/log.jsonl";
        reports_ = std::make_unique<LTestProcess>(LTestRedirectedArgv(
            {"/usr/bin/python3", std::string(PORLINEX_SOURCE_DIR) + "/tests/support/http_peer.py", "--mode", "record",
             "--port", std::to_string(port), "--log", reports_log_, "--ready", folder + "/ready", "--reply",
             folder + "/reply"},
            "/dev/null", folder + "/peer.log"));
        ASSERT_TRUE(LTestWaitFor(20000, [&] { return fs::exists(folder + "/ready"); }));
        LRegSettingsSet(u"Maker", u"ReportHost", LFromUtf8("127.0.0.1:" + std::to_string(port)).c_str());
    }

    static void Click(const std::string& role, const std::string& name) { LTestClickItem(role, name); }
    std::unique_ptr<LTestProcess> StartSurvey() {
        return std::make_unique<LTestProcess>(std::vector<std::string>{LTestProgramPath(), "-surveysched"});
    }
    // Answers "No", writes the comment and submits it; the program ends.
    void Complain(const std::string& comment) {
        auto survey = StartSurvey();
        Click("push button", "No, I did not like it or had problems.");
        Click("text", "");
        // Nothing of the first page stays on screen over the second.
        EXPECT_EQ(LTestAccessibleTree().find("I liked Porlinex"), std::string::npos);
        LTestRunCapture({"xdotool", "type", "--delay", "30", comment}, 20000);
        Click("push button", "Submit");
        EXPECT_EQ(survey->Wait(30000), 0);
    }

    LTestRoot root_;
    LTestBrowserStandIn browser_{root_.Path() + "/bin"};
    LTestFakeSystemctl systemctl_{root_.Path() + "/sbin"};
    std::string reports_log_;
    std::unique_ptr<LTestProcess> reports_;
};

TEST_F(LikeSurveyOnDisplay, LikingOpensThePageAndCommentsLongerThanTenArrive) {
    auto survey = StartSurvey();
    Click("push button", "Yes, I liked Porlinex.");
    EXPECT_EQ(survey->Wait(30000), 0);
    ASSERT_TRUE(LTestWaitFor(10000, [&] { return fs::exists(browser_.Record()); }));
    EXPECT_EQ(LTestReadFile(browser_.Record()).rfind("https://www.porlinex.invalid/software/likeit.html?software=Porlinex"
                                                     "&version=2.01",
                                                     0),
              0u);
    // The run removed its own timer.
    EXPECT_NE(systemctl_.Calls().find("disable --now porlinex-LikeSurvey.timer"), std::string::npos);

    // Ten characters are not worth a report; the program has ended, so
    // anything it meant to send was sent.
    Complain("0123456789");
    EXPECT_EQ(LTestReadFile(reports_log_), "");
    // Eleven are, with '&', '=' and '%' as typed.
    Complain("a&b=c%d 100");
    std::string log = LTestReadFile(reports_log_);
    EXPECT_NE(log.find("POST /cgi-bin/report.exe"), std::string::npos) << log;
    EXPECT_NE(log.find("report=COMMENT&text=COMMENT-a%26b%3Dc%25d%20100&language=en"), std::string::npos) << log;
    EXPECT_EQ(log.find("POST", log.find("POST") + 1), std::string::npos) << "one report only";

    // "Ask Me Later" keeps the survey for the next closing.
    survey = StartSurvey();
    Click("push button", "Ask Me Later");
    EXPECT_EQ(survey->Wait(30000), 0);
    char16_t v[260];
    LRegSettingsGet(u"Software", u"ShowSurvey", u"", v);
    EXPECT_EQ(LToUtf8(v), "1");
}

}  // namespace
