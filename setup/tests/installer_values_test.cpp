// The setup program's -instsvar and -instrefdata values.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "foundation/lstring.h"
#include "foundation/reg_settings.h"
#include "host/cmdline.h"
#include "setup/installer_values.h"
#include "tests/support/test_root.h"

namespace {

TEST(InstallerValues, FirstOccurrenceBeforeTheLastArgumentCounts) {
    struct Case {
        std::vector<std::string> args;
        const char* value;
    } cases[] = {
        {{"setup", "-instsvar", "ab1"}, "ab1"},
        {{"setup", "-INSTSVAR", "ab1", "-instsvar", "cd2"}, "ab1"},
        {{"setup", "-x", "-instsvar"}, ""},
        {{"-instsvar", "x"}, ""},  // the program's own path is no switch
        {{"setup"}, ""},
    };
    for (const Case& c : cases) EXPECT_EQ(LInstallerSwitchValue(c.args, "-instsvar"), c.value);
}

TEST(InstallerValues, StoredFromTheCommandLine) {
    LTestRoot root;
    char arg0[] = "setup", a1[] = "-instrefdata", a2[] = "r=1&x", a3[] = "-last";
    char* argv[] = {arg0, a1, a2, a3};
    LCmdLineInit(4, argv);
    LStoreInstallerRefData();
    LStoreInstallerSVar();
    char16_t out[260] = {0};
    LRegSettingsGet(u"Software", u"RefData", u"", out);
    EXPECT_EQ(LToUtf8(out), "r=1&x");
    EXPECT_FALSE(LRegSettingsExists(u"Software", u"InstallerSVar"));
    LCmdLineInit(0, nullptr);
}

}  // namespace
