// The maker's menu commands of the main window open the configured pages,
// refuse what is no web address, and share the product page encoded.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "desktop/app/app_entry_points.h"
#include "foundation/reg_settings.h"
#include "setup/tests/browser_stand_in.h"
#include "tests/support/test_root.h"

namespace {

TEST(MainWindowCommands, OpenTheConfiguredPagesAndShareTheProductPage) {
    LTestRoot root;
    LTestBrowserStandIn browser(root.Path() + "/bin");
    LRegSettingsSet(u"Maker", u"WebHost", u"www.example.test");
    LRegSettingsSet(u"Maker", u"XPage", u"https://x.example.test/porlinex");
    // A page set to a local file must never reach the opener.
    LRegSettingsSet(u"Maker", u"ForumPage", u"file:///etc/passwd");

    const std::string product = "https%3A%2F%2Fwww.example.test%2Femail%2Findex.html";
    struct {
        int id;
        std::string opened;  // empty: nothing opened
    } cases[] = {
        {9005, "https://www.example.test/email/index.html"},
        {9006, "https://www.example.test/email/support.html"},
        {9012, "https://www.example.test/software/index.html"},
        {9014, ""},
        {9030, "https://facebook.porlinex.invalid/"},
        {9031, "https://x.example.test/porlinex"},
        {9310, "https://facebook.porlinex.invalid/sharer/sharer.php?u=" + product},
        {9311, "https://x.porlinex.invalid/intent/tweet?status=I%20just%20downloaded%20Porlinex.%20Try%20it%20here%3A%20" +
                   product},
        {9316, "https://linkedin.porlinex.invalid/shareArticle?url=" + product},
    };
    std::string expected;
    for (const auto& c : cases) {
        EXPECT_TRUE(LRunMainWindowCommand(nullptr, c.id)) << c.id;
        if (!c.opened.empty()) expected += c.opened + "\n";
        // The opener runs on its own: wait for it before the next command
        // so that the record keeps their order.
        ASSERT_TRUE(LTestWaitFor(10000, [&] { return LTestReadFile(browser.Record()) == expected; }))
            << c.id << "\n" << LTestReadFile(browser.Record());
    }
    EXPECT_FALSE(LRunMainWindowCommand(nullptr, 9999));
    EXPECT_FALSE(LRunMainWindowCommand(nullptr, 1002));
}

}  // namespace
