// The About box on the GTK backend under a fresh root: two tabs (the empty
// credits lose theirs), the picture with the product, version and
// distributor texts, a click on the contact line opening the configured
// address through the desktop's opener (a recording stand-in) and a click
// beside it opening nothing, the licence tab, and a screenshot kept; a
// data folder's splash.jpg replaces the picture and the layout follows it.
#include <cairo.h>
#include <gdk-pixbuf/gdk-pixbuf.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <thread>

#include "desktop/app/about_box.h"
#include "foundation/json_value.h"
#include "foundation/reg_settings.h"
#include "tests/support/test_display.h"
#include "tests/support/test_pump.h"
#include "tests/support/test_root.h"
#include "toolkit/tab_control.h"
#include "toolkit/tests/modal_driver.h"

namespace {

std::string Utf8(const std::u16string& s) { return std::string(s.begin(), s.end()); }  // ASCII texts only

// The page tabs the accessibility tree shows, by name, with their screen
// centres. The tree is read by a helper process while the loop runs, since
// our accessibility bridge answers from it.
std::map<std::string, LPoint> A11yTabs() {
    std::string script = std::string(PORLINEX_SOURCE_DIR) + "/toolkit/tests/testdata/atspi_tree.py";
    std::map<std::string, LPoint> tabs;
    for (int i = 0; i < 20 && tabs.empty(); ++i) {
        std::string json;
        std::atomic<bool> done{false};
        std::thread reader([&] {
            json = LTestRunCapture({"/usr/bin/python3", script, "porlinex"}, 20000);
            done = true;
        });
        LTestPumpUntil([&] { return done.load(); });
        reader.join();
        LJsonValue v;
        if (v.Parse(json.c_str()) != 0) continue;
        for (size_t k = 0; k < v.count; ++k) {
            const LJsonValue& e = v.elements[k];
            if (std::string("page tab") != e.Member("role").text.c_str()) continue;
            tabs[e.Member("name").text.c_str()] = {
                static_cast<int>(e.Member("x").AsInt64() + e.Member("width").AsInt64() / 2),
                static_cast<int>(e.Member("y").AsInt64() + e.Member("height").AsInt64() / 2)};
        }
    }
    return tabs;
}

void Click(LPoint p) {
    LTestRunCapture({"xdotool", "mousemove", "--sync", std::to_string(p.x), std::to_string(p.y), "click", "1"}, 10000);
}

LAboutPicture* PictureOf(LHwnd dlg) {
    return reinterpret_cast<LAboutPicture*>(LGetWindowLongPtr(LGetDlgItem(dlg, LAboutPictureItem), LGWLP_USERDATA));
}

class AboutBox : public ::testing::Test {
protected:
    void SetUp() override {
        LTestDisplay& d = LTestDisplay::Shared();
        ASSERT_TRUE(d.Ok()) << d.Error();
        ASSERT_TRUE(LWindowLayerOpen(LBackendKind::Gtk));
        // A recording opener first on PATH.
        std::string bin = root_.Path() + "/bin";
        opened_ = root_.Path() + "/opened";
        std::filesystem::create_directories(bin);
        std::ofstream(bin + "/xdg-open") << "#!/bin/sh\necho \"$1\" >> '" << opened_ << "'\n";
        chmod((bin + "/xdg-open").c_str(), 0755);
        old_path_ = getenv("PATH");
        setenv("PATH", (bin + ":" + old_path_).c_str(), 1);
    }
    void TearDown() override { setenv("PATH", old_path_.c_str(), 1); }

    // Runs the box; the check runs inside its modal loop once it shows and
    // has painted, with the dialog's handle.
    void Run(const std::function<void(LHwnd)>& check) {
        bool ran = false;
        LTestWhenModalLoopRuns([&] {
            LHwnd dlg = LGetActiveWindow();
            ASSERT_TRUE(LTestPumpUntil([&] {
                dlg = LGetActiveWindow();
                return PictureOf(dlg) && !PictureOf(dlg)->painted.empty();
            }));
            check(dlg);
            ran = true;
            if (LIsWindow(dlg)) LEndDialog(dlg, LIDOK);
        });
        LShowAboutBox(LHwnd::Null);
        EXPECT_TRUE(ran);
    }

