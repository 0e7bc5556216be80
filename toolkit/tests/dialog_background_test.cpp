// A dialog's painted background: rendered once per client size, nothing in
// mode 6, and controls made transparent with the pattern lined up behind
// them, on the headless layer and on screen.
#include <cairo.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/test_display.h"
#include "tests/support/test_pump.h"
#include "tests/support/test_root.h"
#include "toolkit/dialog_background.h"
#include "toolkit/window.h"

namespace {

// Red to the left of x = 100, blue from there on, green below y = 60: a
// pattern that shows where it was placed.
struct Quarters : LDialogBackground {
    std::vector<LSize> renders;
    void Paint(LDrawContext& dc, const LRect& r) override {
        renders.push_back({r.right, r.bottom});
        dc.FillRect({0, 0, 100, 60}, LRgb(255, 0, 0));
        dc.FillRect({100, 0, r.right, 60}, LRgb(0, 0, 255));
        dc.FillRect({0, 60, r.right, r.bottom}, LRgb(0, 255, 0));
    }
};

LHwnd MakeDialog(LDialog& host, int width, int height) {
    LDialogCreate t;
    t.title = u"Background";
    t.style = LWS_POPUP | LWS_CAPTION | LWS_VISIBLE;
    LHwnd dlg = LCreateDialog(t, LHwnd::Null, LDialogProc, reinterpret_cast<LLParam>(&host));
    LMoveWindow(dlg, 100, 100, width, height, true);
    return dlg;
}

// One cairo surface of a size and its erase message.
struct Target {
    Target(int w, int h) : surface(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h)), cr(cairo_create(surface)) {}
    ~Target() {
        cairo_destroy(cr);
        cairo_surface_destroy(surface);
    }
    LResult Erase(LHwnd dlg) {
        LPaintStruct ps;
        ps.cairo = cr;
        ps.paint = LGetClientRect(dlg);
        return LSendMessage(dlg, LWM_ERASEBKGND, reinterpret_cast<LWParam>(&ps), 0);
    }
    uint32_t Pixel(int x, int y) {
        cairo_surface_flush(surface);
        const unsigned char* row = cairo_image_surface_get_data(surface) + y * cairo_image_surface_get_stride(surface);
        return reinterpret_cast<const uint32_t*>(row)[x] & 0xFFFFFF;
    }
    cairo_surface_t* surface;
    cairo_t* cr;
};

TEST(DialogBackground, RendersOncePerSizeAndLinesUpBehindControls) {
    ASSERT_TRUE(LWindowLayerOpen(LBackendKind::Headless));
    LDialog host;
    Quarters background;
    LHwnd dlg = MakeDialog(host, 300, 120);
    background.Attach(&host);
    LHwnd label = host.CreateChild(10, u"Static", u"Label", LWS_VISIBLE, 0);
    LMoveWindow(label, 80, 50, 60, 20, true);

    LRect client = LGetClientRect(dlg);
    Target first(client.right, client.bottom);
    EXPECT_EQ(first.Erase(dlg), 1);
    EXPECT_EQ(first.Erase(dlg), 1);
    ASSERT_EQ(background.renders.size(), 1u);
    EXPECT_EQ(first.Pixel(10, 10), 0xFF0000u);
    EXPECT_EQ(first.Pixel(150, 10), 0x0000FFu);

    // The control paints no background of its own, and its pattern origin
    // is minus its place: what it shows is what the dialog shows there.
    LColorContext dc;
    EXPECT_EQ(LSendMessage(dlg, LWM_CTLCOLORSTATIC, reinterpret_cast<LWParam>(&dc), LHwndToParam(label)),
              LDialogBackground::Brush());
    EXPECT_EQ(dc.bk_mode, LTRANSPARENT);
    EXPECT_FALSE(LGetControlColors(label).has_background);
    EXPECT_EQ(background.brush_origin.x, -80);
    EXPECT_EQ(background.brush_origin.y, -50);
    Target behind(60, 20);
    background.FillWith(behind.cr, background.brush_origin, 60, 20);
    for (int y = 0; y < 20; y += 3)
        for (int x = 0; x < 60; x += 3) ASSERT_EQ(behind.Pixel(x, y), first.Pixel(80 + x, 50 + y)) << x << "," << y;

    // A new size renders once more; the same size again does not.
    LMoveWindow(dlg, 100, 100, 400, 200, true);
    client = LGetClientRect(dlg);
    Target second(client.right, client.bottom);
    second.Erase(dlg);
    second.Erase(dlg);
    ASSERT_EQ(background.renders.size(), 2u);
    EXPECT_EQ(background.renders[1].cx, client.right);
    EXPECT_EQ(second.Pixel(client.right - 1, 10), 0x0000FFu);

    // Mode 6 paints nothing yet reports the background done.
    background.mode = LDialogBackground::kModeNothing;
    LMoveWindow(dlg, 100, 100, 350, 150, true);
    Target untouched(350, 150);
    EXPECT_EQ(untouched.Erase(dlg), 1);
    EXPECT_EQ(untouched.Pixel(10, 10), 0u);
    EXPECT_EQ(background.renders.size(), 2u);
    LDestroyWindow(dlg);
}

// The colour on screen, "#RRGGBB" of ImageMagick's pixel format.
std::string ScreenPixel(const std::string& shot, int x, int y) {
    std::string fx = "%[hex:p{" + std::to_string(x) + "," + std::to_string(y) + "}]";
    std::string out = LTestRunCapture({"convert", shot, "-format", fx, "info:"}, 20000);
    return out.substr(0, 6);
}

TEST(DialogBackground, OnScreenTheLabelShowsTheDialogsBackground) {
    LTestDisplay& d = LTestDisplay::Shared();
    ASSERT_TRUE(d.Ok()) << d.Error();
    ASSERT_TRUE(LWindowLayerOpen(LBackendKind::Gtk));
    LDialog host;
    Quarters background;
    LHwnd dlg = MakeDialog(host, 300, 120);
    background.Attach(&host);
    // A wide label with a short text: most of it is background.
    LHwnd label = host.CreateChild(10, u"Static", u"i", LWS_VISIBLE, 0);
    LMoveWindow(label, 60, 40, 120, 40, true);
    LForceForegroundWindow(dlg);
    for (int i = 0; i < 20; ++i) LTestPumpUntil([] { return true; });
    ASSERT_FALSE(background.renders.empty());

    LTestRoot root;
    std::string shot = root.Path() + "/dialog.png";
    std::string wid = LTestRunCapture({"xdotool", "search", "--onlyvisible", "--name", "^Background$"}, 10000);
    ASSERT_FALSE(wid.empty());
    LTestRunCapture({"import", "-window", wid.substr(0, wid.find('\n')), shot}, 20000);
    ASSERT_TRUE(std::filesystem::exists(shot));
    // Outside the label, then inside it on each side of the pattern's
    // boundaries (x = 100, y = 60 in the dialog).
    EXPECT_EQ(ScreenPixel(shot, 10, 10), "FF0000");
    EXPECT_EQ(ScreenPixel(shot, 200, 10), "0000FF");
    EXPECT_EQ(ScreenPixel(shot, 90, 55), "FF0000");
    EXPECT_EQ(ScreenPixel(shot, 170, 55), "0000FF");
    EXPECT_EQ(ScreenPixel(shot, 170, 75), "00FF00");
    LDestroyWindow(dlg);
}

}  // namespace
