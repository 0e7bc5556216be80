// The self-painted controls on the headless backend: text cutting and
// italic widths of the draw context, scroll steps and limits, the banner's
// hit tests and clicks, pictures, key names, the key dispatch of a custom
// control, the edit prompt and hyperlinks, and the wizard sheet.
#include <cairo.h>
#include <gtest/gtest.h>

#include <memory>

#include "toolkit/edit_prompt.h"
#include "toolkit/headless.h"
#include "toolkit/key_names.h"
#include "toolkit/notification_banner.h"
#include "toolkit/pango_measure.h"
#include "toolkit/pictures.h"
#include "toolkit/property_sheet.h"
#include "toolkit/scroll_panel.h"
#include "toolkit/tab_control.h"
#include "toolkit/window.h"

namespace {

struct Plain : LDialog {
    std::vector<int> commands;
    void OnCommand(int id, int) override { commands.push_back(id); }
};

LHwnd Bind(LWindow* object, int width = 600, int height = 200) {
    LDialogCreate t;
    t.style = LWS_POPUP | LWS_CAPTION | LWS_VISIBLE;
    LHwnd h = LCreateDialog(t, LHwnd::Null, LDialogProc, reinterpret_cast<LLParam>(object));
    LMoveWindow(h, 0, 0, width, height, true);
    return h;
}

// A cairo image surface and context for one paint pass.
struct Canvas {
    Canvas(int w, int h)
        : surface(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h)), cr(cairo_create(surface)) {}
    ~Canvas() {
        cairo_destroy(cr);
        cairo_surface_destroy(surface);
    }
    void Paint(LHwnd h, LRect r) {
        LPaintStruct ps{cr, r};
        LSendMessage(h, LWM_PAINT, reinterpret_cast<LWParam>(&ps), 0);
    }
    cairo_surface_t* surface;
    cairo_t* cr;
};

class Controls : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(LWindowLayerOpen(LBackendKind::Headless));
        LHeadlessSetScreen({0, 0, 1920, 1080}, {0, 0, 1920, 1040});
    }
};

TEST_F(Controls, WrappingCutsWordsWiderThanTheWidth) {
    Canvas canvas(100, 100);
    LDrawContext dc(canvas.cr, {0, 0, 100, 100}, LHwnd::Null);
    const std::u16string word(60, u'W');
    int one_line = dc.GetWrappedTextHeight(u"W", 1000);
    ASSERT_GT(dc.GetTextWidth(word), 100);
    // Drawn in pieces that each fit: several lines, none wider than 100.
    EXPECT_GE(dc.GetWrappedTextHeight(word, 100), 3 * one_line);
    std::u16string rest = word, piece;
    while (!rest.empty()) {
        int n = dc.FitTextToWidth(&piece, rest, 100);
        ASSERT_GT(n, 0);
        EXPECT_LE(dc.GetWrappedTextWidth(piece, 100), 100);
        rest.erase(0, static_cast<size_t>(n));
    }
    // A first character already too wide still gives one character.
    EXPECT_EQ(dc.FitTextToWidth(&piece, u"WWW", 2), 1);
    EXPECT_EQ(piece, u"W");
    // Words that fit wrap as words.
    EXPECT_LE(dc.GetWrappedTextWidth(u"a few short words here", 60), 60);
}

TEST_F(Controls, ItalicWidthsAddAFifthOfTheHeight) {
    Canvas canvas(10, 10);
    LDrawContext dc(canvas.cr, {0, 0, 10, 10}, LHwnd::Null);
    LFontDesc italic;
    italic.family = "DejaVu Sans";
    italic.points = 12;
    italic.italic = true;
    dc.SetFont(italic);
    int h = LGetFontMetrics(italic).height;
    LSize plain = LMeasureText(italic, u"Slanted", 0);
    EXPECT_EQ(dc.GetTextWidth(u"Slanted") - plain.cx, (h + 5) / 6);
    EXPECT_GT((h + 5) / 6, 0);
}

