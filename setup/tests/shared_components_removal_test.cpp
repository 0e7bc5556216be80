// Removing the on-demand components at uninstall: registrations and
// folders of both makers go; other folders of a maker stay.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "foundation/lstring.h"
#include "foundation/reg_settings.h"
#include "setup/shared_components_removal.h"
#include "tests/support/test_root.h"

namespace {

namespace fs = std::filesystem;

TEST(SharedComponents, RegistrationsAndFoldersGo) {
    LTestRoot root;
    const std::string machine = root.Path() + "/opt/porlinex/Vek Software/Components/Shared/zlib1x64";
    const std::string user = root.Path() + "/home/.local/share/Vek Dalmor/Components/Shared/w";
    const std::string kept = root.Path() + "/home/.local/share/Vek Dalmor/Other/f";
    for (const std::string& f : {machine + "/z.so", user + "/w.so", kept}) {
        fs::create_directories(fs::path(f).parent_path());
        std::ofstream(f) << "x";
    }
    const char16_t* key = u"Software\\WOW6432Node\\Vek Software\\Components\\zlib1x64";
    ASSERT_TRUE(LRegWriteString(LRegHive::LocalMachine, key, u"Path", LFromUtf8(machine).c_str()));
    ASSERT_TRUE(LRegWriteString(LRegHive::CurrentUser, key, u"Path", LFromUtf8(machine).c_str()));
    char16_t out[260];
    ASSERT_TRUE(LGetComponentPath(u"zlib1x64", out));

    LRemoveSharedComponents();
    EXPECT_FALSE(LGetComponentPath(u"zlib1x64", out));
    LString left;
    EXPECT_FALSE(LRegQueryString(LRegHive::CurrentUser, key, u"Path", left));
    EXPECT_FALSE(fs::exists(root.Path() + "/opt/porlinex/Vek Software"));
    EXPECT_FALSE(fs::exists(root.Path() + "/home/.local/share/Vek Dalmor/Components"));
    EXPECT_TRUE(fs::exists(kept));
}

}  // namespace
