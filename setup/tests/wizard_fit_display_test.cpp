// The installer's licence page on the test display takes the size its
// layout gave it: its long terms wrap inside the page rather than widen
// the wizard beyond its buttons, or beyond the screen.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <regex>

#include "setup/tests/display_driver.h"
#include "tests/support/test_display.h"
#include "tests/support/test_root.h"

namespace {

TEST(WizardFit, LicencePageIsNoWiderThanItsLayout) {
    LTestDisplay& d = LTestDisplay::Shared();
    ASSERT_TRUE(d.Ok()) << d.Error();
    LTestRoot root;
    LTestProcess installer({LTestProgramPath(), "-installer", root.Path() + "/porlinex-setup.run", "-instdata",
                            root.Path() + "/missing.instdata"});
    std::string wizard = LTestFindWindow("^(Installing|Running) Porlinex v 2\\.01$");
    ASSERT_FALSE(wizard.empty());
    int x = 0, y = 0;
    ASSERT_TRUE(LTestFindItem("radio button", "I accept the license terms", x, y));
    std::string info = LTestRunCapture({"xwininfo", "-id", wizard}, 10000);
    auto field = [&](const char* key) {
        size_t p = info.find(key);
        return p == std::string::npos ? -1 : std::atoi(info.c_str() + p + std::strlen(key));
    };
    int left = field("Absolute upper-left X:"), width = field("Width:");
    // The rightmost control's right edge: the layout's width less its margin.
    std::string tree = LTestAccessibleTree();
    std::regex control("\"role\": \"(push button|radio button|label)\", \"name\": \"[^\"]*\", \"x\": (-?\\d+), "
                       "\"y\": -?\\d+, \"width\": (\\d+)");
    int right = 0;
    for (std::sregex_iterator i(tree.begin(), tree.end(), control), end; i != end; ++i)
        right = std::max(right, std::stoi((*i)[2]) + std::stoi((*i)[3]) - left);
    ASSERT_GT(right, 0) << tree;
    EXPECT_LE(width, right + 30) << info << tree;
    EXPECT_LE(left + width, 1280) << info;
    installer.Signal(SIGTERM, 10000);
}

}  // namespace