TEST_F(Controls, ScrollStepsAndLimits) {
    struct {
        int page;
        int step;
    } steps[] = {{100, 5}, {30, 1}, {39, 1}, {40, 2}, {0, 1}};
    for (auto s : steps) EXPECT_EQ(LScrollLineStep(s.page), s.step) << s.page;

    struct Panel : LScrollPanel {
        int content = 0;
        void DrawItems(LDrawContext&, bool measuring) override {
            if (measuring) content_height = content;
        }
    };
    Panel panel;  // registers the class before its item is made
    Plain owner;
    Bind(&owner);
    owner.CreateChild(500, u"LPC", u"", LWS_VISIBLE, 0);
    LMoveWindow(LGetDlgItem(owner.hwnd, 500), 0, 0, 200, 99, true);
    panel.content = 1000;
    panel.Attach(&owner, 500);
    LScrollInfo bar;
    ASSERT_TRUE(LGetScrollInfo(panel.hwnd, LSB_VERT, &bar));
    EXPECT_EQ(bar.page, 100);
    EXPECT_EQ(bar.max, 1000);
    // The shown bar takes its room from the client area.
    EXPECT_EQ(panel.width, 200 - 17);
    EXPECT_TRUE(LScrollBarShown(panel.hwnd, LSB_VERT));
    LSendMessage(panel.hwnd, LWM_VSCROLL, LSB_LINEDOWN, 0);
    EXPECT_EQ(panel.y_pos, 5);
    LSendMessage(panel.hwnd, LWM_VSCROLL, LSB_BOTTOM, 0);
    EXPECT_EQ(panel.y_pos, 900);  // the maximum less the page
    // A thumb message without a drag stays where the thumb is.
    LSendMessage(panel.hwnd, LWM_VSCROLL, LSB_THUMBTRACK, 0);
    EXPECT_EQ(panel.y_pos, 900);
    panel.ScrollToY(-50);
    EXPECT_EQ(panel.y_pos, 0);
    // Each wheel message is one line, whatever its delta.
    LSendMessage(panel.hwnd, LWM_MOUSEWHEEL, LMakeWParam(0, static_cast<uint32_t>(-1200)), 0);
    EXPECT_EQ(panel.y_pos, 5);
    LSendMessage(panel.hwnd, LWM_MOUSEWHEEL, LMakeWParam(0, 1), 0);
    EXPECT_EQ(panel.y_pos, 0);
    // Content shorter than the client area: back to 0, nothing to scroll.
    panel.y_pos = 40;
    panel.content = 50;
    panel.UpdateScrollBars();
    EXPECT_EQ(panel.y_pos, 0);
    EXPECT_EQ(panel.scrolled_y, 0);
    EXPECT_FALSE(LScrollBarShown(panel.hwnd, LSB_VERT));
    EXPECT_EQ(panel.width, 200);
    // A request on a bar whose page exceeds the content stays at 0.
    LSendMessage(panel.hwnd, LWM_VSCROLL, LSB_BOTTOM, 0);
    EXPECT_EQ(panel.y_pos, 0);
    LDestroyWindow(owner.hwnd);
}

