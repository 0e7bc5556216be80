// The start-up version check in the real program on the test display:
// after a crash the newer version on the maker's host is offered, and
// "Update" fetches an installer that the program's own keys do not
// verify, so it is never run, the user is told, and the start goes on.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "foundation/lstring.h"
#include "foundation/reg_settings.h"
#include "setup/tests/display_driver.h"
#include "setup/tests/maker_peer.h"

namespace {

namespace fs = std::filesystem;

std::string UserValue(const char16_t* name) {
    char16_t out[260] = {0};
    LRegUserSettingsGet(u"Settings", name, u"", out);
    return LToUtf8(out);
}

TEST(UpdateOnDisplay, AnUpdateSignedByAStrangerIsNeverRun) {
    LTestDisplay& display = LTestDisplay::Shared();
    ASSERT_TRUE(display.Ok()) << display.Error();
    setenv("DISPLAY", display.Display().c_str(), 1);
    LTestRoot root;
    LTestFileServer host(root.Path() + "/www");
    ASSERT_TRUE(host.Ready());
    LTestWriteFile(root.Path() + "/www/versions/porlinex.txt", "version=2.1&info=http://i.test/&download=http://d/");
    // Signed, but with a key that only a test could have made trusted.
    const std::string marker = root.Path() + "/marker";
    const std::string setup = "#!/bin/sh\ntouch '" + marker + "'\n";
    LTestSigner stranger;
    LTestWriteFile(root.Path() + "/www/download/pxsetup.exe", setup);
    LTestWriteFile(root.Path() + "/www/download/pxsetup.exe.sig", stranger.Sign(setup));
    LRegSettingsSet(u"Maker", u"DownloadHost", LFromUtf8(host.Host()).c_str());
    for (const char16_t* dead : {u"DownloadHostB", u"ComponentHost", u"ComponentHostB"})
        LRegSettingsSet(u"Maker", dead, u"127.0.0.1:1");
    LRegUserSettingsSet(u"Settings", u"VersionCheckAfterCrash", u"1");

    LTestProcess program({LTestProgramPath()});
    ASSERT_FALSE(LTestFindWindow("^Updated Version Available$").empty());
    LTestClickItem("push button", "Update");
    int x, y;
    ASSERT_TRUE(LTestFindItem("label", "Cannot verify the install-on-demand component signature.*", x, y));
    LTestClickItem("push button", "OK");
    ASSERT_TRUE(LTestFindItem("label", "The installer could not be downloaded.*", x, y));
    LTestClickItem("push button", "OK");

    // The start goes on; nothing downloaded ever ran.
    EXPECT_TRUE(LTestWaitFor(20000, [&] { return UserValue(u"OSCheck") == "1000"; }));
    EXPECT_TRUE(program.Running());
    EXPECT_FALSE(fs::exists(marker));
    EXPECT_EQ(UserValue(u"NewerVersion"), "210");
    EXPECT_EQ(UserValue(u"VersionCheckAfterCrash"), "");
}

}  // namespace
