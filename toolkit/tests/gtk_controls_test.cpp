// The self-painted controls and links with real input on the GTK backend:
// a link released outside itself opens nothing, released inside opens its
// target through the desktop's opener; the banner paints, shows its text
// and buttons, and a click on its close glyph hides it and sends 813; the
// scrolling panel's GTK bars follow its content and move what it draws;
// a resting pointer gives one hover message per rest.
#include <gtest/gtest.h>
#include <gtk/gtk.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "tests/support/test_display.h"
#include "tests/support/test_pump.h"
#include "tests/support/test_root.h"
#include "toolkit/edit_prompt.h"
#include "toolkit/gtk_peer.h"
#include "toolkit/notification_banner.h"
#include "toolkit/scroll_panel.h"
#include "toolkit/window.h"

namespace {

struct Host : LDialog, LSizeHandler {
    std::vector<int> commands;
    LPushNotificationPanel* banner = nullptr;
    void OnCommand(int id, int) override { commands.push_back(id); }
    void OnSize(int width, int height) override {
        int h = DialogUnitsToPixelsY(19);
        if (banner && banner->shown) LMoveWindow(banner->hwnd, 0, height - h, width, h, true);
    }
};

void Pump(int rounds) {
    for (int i = 0; i < rounds; ++i) LTestPumpUntil([] { return true; });
}

void Mouse(const std::vector<std::string>& steps) {
    std::vector<std::string> argv = {"xdotool"};
    argv.insert(argv.end(), steps.begin(), steps.end());
    LTestRunCapture(argv, 10000);
}

class GtkControls : public ::testing::Test {
protected:
    void SetUp() override {
        LTestDisplay& d = LTestDisplay::Shared();
        ASSERT_TRUE(d.Ok()) << d.Error();
        ASSERT_TRUE(LWindowLayerOpen(LBackendKind::Gtk));
    }
    LHwnd Show(Host& host, int width, int height) {
        LDialogCreate t;
        t.title = u"Controls";
        t.style = LWS_POPUP | LWS_CAPTION | LWS_VISIBLE;
        LHwnd h = LCreateDialog(t, LHwnd::Null, LDialogProc, reinterpret_cast<LLParam>(&host));
        LMoveWindow(h, 100, 100, width, height, true);
        LForceForegroundWindow(h);
        Pump(10);
        return h;
    }
    // A control item of class "LPC" at the rectangle, bound to the object.
    LHwnd Place(Host& host, LCustomControl& control, int id, const LRect& r) {
        LHwnd item = host.CreateChild(id, u"LPC", u"", LWS_VISIBLE, 0);
        LMoveWindow(item, r.left, r.top, r.Width(), r.Height(), true);
        control.Attach(&host, id);
        Pump(10);
        return item;
    }
    std::string Mid(const LRect& r, bool x) { return std::to_string(x ? (r.left + r.right) / 2 : (r.top + r.bottom) / 2); }
};

TEST_F(GtkControls, LinkOpensOnlyWhenReleasedOnIt) {
    LTestRoot root;
    // A recording opener first on PATH.
    std::string bin = root.Path() + "/bin", opened = root.Path() + "/opened";
    std::filesystem::create_directories(bin);
    std::ofstream(bin + "/xdg-open") << "#!/bin/sh\necho \"$1\" >> '" << opened << "'\n";
    chmod((bin + "/xdg-open").c_str(), 0755);
    std::string old_path = getenv("PATH");
    setenv("PATH", (bin + ":" + old_path).c_str(), 1);

    Host host;
    LHwnd dlg = Show(host, 400, 200);
    LHwnd link = host.CreateChild(700, u"Static", u"Open the page", LWS_VISIBLE, 0);
    LMoveWindow(link, 20, 20, 150, 24, true);
    LMakeHyperlink(&host, 700, u"https://example.org/page");
    Pump(10);
    LRect r = LGetWindowRect(link);

    // Pressed on the link, released beside it: nothing opens.
    Mouse({"mousemove", "--sync", Mid(r, true), Mid(r, false), "mousedown", "1"});
    ASSERT_TRUE(LTestPumpUntil([&] { return LGetProp(link, "HLPressed") == 1; }));
    Mouse({"mousemove", "--sync", std::to_string(r.right + 100), Mid(r, false), "mouseup", "1"});
    ASSERT_TRUE(LTestPumpUntil([&] { return LGetProp(link, "HLPressed") == 0; }));
    // Pressed and released on it: the target opens.
    Mouse({"mousemove", "--sync", Mid(r, true), Mid(r, false), "click", "1"});
    ASSERT_TRUE(LTestWaitFor(20000, [&] {
        Pump(1);
        return !LTestReadFile(opened).empty();
    }));
    EXPECT_EQ(LTestReadFile(opened), "https://example.org/page\n");  // once: the first release opened nothing
    setenv("PATH", old_path.c_str(), 1);
    LDestroyWindow(dlg);
}

TEST_F(GtkControls, BannerPaintsAndClosesOnItsGlyph) {
    Host host;
    LPushNotificationPanel banner;
    host.banner = &banner;
    LHwnd dlg = Show(host, 640, 240);
    ASSERT_TRUE(banner.Create(&host, &host));
    banner.Show(u"A new version of Porlinex is ready to install.", u"Download", 810, u"Later", 811);
    ASSERT_TRUE(LTestPumpUntil([&] { return banner.close.rect.right > 0 && banner.buttons[1].rect.right > 0; }));
    Pump(10);

    std::filesystem::create_directories(std::string(PORLINEX_BINARY_DIR) + "/artifacts");
    std::string shot = std::string(PORLINEX_BINARY_DIR) + "/artifacts/banner.png";
    std::string wid = LTestRunCapture({"xdotool", "search", "--onlyvisible", "--name", "^Controls$"}, 10000);
    LTestRunCapture({"import", "-window", wid.substr(0, wid.find('\n')), shot}, 20000);
    EXPECT_TRUE(std::filesystem::exists(shot));

    LRect b = LGetWindowRect(banner.hwnd);
    LRect c = banner.close.rect;
    Mouse({"mousemove", "--sync", std::to_string(b.left + (c.left + c.right) / 2),
           std::to_string(b.top + (c.top + c.bottom) / 2), "click", "1"});
    ASSERT_TRUE(LTestPumpUntil([&] { return !host.commands.empty(); }));
    EXPECT_EQ(host.commands, std::vector<int>{LBannerCloseCommand});
    EXPECT_FALSE(LIsWindowVisible(banner.hwnd));
    LDestroyWindow(dlg);
}

// Rows of 20 pixels; what the last drawing pass used as its offset.
struct RowsPanel : LScrollPanel {
    int rows = 50;
    int drawn_y = -1;
    std::vector<LPoint> clicks;
    void DrawItems(LDrawContext& dc, bool measuring) override {
        if (measuring) {
            content_height = rows * 20;
            return;
        }
        drawn_y = y_pos;
        for (int i = 0; i < rows; ++i)
            dc.FillRect({0, i * 20 - y_pos, width, i * 20 - y_pos + 20}, i % 2 ? 0xFFFFFF : 0xE0E0E0);
    }
    void OnLButtonDown(int x, int y) override { clicks.push_back({x, y}); }
};

TEST_F(GtkControls, ScrollPanelFollowsItsBars) {
    // A click in the trough pages, whatever the desktop's default.
    g_object_set(gtk_settings_get_default(), "gtk-primary-button-warps-slider", FALSE, nullptr);
    Host host;
    RowsPanel panel;
    LHwnd dlg = Show(host, 400, 300);
    LHwnd item = Place(host, panel, 500, {20, 20, 220, 119});
    ASSERT_TRUE(LScrollBarShown(item, LSB_VERT));
    LRect r = LGetWindowRect(item);
    int client = LGetClientRect(item).Width();
    ASSERT_LT(client, 200);
    std::string bar_x = std::to_string(r.left + client + (200 - client) / 2);
    auto settle = [&](int y) {
        return LTestPumpUntil([&] { return panel.y_pos == y && panel.drawn_y == y; });
    };

    // A click in the trough below the thumb: one page down, and the content
    // is drawn from there.
    Mouse({"mousemove", "--sync", bar_x, std::to_string(r.bottom - 3), "click", "1"});
    ASSERT_TRUE(settle(100)) << panel.y_pos;
    // The thumb dragged to the end: the last page.
    auto drag_thumb_down = [&](int from_y) {
        Mouse({"mousemove", "--sync", bar_x, std::to_string(from_y), "mousedown", "1"});
        Mouse({"mousemove", "--sync", bar_x, std::to_string(r.bottom + 200)});
        Mouse({"mouseup", "1"});
    };
    drag_thumb_down(r.top + 30);
    ASSERT_TRUE(settle(900)) << panel.y_pos;
    // One wheel notch over the content: one line (a twentieth of the page).
    Mouse({"mousemove", "--sync", std::to_string(r.left + 50), Mid(r, false), "click", "4"});
    ASSERT_TRUE(settle(895)) << panel.y_pos;

    // More content: the bar's range follows, so the end lies further on.
    panel.rows = 100;
    panel.UpdateScrollBars();
    drag_thumb_down(r.top + 80);
    ASSERT_TRUE(settle(1900)) << panel.y_pos;

    // Content that fits: the bar goes, the content starts at the top and
    // fills the whole width (a click where the bar was reaches the panel).
    panel.rows = 3;
    panel.UpdateScrollBars();
    ASSERT_TRUE(settle(0));
    EXPECT_FALSE(LScrollBarShown(item, LSB_VERT));
    EXPECT_EQ(LGetClientRect(item).Width(), 200);
    Pump(5);
    Mouse({"mousemove", "--sync", bar_x, Mid(r, false), "click", "1"});
    ASSERT_TRUE(LTestPumpUntil([&] { return !panel.clicks.empty(); }));
    EXPECT_GE(panel.clicks[0].x, client);
    LDestroyWindow(dlg);
}

TEST_F(GtkControls, RestingPointerHoversOnceARest) {
    struct Counting : LCustomControl {
        int enter = 0, hover = 0, leave = 0;
        void Paint(LDrawContext& dc) override { PaintDoubleBuffered(dc); }
        void DrawContent(LDrawContext& dc) override { dc.FillRect({0, 0, width, height}, 0xC0FFC0); }
        void OnMouseEnter() override { ++enter; }
        void OnMouseHover(int, int) override { ++hover; }
        void OnMouseLeave() override { ++leave; }
    };
    Host host;
    Counting control;
    LHwnd dlg = Show(host, 400, 200);
    LHwnd item = Place(host, control, 501, {40, 40, 240, 140});
    LRect r = LGetWindowRect(item);
    std::string x = std::to_string(r.left + 50), y = std::to_string(r.top + 50);

    Mouse({"mousemove", "--sync", std::to_string(r.left + 40), y});
    Mouse({"mousemove", "--sync", x, y});
    ASSERT_TRUE(LTestPumpUntil([&] { return control.hover == 1; }));
    EXPECT_EQ(control.enter, 1);
    // Resting on: no second hover (several hover times pass).
    Pump(60);
    EXPECT_EQ(control.hover, 1);
    // A small tremble is still the same rest.
    Mouse({"mousemove", "--sync", std::to_string(r.left + 51), y});
    Pump(40);
    EXPECT_EQ(control.hover, 1);
    // Out of the control: one leave; back in and resting: one more hover.
    Mouse({"mousemove", "--sync", std::to_string(r.right + 60), y});
    ASSERT_TRUE(LTestPumpUntil([&] { return control.leave == 1; }));
    Mouse({"mousemove", "--sync", std::to_string(r.left + 120), y});
    ASSERT_TRUE(LTestPumpUntil([&] { return control.hover == 2; }));
    EXPECT_EQ(control.enter, 2);
    EXPECT_EQ(control.leave, 1);
    LDestroyWindow(dlg);
}

GtkWidget* WidgetOf(LHwnd h) { return LGtkPeerOf(*LWndFind(h))->widget; }

// The entry's pixels as drawn now.
std::vector<unsigned char> Drawn(GtkWidget* entry) {
    int w = gtk_widget_get_allocated_width(entry), h = gtk_widget_get_allocated_height(entry);
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
    cairo_t* cr = cairo_create(surface);
    gtk_widget_draw(entry, cr);
    cairo_destroy(cr);
    cairo_surface_flush(surface);
    const unsigned char* data = cairo_image_surface_get_data(surface);
    std::vector<unsigned char> pixels(data, data + cairo_image_surface_get_stride(surface) * h);
    cairo_surface_destroy(surface);
    return pixels;
}

// What the layer holds is what GTK shows: access keys as underlines (not
// for SS_NOPREFIX labels), a radio group with none checked shows none,
// and a prompt meant to stay while the edit has the focus stays.
TEST_F(GtkControls, AccessKeysRadioGroupsAndFocusedPromptsShowAsTheLayerSays) {
    Host host;
    LHwnd h = Show(host, 420, 220);
    LHwnd next = host.CreateChild(1, u"Button", u"&Next >", LWS_VISIBLE | LWS_TABSTOP, 0);
    LHwnd name = host.CreateChild(2, u"Static", u"Your &name:", LWS_VISIBLE, 0);
    LHwnd plain = host.CreateChild(3, u"Static", u"Tom & Jerry_s", LWS_VISIBLE | LSS_NOPREFIX, 0);
    LHwnd first = host.CreateChild(4, u"Button", u"Uninstall", LWS_VISIBLE | LWS_GROUP | LBS_AUTORADIOBUTTON, 0);
    LHwnd second = host.CreateChild(5, u"Button", u"Nothing", LWS_VISIBLE | LBS_AUTORADIOBUTTON, 0);
    LHwnd edit = host.CreateChild(6, u"Edit", u"", LWS_VISIBLE | LWS_TABSTOP, 0);
    LHwnd other = host.CreateChild(7, u"Edit", u"", LWS_VISIBLE | LWS_TABSTOP, 0);
    int y = 10;
    for (LHwnd item : {next, name, plain, first, second, edit, other}) {
        LMoveWindow(item, 10, y, 300, 24, true);
        y += 28;
    }
    Pump(10);

    EXPECT_STREQ(gtk_button_get_label(GTK_BUTTON(WidgetOf(next))), "_Next >");
    EXPECT_TRUE(gtk_button_get_use_underline(GTK_BUTTON(WidgetOf(next))));
    EXPECT_STREQ(gtk_label_get_label(GTK_LABEL(WidgetOf(name))), "Your _name:");
    EXPECT_TRUE(gtk_label_get_use_underline(GTK_LABEL(WidgetOf(name))));
    EXPECT_STREQ(gtk_label_get_text(GTK_LABEL(WidgetOf(plain))), "Tom & Jerry_s");
    EXPECT_FALSE(gtk_label_get_use_underline(GTK_LABEL(WidgetOf(plain))));

    auto on = [&](LHwnd radio) { return gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(WidgetOf(radio))) != 0; };
    EXPECT_FALSE(on(first));
    EXPECT_FALSE(on(second));
    LSendMessage(second, LBM_SETCHECK, LBST_CHECKED, 0);
    Pump(5);
    EXPECT_TRUE(on(second));
    LSendMessage(second, LBM_SETCHECK, LBST_UNCHECKED, 0);
    Pump(5);
    EXPECT_FALSE(on(first));
    EXPECT_FALSE(on(second));

    // The caret must not blink between two drawings.
    g_object_set(gtk_settings_get_default(), "gtk-cursor-blink", FALSE, nullptr);
    LSetFocus(edit);
    Pump(10);
    ASSERT_TRUE(gtk_widget_has_focus(WidgetOf(edit)));
    std::vector<unsigned char> bare = Drawn(WidgetOf(edit));
    LSetEditPrompt(edit, u"Search your mail", true);
    Pump(5);
    EXPECT_TRUE(Drawn(WidgetOf(edit)) != bare) << "the prompt went with the focus";
    LSetEditPrompt(edit, u"Search your mail", false);
    // A loaded display can move the focus away meanwhile, and the caret with
    // it: the comparison is between two drawings of a focused box.
    LSetFocus(edit);
    Pump(10);
    ASSERT_TRUE(gtk_widget_has_focus(WidgetOf(edit)));
    EXPECT_TRUE(Drawn(WidgetOf(edit)) == bare) << "a prompt for unfocused edits shows while focused";
    LDestroyWindow(h);
}

}  // namespace