TEST_F(Controls, TabControlKeepsItsSelectionAndReportsOnlyUserPicks) {
    Plain owner;
    Bind(&owner);
    LHwnd tabs = owner.CreateChild(101, u"SysTabControl32", u"", LWS_VISIBLE, 0);
    LForwardTabChangeAsCommand(&owner, 101, 1024);
    auto insert = [&](int at, const char16_t* title) {
        return LSendMessage(tabs, LTCM_INSERTITEM, static_cast<LWParam>(at), reinterpret_cast<LLParam>(title));
    };
    auto sel = [&] { return LSendMessage(tabs, LTCM_GETCURSEL, 0, 0); };
    EXPECT_EQ(sel(), -1);
    EXPECT_EQ(insert(0, u"About"), 0);
    EXPECT_EQ(insert(9, u"Credits"), 1);  // past the end: appended
    EXPECT_EQ(insert(1, u"License Terms"), 1);
    EXPECT_EQ(LTabTitles(tabs), (std::vector<std::u16string>{u"About", u"License Terms", u"Credits"}));
    EXPECT_EQ(sel(), 0);
    // Selecting from code answers the old selection and notifies no one.
    EXPECT_EQ(LSendMessage(tabs, LTCM_SETCURSEL, 2, 0), 0);
    EXPECT_EQ(LSendMessage(tabs, LTCM_SETCURSEL, 3, 0), -1);
    EXPECT_EQ(sel(), 2);
    // Deleting the selected last tab moves the selection onto the one before.
    EXPECT_EQ(LSendMessage(tabs, LTCM_DELETEITEM, 2, 0), 1);
    EXPECT_EQ(LSendMessage(tabs, LTCM_DELETEITEM, 2, 0), 0);
    EXPECT_EQ(LSendMessage(tabs, LTCM_GETITEMCOUNT, 0, 0), 2);
    EXPECT_EQ(sel(), 1);
    EXPECT_TRUE(owner.commands.empty());
    // The user's picks: a new tab is one command; the same tab again, or one
    // that does not exist, none.
    LTabPickedByUser(tabs, 0);
    LTabPickedByUser(tabs, 0);
    LTabPickedByUser(tabs, 5);
    LMsg m;
    while (LPeekMessage(&m, true)) LDispatchMessage(m);
    EXPECT_EQ(owner.commands, std::vector<int>{1024});
    EXPECT_EQ(sel(), 0);
    LDestroyWindow(owner.hwnd);
}

TEST_F(Controls, AlphaConversion) {
    std::vector<uint8_t> px = {50, 100, 200, 128, 10, 20, 30, 255, 9, 9, 9, 0};
    LPremultiplyAlpha(px);
    EXPECT_EQ(px, (std::vector<uint8_t>{25, 50, 100, 128, 10, 20, 30, 255, 0, 0, 0, 0}));
    std::vector<uint8_t> tiny = {200, 100, 50};
    LPremultiplyAlpha(tiny);
    EXPECT_EQ(tiny, (std::vector<uint8_t>{200, 100, 50}));

    // Two rows of 3 pixels, padded to 4; the grey is see-through.
    std::vector<uint8_t> pal8 = {0, 1, 2, 0xEE, 1, 0, 7, 0xEE};
    std::vector<uint32_t> palette = {0xC0C0C0, 0x112233, 0xFFFFFF};
    std::vector<uint8_t> out = LPaletteToAlpha(pal8, 3, 2, palette);
    ASSERT_EQ(out.size(), 24u);
    EXPECT_EQ(std::vector<uint8_t>(out.begin(), out.begin() + 8), (std::vector<uint8_t>{0, 0, 0, 0, 0x33, 0x22, 0x11, 255}));
    EXPECT_EQ(out[23], 0);  // an index beyond the palette
    EXPECT_TRUE(LPaletteToAlpha({1, 2}, 3, 2, palette).empty());
}

TEST_F(Controls, ShortcutTextsAndMenuCommands) {
    struct {
        uint32_t code;
        const char16_t* text;
    } cases[] = {
        {LKEY_CTRL | LKEY_SHIFT | (LVK_F1 + 4), u"Ctrl+Shift+F5"},
        {LKEY_CTRL | LVK_CONTROL, u"Ctrl"},
        {LKEY_ALT | LKEY_SHIFT | LVK_SHIFT, u"Alt+Shift"},
        {LKEY_CTRL | 'S', u"Ctrl+S"},
        {LVK_NEXT, u"Page Down"},
        {LKEY_SHIFT | LVK_DELETE, u"Shift+Delete"},
        {LVK_PAUSE, u"Pause"},
        {LVK_F1 + 11, u"F12"},
    };
    for (auto c : cases) EXPECT_EQ(LFormatShortcutText(c.code), c.text);

    LMenuBuilder menu;
    menu.accelerators = {{LKEY_CTRL | 'O', 1002}};
    menu.AppendCommand(1002, u"&Open");
    menu.AppendCommand(1003, u"Exit");
    EXPECT_EQ(menu.items[0].text, u"&Open\tCtrl+O");
    EXPECT_EQ(menu.items[1].text, u"Exit");
}

