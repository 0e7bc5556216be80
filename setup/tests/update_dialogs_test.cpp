// The interactive version check on the headless window layer, against a
// recording HTTP peer serving the version file: which dialogs come up for
// each answer of the maker's host, and which pages open (recorded by an
// xdg-open stand-in).
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "foundation/lstring.h"
#include "foundation/reg_settings.h"
#include "setup/tests/browser_stand_in.h"
#include "setup/tests/dialog_answers.h"
#include "setup/update_dialogs.h"
#include "setup/update_download.h"
#include "tests/support/http_peer.h"
#include "tests/support/test_root.h"
#include "toolkit/message_box.h"

namespace {

using Answers = LTestDialogAnswers;

constexpr const char* kNewer = "Updated Version Available|An updated version of Porlinex is now available for "
                               "download online. Do you want to see more information about the new version?";
constexpr const char* kNoInfo = "No Version Information|Online version information for Porlinex is not currently "
                                "available.";
constexpr const char* kCurrentOne = "Version Current|Excellent, you are using the most up-to-date version.";
constexpr const char* kCurrentAsk = "Version Current|You are using the current version.\r\n\r\nSign up to the Vek "
                                    "Version Update Newsletter today to be notified of future releases.";
constexpr const char* kFollow = "Follow Vek Software Releases|Sign up to follow Vek Software for automatic, instant "
                                "program release notifications of new versions.";
constexpr const char* kFacebook = "https://facebook.porlinex.invalid/";
constexpr const char* kX = "https://x.porlinex.invalid/";

struct Case {
    const char* name;
    const char* file;     // the version file's body; nullptr: nothing listens
    bool updatedVersion;  // the beta dialog's link instead of the menu command
    const char* svar;     // the split-test list
    const char* disabled; // PromptUpdateDisabled
    std::vector<int> answers;
    std::vector<std::string> shown;
    std::vector<std::string> opened;  // "newsletter" for the newsletter page
};

const Case kCases[] = {
    {"newer, View", "version=2.1&info=http://info.test/new&download=http://d/", false, "", "", {LIDYES},
     {kNewer}, {"http://info.test/new"}},
    {"newer, Cancel", "version=2.1&info=http://info.test/new&download=http://d/", false, "", "", {LIDNO},
     {kNewer}, {}},
    // Versions compare as numbers: 2.1 is newer than 2.02, which is newer
    // than 2.01; 2.010 is 2.01.
    {"2.02 is newer", "version=2.02&info=http://i/&download=http://d/", false, "", "", {LIDNO}, {kNewer}, {}},
    {"2.010 is current", "version=2.010&info=http://i/&download=http://d/", false, "YZwa", "", {LIDCANCEL},
     {kCurrentOne}, {}},
    // Only web addresses reach the opener.
    {"newer, local info address", "version=2.1&info=file:///etc/passwd&download=http://d/", false, "", "", {LIDYES},
     {kNewer}, {}},
    {"newer, prompt disabled", "version=2.1&info=http://info.test/new&download=http://d/", false, "", "1", {},
     {}, {}},
    {"prompt disabled 0 still asks", "version=2.1&info=http://i/&download=http://d/", false, "", "0", {LIDNO},
     {kNewer}, {}},
    {"equal is current, one dialog", "version=2.01&info=http://i/&download=http://d/", false, "YZwa", "",
     {Answers::kChoice + 2}, {kCurrentOne}, {kX}},
    {"current, one dialog, newsletter", "version=2.01&info=http://i/&download=http://d/", false, "YZwa", "",
     {Answers::kChoice + 0}, {kCurrentOne}, {"newsletter"}},
    {"current, two dialogs", "version=2.01&info=http://i/&download=http://d/", false, "YZwm", "",
     {LIDOK, Answers::kChoice + 0}, {kCurrentAsk, kFollow}, {"newsletter", kFacebook}},
    {"current, two dialogs, both declined", "version=2.01&info=http://i/&download=http://d/", false, "YZwm", "",
     {LIDCANCEL, LIDCANCEL}, {kCurrentAsk, kFollow}, {}},
    {"beta link never shows the one dialog", "version=2.01&info=http://i/&download=http://d/", true, "YZwa", "",
     {LIDCANCEL, Answers::kChoice + 1}, {kCurrentAsk, kFollow}, {kX}},
    {"info before version", "info=http://i/&version=2.1&download=http://d/", false, "", "", {}, {kNoInfo}, {}},
    {"no download value", "version=2.1&info=http://i/&download=", false, "", "", {}, {kNoInfo}, {}},
    {"no host", nullptr, false, "", "", {}, {kNoInfo}, {}},
};

class UpdateDialogs : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(LWindowLayerOpen(LBackendKind::Headless)); }
};

