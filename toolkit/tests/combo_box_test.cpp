// The drop-down list: its messages on the headless layer (bounds, the
// program's choice that tells no one), and on GTK the user's choice made
// with the keyboard, which reaches the record and the parent.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "tests/support/test_display.h"
#include "tests/support/test_pump.h"
#include "tests/support/test_root.h"
#include "toolkit/combo_box.h"
#include "toolkit/window.h"

namespace {

struct Host : LDialog {
    std::vector<std::pair<int, int>> commands;
    void OnCommand(int id, int code) override { commands.emplace_back(id, code); }
};

LHwnd ShowWithList(Host& host, int id, std::initializer_list<const char16_t*> entries) {
    LDialogCreate t;
    t.title = u"Choices";
    t.style = LWS_POPUP | LWS_CAPTION | LWS_VISIBLE;
    LHwnd dlg = LCreateDialog(t, LHwnd::Null, LDialogProc, reinterpret_cast<LLParam>(&host));
    LMoveWindow(dlg, 100, 100, 300, 120, true);
    LHwnd list = host.CreateChild(id, u"ComboBox", u"", LWS_VISIBLE | LWS_TABSTOP | LCBS_DROPDOWNLIST, 0);
    LMoveWindow(list, 20, 20, 200, 30, true);
    for (const char16_t* e : entries) LSendMessage(list, LCB_ADDSTRING, 0, reinterpret_cast<LLParam>(e));
    return dlg;
}

TEST(ComboBox, MessagesKeepTheListAndTheChoiceInBounds) {
    ASSERT_TRUE(LWindowLayerOpen(LBackendKind::Headless));
    Host host;
    LHwnd dlg = ShowWithList(host, 112, {u"first", u"second"});
    LHwnd list = LGetDlgItem(dlg, 112);
    EXPECT_STREQ(LWindowRole(list), "combo box");
    EXPECT_EQ(LSendMessage(list, LCB_GETCOUNT, 0, 0), 2);
    EXPECT_EQ(LSendMessage(list, LCB_GETCURSEL, 0, 0), -1);
    EXPECT_EQ(LSendMessage(list, LCB_SETCURSEL, 1, 0), 1);
    EXPECT_EQ(LSendMessage(list, LCB_GETLBTEXTLEN, 1, 0), 6);
    char16_t text[8];
    EXPECT_EQ(LSendMessage(list, LCB_GETLBTEXT, 1, reinterpret_cast<LLParam>(text)), 6);
    EXPECT_EQ(std::u16string(text), u"second");
    // Out of range: an error, and the choice is cleared, not kept stale.
    EXPECT_EQ(LSendMessage(list, LCB_GETLBTEXT, 2, reinterpret_cast<LLParam>(text)), LCB_ERR);
    EXPECT_EQ(LSendMessage(list, LCB_SETCURSEL, 7, 0), LCB_ERR);
    EXPECT_EQ(LSendMessage(list, LCB_GETCURSEL, 0, 0), -1);
    // The program's own choice is not news to the parent.
    LMsg m;
    while (LPeekMessage(&m, true)) LDispatchMessage(m);
    EXPECT_TRUE(host.commands.empty());
    // A hostile caller cannot grow the list without bound.
    for (size_t i = 2; i < LComboMaxItems; ++i) LSendMessage(list, LCB_ADDSTRING, 0, reinterpret_cast<LLParam>(u"x"));
    EXPECT_EQ(LSendMessage(list, LCB_ADDSTRING, 0, reinterpret_cast<LLParam>(u"one too many")), LCB_ERR);
    LSendMessage(list, LCB_RESETCONTENT, 0, 0);
    EXPECT_EQ(LSendMessage(list, LCB_GETCOUNT, 0, 0), 0);
    LDestroyWindow(dlg);
}

TEST(ComboBox, UsersChoiceOnGtkReachesTheRecordAndTheParent) {
    LTestDisplay& d = LTestDisplay::Shared();
    ASSERT_TRUE(d.Ok()) << d.Error();
    ASSERT_TRUE(LWindowLayerOpen(LBackendKind::Gtk));
    Host host;
    LHwnd dlg = ShowWithList(host, 112, {u"first", u"second", u"third"});
    LHwnd list = LGetDlgItem(dlg, 112);
    LSendMessage(list, LCB_SETCURSEL, 0, 0);
    LForceForegroundWindow(dlg);
    LSetFocus(list);
    for (int i = 0; i < 10; ++i) LTestPumpUntil([] { return true; });
    std::string wid = LTestRunCapture({"xdotool", "search", "--onlyvisible", "--name", "^Choices$"}, 10000);
    ASSERT_FALSE(wid.empty());
    LTestRunCapture({"xdotool", "key", "--window", wid.substr(0, wid.find('\n')), "Down"}, 10000);
    ASSERT_TRUE(LTestPumpUntil([&] { return !host.commands.empty(); }));
    EXPECT_EQ(host.commands.front(), std::make_pair(112, static_cast<int>(LCBN_SELCHANGE)));
    EXPECT_EQ(LSendMessage(list, LCB_GETCURSEL, 0, 0), 1);
    LDestroyWindow(dlg);
}

}  // namespace