TEST(MnemonicText, AccessKeysTakeGtksSpelling) {
    struct {
        const char16_t* text;
        const char* gtk;
    } cases[] = {
        {u"&Next >", "_Next >"},
        {u"< &Back", "< _Back"},
        {u"I &accept the license terms", "I _accept the license terms"},
        {u"Tom && Jerry", "Tom & Jerry"},
        {u"snake_case &file", "snake__case _file"},
        {u"&&&Save", "&_Save"},
        {u"&_under", "__under"},
        {u"trailing &", "trailing "},
        {u"No access key", "No access key"},
        {u"", ""},
    };
    for (auto c : cases) EXPECT_EQ(LMnemonicText(c.text), c.gtk) << LUtf8Of(c.text);
}

TEST_F(Controls, KeysAndMouseReachTheHandlers) {
    struct Recorder : LCustomControl {
        std::vector<std::string> seen;
        void Paint(LDrawContext&) override {}
        void DrawContent(LDrawContext&) override {}
        bool OnKeyDown(uint32_t k) override {
            seen.push_back("down " + std::to_string(k));
            return true;
        }
        bool OnKeyDownUnhandled(uint32_t k) override {
            seen.push_back("repeat " + std::to_string(k));
            return false;
        }
        void OnMouseEnter() override { seen.push_back("enter"); }
        void OnMouseLeave() override { seen.push_back("leave"); }
    };
    Recorder r;
    Plain owner;
    Bind(&owner);
    owner.CreateChild(501, u"LPC", u"", LWS_VISIBLE, 0);
    r.Attach(&owner, 501);
    LSendMessage(r.hwnd, LWM_MOUSELEAVE, 0, 0);  // no move before: nothing
    EXPECT_TRUE(r.seen.empty());
    EXPECT_EQ(LSendMessage(r.hwnd, LWM_KEYDOWN, 'A', 1), 1);
    LSendMessage(r.hwnd, LWM_KEYDOWN, 'A', 1 | LKEY_REPEAT_BIT);
    LSendMessage(r.hwnd, LWM_KEYDOWN, 'A', 1 | LKEY_REPEAT_BIT);
    LSendMessage(r.hwnd, LWM_MOUSEMOVE, 0, LMakePointParam(3, 3));
    LSendMessage(r.hwnd, LWM_MOUSEMOVE, 0, LMakePointParam(4, 3));
    LSendMessage(r.hwnd, LWM_MOUSELEAVE, 0, 0);
    EXPECT_EQ(r.seen, (std::vector<std::string>{"down 65", "repeat 65", "repeat 65", "enter", "leave"}));
    EXPECT_EQ(LSendMessage(r.hwnd, LWM_ERASEBKGND, 0, 0), 1);
    LDestroyWindow(owner.hwnd);
}