TEST_F(UpdateDialogs, EachAnswerOfTheHostLeadsToItsDialogs) {
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        LTestRoot root;
        LTestBrowserStandIn browser(root.Path() + "/bin");
        std::unique_ptr<LTestHttpPeer> peer;
        if (c.file) {
            peer = LTestHttpPeer::Recorder(root.Path() + "/peer", std::string("HTTP/1.0 200 OK\r\n\r\n") + c.file);
            ASSERT_TRUE(peer->Ready());
        }
        LRegSettingsSet(u"Maker", u"DownloadHost", LFromUtf8(peer ? peer->Host() : "127.0.0.1:1").c_str());
        LRegSettingsSet(u"Software", u"SVar", LFromUtf8(c.svar).c_str());
        LRegSettingsSet(u"Settings", u"PromptUpdateDisabled", LFromUtf8(c.disabled).c_str());
        {
            Answers answers(c.answers);
            if (c.updatedVersion)
                LCheckForUpdatedVersion(LHwnd::Null);
            else
                LCheckForUpdates(LHwnd::Null);
            EXPECT_EQ(answers.shown, c.shown);
        }
        // The opener runs on its own: wait for the pages expected.
        auto lines = [&] {
            std::string r = LTestReadFile(browser.Record());
            return size_t(std::count(r.begin(), r.end(), '\n'));
        };
        EXPECT_TRUE(LTestWaitFor(10000, [&] { return lines() >= c.opened.size(); }));
        std::vector<std::string> opened;
        std::string record = LTestReadFile(browser.Record());
        for (size_t at = 0, end; (end = record.find('\n', at)) != std::string::npos; at = end + 1) {
            std::string line = record.substr(at, end - at);
            opened.push_back(line.find("/software/newsletter.html?") != std::string::npos ? "newsletter" : line);
        }
        // Each page is opened by its own process, so they may land in either order.
        std::vector<std::string> expected = c.opened;
        std::sort(opened.begin(), opened.end());
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(opened, expected);
        if (peer) {
            ASSERT_EQ(peer->Requests().size(), 1u);
            EXPECT_EQ(peer->Requests()[0], "GET /versions/porlinex.txt HTTP/1.0\r\nHost: " + peer->Host() + "\r\n\r\n");
        }
    }
}

// No host has the installer: the download says it could not verify one,
// and the update download adds its own error; the upgrade command does not.
TEST_F(UpdateDialogs, AFailedUpdateDownloadIsReported) {
    LTestRoot root;
    for (const char16_t* host : {u"DownloadHost", u"DownloadHostB", u"ComponentHost", u"ComponentHostB"})
        LRegSettingsSet(u"Maker", host, u"127.0.0.1:1");
    const std::string verify = "Error|Cannot verify the install-on-demand component signature. Please contact Vek "
                               "support.";
    {
        Answers answers({});
        EXPECT_EQ(LDownloadUpdate(), 2);
        EXPECT_EQ(answers.shown,
                  (std::vector<std::string>{verify, "Error|The installer could not be downloaded. Please check your "
                                                    "internet connection and firewall settings and try again later."}));
    }
    {
        Answers answers({});
        LDownloadVersionUpgrade();
        EXPECT_EQ(answers.shown, std::vector<std::string>{verify});
    }
}

}  // namespace
