// Window utilities and tips on the headless backend: placement on the work
// area, font variants, command links, focus leaving a disabled item, colour
// hooks, and the tooltip, balloon and link-hint rules.
#include <gtest/gtest.h>

#include "toolkit/headless.h"
#include "toolkit/window.h"

int LFontHeight(const LFontDesc& f);

namespace {

struct Plain : LDialog {};

LHwnd Bind(LWindow* object, LHwnd owner = LHwnd::Null) {
    LDialogCreate t;
    t.style = LWS_POPUP | LWS_CAPTION | LWS_VISIBLE;
    return LCreateDialog(t, owner, LDialogProc, reinterpret_cast<LLParam>(object));
}

class Utils : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(LWindowLayerOpen(LBackendKind::Headless));
        LHeadlessSetScreen({0, 0, 1920, 1080}, {0, 0, 1920, 1040});
    }
};

TEST_F(Utils, PlacementStaysOnTheWorkArea) {
    Plain wide, parent, child;
    Bind(&wide);
    LMoveWindow(wide.hwnd, 0, 0, 2500, 300, true);
    wide.CenterOnDesktop();
    LRect r = LGetWindowRect(wide.hwnd);
    EXPECT_EQ(r.left, 0);  // 10, then pulled back to end at the right edge
    EXPECT_EQ(r.Width(), 1920);
    EXPECT_EQ(r.right, 1920);

    Bind(&parent);
    LMoveWindow(parent.hwnd, 100, 0, 400, 200, true);
    Bind(&child, parent.hwnd);
    LMoveWindow(child.hwnd, 0, 0, 200, 300, true);
    child.CenterOnParent();
    r = LGetWindowRect(child.hwnd);
    EXPECT_EQ(r.left, 200);
    EXPECT_EQ(r.top, 0);  // the parent's middle is above half the window's height

    child.SetClientSize(300, 100);
    EXPECT_EQ(LGetClientRect(child.hwnd).right, 300);
    EXPECT_EQ(LGetClientRect(child.hwnd).bottom, 100);
    LDestroyWindow(parent.hwnd);
    LDestroyWindow(wide.hwnd);
}

TEST_F(Utils, FontVariantsAndCommandLinks) {
    Plain p;
    Bind(&p);
    LFontDesc base = LGetInterfaceFont();
    base.points = 8.25;  // 11 pixels
    LSetWindowFont(p.hwnd, LMakeFont(base), true);
    LFont variant;
    LCreateWindowFontVariant(variant, p.hwnd, 2, true, false);
    EXPECT_EQ(LFontHeight(*variant), -13);
    EXPECT_EQ(variant->weight, 700);

    for (const char16_t* note : {u"", u"With a note"}) {
        LHwnd link = p.CreateCommandLink(500, u"Open", note);
        EXPECT_EQ(LGetWindowText(link), *note ? u"Open\nWith a note" : u"Open");
        EXPECT_EQ(LGetDlgItem(p.hwnd, 1500), LHwnd::Null);
        LDestroyWindow(link);
    }
    LDestroyWindow(p.hwnd);
}

TEST_F(Utils, DisablingTheFocusedItemMovesTheFocusBackFirst) {
    Plain p;
    Bind(&p);
    LHwnd a = p.CreateChild(11, u"Button", u"A", LWS_VISIBLE | LWS_TABSTOP, 0);
    LHwnd b = p.CreateChild(12, u"Button", u"B", LWS_VISIBLE | LWS_TABSTOP, 0);
    LSetFocus(b);
    p.EnableItem(12, false);
    EXPECT_FALSE(LIsWindowEnabled(b));
    LMsg m;
    while (LPeekMessage(&m, true)) LDispatchMessage(m);
    EXPECT_EQ(LGetFocus(), a);
    LDestroyWindow(p.hwnd);
}

TEST_F(Utils, ColourHooksGiveControlsTheirColours) {
    Plain p;
    Bind(&p);
    LHwnd label = p.CreateChild(20, u"Static", u"Link", LWS_VISIBLE, 0);
    p.SetItemTextColors(20, LRgb(0, 0, 0xC0), LSolidBrush(LRgb(255, 255, 255)));
    LControlColors c = LGetControlColors(label);
    EXPECT_TRUE(c.has_text);
    EXPECT_EQ(c.text, LRgb(0, 0, 0xC0));
    EXPECT_TRUE(c.has_background);
    EXPECT_EQ(c.background, LRgb(255, 255, 255));
    LHwnd edit = p.CreateChild(21, u"Edit", u"", LWS_VISIBLE, 0);
    p.AddMessageHook(LWM_CTLCOLOREDIT, LHookEditPromptColor, LHwndToParam(edit), 0, 0);
    LSetProp(edit, "PromptActive", 1);
    LInvalidate(edit);
    EXPECT_EQ(LGetControlColors(edit).text, 0x555555u);
    LSetProp(edit, "PromptActive", 0);
    LInvalidate(edit);
    EXPECT_FALSE(LGetControlColors(edit).has_text);
    LDestroyWindow(p.hwnd);
}

TEST_F(Utils, TooltipTextsAndTheLinkHint) {
    Plain p;
    Bind(&p);
    LHwnd item = p.CreateChild(30, u"Button", u"Go", LWS_VISIBLE, 0);
    LHwnd slot = LHwnd::Null;
    EXPECT_EQ(p.AddTooltip(&slot, item, u"Short"), 1);
    std::u16string long_text(300, u'a');
    long_text[258] = 0xD83D;
    long_text[259] = 0xDE00;  // a pair across the cut at 259
    p.UpdateTooltipText(&slot, 30, long_text.c_str());
    char16_t out[260];
    LToolInfo ti;
    ti.tool = item;
    ti.text_out = out;
    LSendMessage(slot, LTTM_GETTEXT, 0, reinterpret_cast<LLParam>(&ti));
    EXPECT_EQ(std::u16string(out).size(), 258u);

    LTrackingTip hint;
    p.ShowLinkHintTip(hint, item, 1900, 500);
    LRect r = LGetWindowRect(hint.tip);
    EXPECT_EQ(r.right, 1920);  // pulled left to end at the work area's edge
    EXPECT_TRUE(LIsWindowVisible(hint.tip));
    p.ShowLinkHintTip(hint, item, 100, 500);
    EXPECT_EQ(LGetWindowRect(hint.tip).left, 100);
    LDestroyWindow(p.hwnd);
}

TEST_F(Utils, BalloonsReplaceEachOtherAndNeedAVisibleWindow) {
    Plain p;
    Bind(&p);
    p.CreateChild(40, u"Edit", u"", LWS_VISIBLE | LWS_TABSTOP, 0);
    p.ShowBalloonTip(40, u"First", 2, u"Title");
    LHwnd first = p.balloon.tip;
    EXPECT_TRUE(LIsWindowVisible(first));
    EXPECT_EQ(LGetFocus(), LGetDlgItem(p.hwnd, 40));
    p.ShowBalloonTip(40, u"Second", 2, u"Title");
    EXPECT_FALSE(LIsWindow(first));
    EXPECT_TRUE(LIsWindowVisible(p.balloon.tip));
    LShowWindow(p.hwnd, LSW_HIDE);
    p.ShowBalloonTip(40, u"Hidden", 2, u"Title");
    EXPECT_EQ(p.balloon.tip, LHwnd::Null);
    EXPECT_EQ(p.balloon.target, LHwnd::Null);
    LDestroyWindow(p.hwnd);
}

}  // namespace
