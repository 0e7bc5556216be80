// The launcher in the real program on a virtual display: "-extsuite Media"
// opens it on that tab with the fixture tables; a click on a link and a
// search typed and sent with Enter reach the recording xdg-open; Escape
// closes it, which keeps the tab and counts the opening.
#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
#include <string>

#include "foundation/lstring.h"
#include "foundation/reg_settings.h"
#include "setup/suite_usage.h"
#include "setup/tests/browser_stand_in.h"
#include "setup/tests/maker_peer.h"
#include "tests/support/test_display.h"

namespace {

std::string Source(const std::string& rel) { return std::string(PORLINEX_SOURCE_DIR) + "/" + rel; }

// The centre of the first showing component with this role and name.
bool FindComponent(const std::string& role, const std::string& name, int* x, int* y) {
    std::regex item("\\{\"role\": \"" + role + "\", \"name\": \"" + name +
                    "\", \"x\": (-?\\d+), \"y\": (-?\\d+), \"width\": (\\d+), \"height\": (\\d+)\\}");
    std::smatch m;
    return LTestWaitFor(20000, [&] {
        std::string tree =
            LTestRunCapture({"/usr/bin/python3", Source("toolkit/tests/testdata/atspi_tree.py"), "porlinex"}, 20000);
        if (!std::regex_search(tree, m, item)) return false;
        *x = std::stoi(m[1]) + std::stoi(m[3]) / 2;
        *y = std::stoi(m[2]) + std::stoi(m[4]) / 2;
        return true;
    });
}

void ClickAt(int x, int y) {
    LTestRunCapture({"xdotool", "mousemove", "--sync", std::to_string(x), std::to_string(y), "click", "1"}, 10000);
}

TEST(SuiteLauncherOnDisplay, LinkSearchAndCloseInTheRealProgram) {
    LTestDisplay& display = LTestDisplay::Shared();
    ASSERT_TRUE(display.Ok()) << display.Error();
    LTestRoot root;
    LTestBrowserStandIn browser(root.Path() + "/bin");
    LTestWriteFile(root.Path() + "/etc/porlinex/launcher.txt",
                   "program\tPdfTool\tPDF Tool\tpdfsetup\tpdftool\tReads PDF files.\n"
                   "task\tUtilities\tPdfTool\tMerge PDF files\n"
                   "task\tMedia\tPdfTool\tPrint a poster\n");
    LTestProcess launcher({LTestProgramPath(), "-extsuite", "Media"});

    int x = 0, y = 0;
    ASSERT_TRUE(FindComponent("label", "See more of our software", &x, &y));
    ClickAt(x, y);
    ASSERT_TRUE(FindComponent("text", "", &x, &y));
    ClickAt(x, y);
    LTestRunCapture({"xdotool", "type", "--delay", "20", "pdf tools"}, 10000);
    LTestRunCapture({"xdotool", "key", "Return"}, 10000);
    ASSERT_TRUE(LTestWaitFor(20000, [&] {
        std::string r = LTestReadFile(browser.Record());
        return std::count(r.begin(), r.end(), '\n') == 2;
    })) << LTestReadFile(browser.Record());
    std::string opened = LTestReadFile(browser.Record());
    EXPECT_NE(opened.find("https://www.porlinex.invalid/software/index.html\n"), std::string::npos) << opened;
    EXPECT_NE(opened.find("http://search.porlinex.invalid/search?q=pdf%20tools&site=www2.porlinex.invalid\n"),
              std::string::npos)
        << opened;

    LTestRunCapture({"xdotool", "key", "Escape"}, 10000);
    EXPECT_EQ(launcher.Wait(20000), 0);
    char16_t tab[260] = {0};
    LRegUserSettingsGet(u"Settings", u"SelectedTab", u"", tab);
    EXPECT_EQ(LToUtf8(tab), "Media");
    EXPECT_EQ(LReadSuiteCounter(u"oe"), 1);
}

}  // namespace
