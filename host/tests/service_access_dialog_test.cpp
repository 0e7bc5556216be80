// The "Service Permissions" dialog on the headless window layer, under a
// test root with fixture account files: what it shows for the stored
// choice, which choices enable the user list, and what OK writes and
// applies (the tests run as root, so the choice is applied at once).
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>

#include "foundation/lstring.h"
#include "foundation/reg_settings.h"
#include "host/service_access_dialog.h"
#include "tests/support/test_root.h"
#include "toolkit/tests/modal_driver.h"
#include "toolkit/window_layer.h"

namespace {

namespace fs = std::filesystem;
using Dialog = LServiceAccessDialog;

constexpr int kBob = Dialog::kFirstUser, kFay = Dialog::kFirstUser + 1;

class ServiceAccessDialog : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(LWindowLayerOpen(LBackendKind::Headless));
        unsetenv("DISPLAY");
        unsetenv("WAYLAND_DISPLAY");
        fs::create_directories(root_.Path() + "/etc");
        // ann is in sudo and dee's main group is sudo: both are administrators.
        std::ofstream(root_.Path() + "/etc/passwd") << "root:x:0:0:root:/root:/bin/bash\n"
                                                       "ann:x:1001:1001:Ann:/home/ann:/bin/bash\n"
                                                       "bob:x:1002:1002:Bob:/home/bob:/bin/bash\n"
                                                       "dee:x:1004:27:Dee:/home/dee:\n"
                                                       "fay:x:1005:1005:Fay:/home/fay:/bin/bash\n";
        std::ofstream(root_.Path() + "/etc/group") << "root:x:0:\nsudo:x:27:ann\n";
        std::ofstream(root_.Path() + "/etc/login.defs") << "UID_MIN 1000\nUID_MAX 60000\n";
    }
    static LHwnd Item(int id) { return LGetDlgItem(LGetActiveWindow(), id); }
    static bool Checked(int id) { return LSendMessage(Item(id), LBM_GETCHECK, 0, 0) == LBST_CHECKED; }
    static void Click(int id, bool check = true) {
        LSendMessage(Item(id), LBM_SETCHECK, check ? LBST_CHECKED : LBST_UNCHECKED, 0);
        LSendMessage(LGetActiveWindow(), LWM_COMMAND, id, 0);
    }
    static std::string Stored(const char16_t* name) {
        char16_t v[260] = {};
        LRegSettingsGet(u"Service", name, u"", v);
        return LToUtf8(v);
    }

    LTestRoot root_;
};

TEST_F(ServiceAccessDialog, ShowsTheStoredChoiceAndOkWritesAndApplies) {
    if (geteuid() != 0) GTEST_SKIP() << "applies the choice as root";
    struct Case {
        const char16_t *access, *granted;
        int shown;                       // the radio button checked on opening
        std::function<void()> change;    // what the user does before OK
        const char *new_access, *new_granted;
        const char* rule;  // the allowed users in the applied rule; null: nothing applied
    } cases[] = {
        // Ticks are kept, a user is added, and the rule follows.
        {u"2", u"fay;", Dialog::kChosenUsers,
         [] {
             EXPECT_FALSE(Checked(kBob));
             EXPECT_TRUE(Checked(kFay));
             EXPECT_EQ(LGetWindowText(Item(kBob)), u"bob");
             EXPECT_TRUE(LIsWindowEnabled(Item(kBob)));
             // Administrators are not listed: they always have access.
             EXPECT_EQ(Item(kFay + 1), LHwnd::Null);
             Click(kBob);
         },
         "2", "bob;fay;", "[\"ann\", \"bob\", \"dee\", \"fay\"]"},
        // An unchanged choice other than chosen users is not applied again.
        {u"", u"", Dialog::kAllUsers, [] { EXPECT_FALSE(LIsWindowEnabled(Item(kBob))); }, "1", "", nullptr},
        {u"1", u"bob;", Dialog::kAllUsers,
         [] {
             Click(Dialog::kAllUsers, false);
             Click(Dialog::kAdminsOnly);
             EXPECT_FALSE(LIsWindowEnabled(Item(kBob)));
         },
         "0", "bob;", "[\"ann\", \"dee\"]"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.new_access);
        fs::remove(LServicePolkitRulePath());
        LRegSettingsSet(u"Service", u"Access", c.access);
        LRegSettingsSet(u"Service", u"Granted", c.granted);
        LTestWhenModalLoopRuns([&] {
            EXPECT_EQ(LGetWindowText(LGetActiveWindow()), u"Service Permissions");
            EXPECT_TRUE(Checked(c.shown));
            c.change();
            LPostMessage(LGetActiveWindow(), LWM_COMMAND, LIDOK, 0);
        });
        EXPECT_TRUE(LServiceAccessDialogShow(LHwnd::Null));
        EXPECT_EQ(Stored(u"Access"), c.new_access);
        EXPECT_EQ(Stored(u"Granted"), c.new_granted);
        std::string rule = fs::exists(LServicePolkitRulePath()) ? LTestReadFile(LServicePolkitRulePath()) : "";
        if (c.rule) {
            EXPECT_NE(rule.find(c.rule), std::string::npos) << rule;
        } else {
            EXPECT_EQ(rule, "");
        }
    }
}

TEST_F(ServiceAccessDialog, ListFollowsTheThirdChoiceAndCancelWritesNothing) {
    LRegSettingsSet(u"Service", u"Access", u"0");
    LTestWhenModalLoopRuns([&] {
        EXPECT_TRUE(Checked(Dialog::kAdminsOnly));
        EXPECT_FALSE(LIsWindowEnabled(Item(kFay)));
        Click(Dialog::kAdminsOnly, false);
        Click(Dialog::kChosenUsers);
        EXPECT_TRUE(LIsWindowEnabled(Item(kFay)));
        Click(kFay);
        LPostMessage(LGetActiveWindow(), LWM_COMMAND, LIDCANCEL, 0);
    });
    EXPECT_FALSE(LServiceAccessDialogShow(LHwnd::Null));
    EXPECT_EQ(Stored(u"Access"), "0");
    EXPECT_EQ(Stored(u"Granted"), "");
}

}  // namespace