    LTestRoot root_;
    std::string opened_, old_path_;
};

TEST_F(AboutBox, TwoTabsLinkOpensTheConfiguredAddressScreenshotKept) {
    ASSERT_TRUE(LRegSettingsSet(u"Distributor", u"URL", u"https://example.org/contact-us"));
    ASSERT_TRUE(LRegSettingsSet(u"Distributor", u"Contact", u"Write to help@example.org"));
    Run([&](LHwnd dlg) {
        EXPECT_EQ(LTabTitles(LGetDlgItem(dlg, LAboutTabs)), (std::vector<std::u16string>{u"About", u"License Terms"}));
        EXPECT_EQ(LGetWindowText(dlg), u"About Porlinex");
        LAboutPicture* picture = PictureOf(dlg);
        EXPECT_EQ(picture->painted.back(), u"Write to help@example.org");
        // What the screen shows: both tabs, no third.
        std::map<std::string, LPoint> tabs = A11yTabs();
        ASSERT_EQ(tabs.size(), 2u);
        ASSERT_TRUE(tabs.count("About") && tabs.count("License Terms"));
        LPoint about = tabs["About"], terms = tabs["License Terms"];

        std::filesystem::create_directories(std::string(PORLINEX_BINARY_DIR) + "/artifacts");
        std::string wid = LTestRunCapture({"xdotool", "search", "--onlyvisible", "--name", "^About Porlinex$"}, 10000);
        std::string shot = std::string(PORLINEX_BINARY_DIR) + "/artifacts/about_box.png";
        LTestRunCapture({"import", "-window", wid.substr(0, wid.find('\n')), shot}, 20000);
        EXPECT_TRUE(std::filesystem::exists(shot));

        // Beside the contact line: nothing. On it: the configured address.
        LRect item = LGetWindowRect(LGetDlgItem(dlg, LAboutPictureItem));
        LRect link = picture->link;
        ASSERT_GT(link.right, link.left);
        Click({item.left + link.right + 20, item.top + (link.top + link.bottom) / 2});
        Click({item.left + (link.left + link.right) / 2, item.top + (link.top + link.bottom) / 2});
        ASSERT_TRUE(LTestPumpUntil([&] { return !LTestReadFile(opened_).empty(); }));
        EXPECT_EQ(LTestReadFile(opened_), "https://example.org/contact-us\n");
        EXPECT_TRUE(LHasHandCursor(LGetDlgItem(dlg, LAboutPictureItem)));  // the pointer rests on the link

        // The licence tab hides the picture and shows the terms.
        Click(terms);
        ASSERT_TRUE(LTestPumpUntil([&] { return LIsWindowVisible(LGetDlgItem(dlg, LAboutTextItem)); }));
        EXPECT_FALSE(LIsWindowVisible(LGetDlgItem(dlg, LAboutPictureItem)));
        EXPECT_EQ(Utf8(LGetWindowText(LGetDlgItem(dlg, LAboutTextItem))).rfind("Porlinex licence terms", 0), 0u);
        for (int i = 0; i < 10; ++i) LTestPumpUntil([] { return true; });  // drawn before the picture is taken
        LTestRunCapture({"import", "-window", wid.substr(0, wid.find('\n')),
                         std::string(PORLINEX_BINARY_DIR) + "/artifacts/about_box_terms.png"},
                        20000);
        Click(about);
        ASSERT_TRUE(LTestPumpUntil([&] { return LIsWindowVisible(LGetDlgItem(dlg, LAboutPictureItem)); }));
    });
}

TEST_F(AboutBox, DataFolderPictureSetsTheLayoutAndDefaultsFillTheTexts) {
    std::filesystem::create_directories(root_.DataFolder());
    GdkPixbuf* pb = gdk_pixbuf_new(GDK_COLORSPACE_RGB, FALSE, 8, 300, 150);
    gdk_pixbuf_fill(pb, 0x336699ff);
    ASSERT_TRUE(gdk_pixbuf_save(pb, (root_.DataFolder() + "/splash.jpg").c_str(), "jpeg", nullptr, nullptr));
    g_object_unref(pb);
    Run([&](LHwnd dlg) {
        LRect picture = LGetWindowRect(LGetDlgItem(dlg, LAboutPictureItem));
        LRect tabs = LGetWindowRect(LGetDlgItem(dlg, LAboutTabs));
        EXPECT_EQ(picture.Width(), 300);
        EXPECT_EQ(picture.Height(), 150);
        EXPECT_EQ(tabs.Width(), 304);
        EXPECT_EQ(LGetClientRect(dlg).Width(), 302);
        const std::vector<std::u16string>& texts = PictureOf(dlg)->painted;
        ASSERT_EQ(texts.size(), 4u);
        EXPECT_EQ(texts[0], u"Porlinex");
        EXPECT_EQ(Utf8(texts[1]).rfind("Porlinex v2.01 64bit ", 0), 0u);
        EXPECT_EQ(texts[2], u"Distributed by Vek Software");
        EXPECT_EQ(texts[3], u"Contact us at www.porlinex.invalid/contact.html");
    });
}

TEST_F(AboutBox, NoPictureStillPaintsTheTextsAtScaleOne) {
    LAboutPicture picture;
    picture.Create();
    picture.picture.Release();  // as when neither picture loads
    LDialogCreate t;
    t.style = LWS_POPUP;
    LDialog plain;
    LHwnd host = LCreateDialog(t, LHwnd::Null, LDialogProc, reinterpret_cast<LLParam>(&plain));
    LHwnd item = LCreateWindowEx(0, u"LAW", u"", LWS_CHILD, 0, 0, 0, 0, host, LAboutPictureItem);
    picture.Attach(item);
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 1, 1);
    cairo_t* cr = cairo_create(surface);
    LPaintStruct ps;
    ps.cairo = cr;
    LSendMessage(item, LWM_PAINT, reinterpret_cast<LWParam>(&ps), 0);
    cairo_destroy(cr);
    cairo_surface_destroy(surface);
    ASSERT_EQ(picture.painted.size(), 4u);
    EXPECT_EQ(picture.link.left, 10);  // the scale stayed 1
    picture.Destroy();
    EXPECT_FALSE(LIsWindow(item));
    LDestroyWindow(host);
}

}  // namespace