class Banner : public Controls {
protected:
    void SetUp() override {
        Controls::SetUp();
        Bind(&main, 700, 200);
        ASSERT_TRUE(banner.Create(&main, &sizes));
        LMoveWindow(banner.hwnd, 0, 0, 700, 40, true);
        LSendMessage(banner.hwnd, LWM_SIZE, 0, LMakePointParam(700, 40));
    }
    void TearDown() override { LDestroyWindow(main.hwnd); }
    void Paint() {
        Canvas canvas(700, 40);
        canvas.Paint(banner.hwnd, {0, 0, 700, 40});
    }
    LPoint Middle(const LRect& r) { return {(r.left + r.right) / 2, (r.top + r.bottom) / 2}; }
    void Click(LPoint down, LPoint up) {
        LSendMessage(banner.hwnd, LWM_LBUTTONDOWN, 0, LMakePointParam(down.x, down.y));
        LSendMessage(banner.hwnd, LWM_LBUTTONUP, 0, LMakePointParam(up.x, up.y));
    }
    struct Sizes : LSizeHandler {
        int calls = 0;
        void OnSize(int, int) override { ++calls; }
    } sizes;
    Plain main;
    LPushNotificationPanel banner;
};

TEST_F(Banner, PressOnOneButtonReleaseOnAnotherDoesNothing) {
    banner.Show(u"A new version is ready", u"Download", 810, u"Later", 811);
    EXPECT_TRUE(LIsWindowVisible(banner.hwnd));
    Paint();
    LRect b1 = banner.buttons[0].rect, b2 = banner.buttons[1].rect;
    ASSERT_GT(b1.Width(), 0);
    ASSERT_GT(b2.left, b1.right);
    EXPECT_EQ(banner.HitTest(Middle(b1).x, Middle(b1).y), 810);
    EXPECT_EQ(banner.HitTest(Middle(b2).x, Middle(b2).y), 811);
    EXPECT_EQ(banner.HitTest(b1.right, Middle(b1).y), b2.left == b1.right ? 811 : -1);  // right edge excluded
    Click(Middle(b1), Middle(b2));
    EXPECT_TRUE(main.commands.empty());
    EXPECT_EQ(banner.pressed, -1);
    EXPECT_TRUE(banner.shown);
    Click(Middle(b2), Middle(b2));
    EXPECT_EQ(main.commands, std::vector<int>{811});
    EXPECT_FALSE(LIsWindowVisible(banner.hwnd));
}

TEST_F(Banner, CloseGlyphHidesAndSends813) {
    banner.Show(u"Text only", u"", -1, nullptr, -1);
    int calls = sizes.calls;
    banner.Show(u"Replaced", u"", -1, nullptr, -1);  // no second show
    EXPECT_EQ(banner.text, u"Replaced");
    EXPECT_EQ(sizes.calls, calls + 1);
    Paint();
    EXPECT_EQ(banner.buttons[0].rect.Width(), 0);
    Click(Middle(banner.close.rect), Middle(banner.close.rect));
    EXPECT_EQ(main.commands, std::vector<int>{LBannerCloseCommand});
    EXPECT_FALSE(banner.shown);
    calls = sizes.calls;
    banner.Hide();  // already hidden: nothing
    EXPECT_EQ(sizes.calls, calls);
    // A long text is cut and still drawn.
    banner.Show(std::u16string(400, u'x').c_str(), u"OK", 812, nullptr, -1);
    EXPECT_EQ(banner.text.size(), 259u);
    Paint();
}

// A bare edit for the prompt to sit on: typing appends, Backspace removes
// the last character, paste inserts "clip" at the end.
LResult BareEdit(LHwnd h, uint32_t msg, LWParam w, LLParam l) {
    std::u16string t = LGetWindowText(h);
    switch (msg) {
    case LWM_CHAR:
        if (w == LVK_BACK) {
            if (!t.empty()) t.pop_back();
        } else {
            t += static_cast<char16_t>(w);
        }
        LSetWindowText(h, t);
        return 0;
    case LWM_PASTE: LSetWindowText(h, t + u"clip"); return 0;
    default: return LDefWindowProc(h, msg, w, l);
    }
}

TEST_F(Controls, EditPromptComesAndGoes) {
    Plain owner;
    Bind(&owner);
    LHwnd edit = owner.CreateChild(600, u"Edit", u"", LWS_VISIBLE, 0);
    LSetWindowLongPtr(edit, LGWLP_WNDPROC, reinterpret_cast<intptr_t>(&BareEdit));
    LSetEditPrompt(edit, u"Search", true);
    LSetFocus(edit);
    auto text = [&] {
        char16_t buf[64] = u"junk";
        LSendMessage(edit, LWM_GETTEXT, 64, reinterpret_cast<LLParam>(buf));
        return std::u16string(buf);
    };
    EXPECT_EQ(LGetProp(edit, "PromptActive"), 1);
    EXPECT_EQ(LGetWindowText(edit), u"Search");  // shown
    EXPECT_EQ(text(), u"");                      // but reads as empty
    EXPECT_EQ(LSendMessage(edit, LWM_GETTEXTLENGTH, 0, 0), 0);
    LSendMessage(edit, LWM_CHAR, 'a', 0);  // the first key replaces the prompt
    EXPECT_EQ(text(), u"a");
    LSendMessage(edit, LWM_CHAR, LVK_BACK, 0);  // deleting the last brings it back
    EXPECT_EQ(LGetProp(edit, "PromptActive"), 1);
    EXPECT_EQ(LGetWindowText(edit), u"Search");
    LSendMessage(edit, LWM_PASTE, 0, 0);  // pasting over the prompt replaces it
    EXPECT_EQ(text(), u"clip");
    LSendMessage(edit, LWM_PASTE, 0, 0);  // into real text: inserted
    EXPECT_EQ(text(), u"clipclip");
    LSetEditPromptText(edit, u"Other");
    EXPECT_EQ(text(), u"clipclip");
    LDestroyWindow(owner.hwnd);
}

TEST_F(Controls, HyperlinksOpenOnlyWhenReleasedInside) {
    Plain owner;
    Bind(&owner);
    LHwnd link = owner.CreateChild(700, u"Static", u"Details", LWS_VISIBLE, 0);
    LMoveWindow(link, 10, 10, 80, 20, true);
    LMakeHyperlink(&owner, 700, nullptr);
    LSendMessage(link, LWM_LBUTTONDOWN, 0, LMakePointParam(5, 5));
    LSendMessage(link, LWM_LBUTTONUP, 0, LMakePointParam(200, 5));  // released outside
    EXPECT_TRUE(owner.commands.empty());
    LSendMessage(link, LWM_RBUTTONDOWN, 0, LMakePointParam(5, 5));
    LSendMessage(link, LWM_RBUTTONUP, 0, LMakePointParam(6, 6));
    EXPECT_EQ(owner.commands, std::vector<int>{700});
    LSendMessage(link, LWM_LBUTTONUP, 0, LMakePointParam(6, 6));  // no press before
    EXPECT_EQ(owner.commands.size(), 1u);
    EXPECT_EQ(LGetControlColors(link).text, 0xC00000u);

    LMakeHyperlink(&owner, 700, std::u16string(9000, u'a').c_str());
    EXPECT_EQ(reinterpret_cast<const std::u16string*>(LGetProp(link, "HLLink"))->size(), LHyperlinkMaxTarget);
    struct {
        const char16_t* target;
        bool opens;
    } targets[] = {{u"https://example.org/", true}, {u"HTTP://x", true},     {u"mailto:a@b", true},
                   {u"file:///etc/passwd", false},  {u"/usr/bin/xterm", false}, {u"javascript:1", false}};
    for (auto t : targets) EXPECT_EQ(LIsOpenableLink(t.target), t.opens) << LUtf8Of(t.target);
    LDestroyWindow(owner.hwnd);
}

struct Page : LPropertyPage {
    bool ok = true;
    int activations = 0;
    int cancels = 0;
    bool OnOk() override { return ok; }
    void OnActivate() override { ++activations; }
    bool OnCancel() override {
        ++cancels;
        return true;
    }
};

TEST_F(Controls, WizardSheetPages) {
    Page first, second;
    LPropertySheetSpec spec;
    spec.title = u"Setup";
    spec.pages = {&first, &second};
    LHwnd sheet = LPropertySheetCreate(spec, LHwnd::Null);
    ASSERT_NE(sheet, LHwnd::Null);
    auto current = [&] { return LHwndFromParam(LSendMessage(sheet, LPSM_GETCURRENTPAGEHWND, 0, 0)); };
    EXPECT_EQ(current(), first.hwnd);
    EXPECT_EQ(first.activations, 1);

    // A page whose OnOk refuses stays; Apply answers PSNRET_INVALID.
    first.ok = false;
    LSendMessage(sheet, LPSM_PRESSBUTTON, LPSBTN_NEXT, 0);
    EXPECT_EQ(current(), first.hwnd);
    LNotifyHeader apply{sheet, 0, LPSN_APPLY};
    LSendMessage(first.hwnd, LWM_NOTIFY, 0, reinterpret_cast<LLParam>(&apply));
    EXPECT_EQ(LGetWindowLongPtr(first.hwnd, LDWLP_MSGRESULT), 1);
    first.ok = true;
    LSendMessage(sheet, LPSM_PRESSBUTTON, LPSBTN_NEXT, 0);
    EXPECT_EQ(current(), second.hwnd);
    EXPECT_FALSE(LIsWindowVisible(first.hwnd));
    LSendMessage(sheet, LPSM_PRESSBUTTON, LPSBTN_BACK, 0);
    EXPECT_EQ(current(), first.hwnd);

    // Enter on a page does not end the sheet.
    LSendMessage(first.hwnd, LWM_COMMAND, LIDOK, 0);
    intptr_t result = -5;
    EXPECT_FALSE(LPropertySheetEnded(sheet, &result));

    LSendMessage(sheet, LPSM_SETWIZBUTTONS, 0, LPSWIZB_BACK | LPSWIZB_FINISH);
    EXPECT_TRUE(LIsWindowVisible(LGetDlgItem(sheet, LIDC_FINISH)));
    EXPECT_FALSE(LIsWindowVisible(LGetDlgItem(sheet, LIDC_NEXT)));
    LSendMessage(sheet, LPSM_SHOWWIZBUTTONS, 0, LPSWIZB_BACK);
    EXPECT_FALSE(LIsWindowVisible(LGetDlgItem(sheet, LIDC_BACK)));
    LSendMessage(sheet, LWM_COMMAND, LIDCANCEL, 0);
    EXPECT_EQ(first.cancels, 1);
    ASSERT_TRUE(LPropertySheetEnded(sheet, &result));
    EXPECT_EQ(result, 0);
    LDestroyWindow(sheet);
}

int g_setcursel = 0;
LResult CountingSheet(LHwnd h, uint32_t msg, LWParam w, LLParam l) {
    if (msg == LPSM_SETCURSEL) ++g_setcursel;
    return LDefWindowProc(h, msg, w, l);
}

TEST_F(Controls, WarningBalloonGivesUpAfter65Pages) {
    LRegisterClass(u"TestSheet", CountingSheet);
    LHwnd sheet = LCreateWindowEx(0, u"TestSheet", u"", LWS_POPUP | LWS_VISIBLE, 0, 0, 400, 300, LHwnd::Null, 0);
    Page page;
    LHwnd h = LCreateWindowEx(0, u"Static", u"", LWS_CHILD | LWS_VISIBLE, 0, 0, 300, 200, sheet, 0);
    page.hwnd = h;
    LHwnd item = LCreateWindowEx(0, u"Edit", u"", LWS_CHILD | LWS_VISIBLE, 0, 0, 100, 20, h, 3);
    (void)item;
    LShowPageWarningBalloon(&page, 3, u"Please say why");
    EXPECT_EQ(g_setcursel, 65);
    EXPECT_NE(page.balloon.tip, LHwnd::Null);
    LDestroyWindow(sheet);
}

}  // namespace
