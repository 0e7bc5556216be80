#pragma once
// The About box: a small tabbed dialog whose first tab is a picture
// control (class "LAW") painting the splash picture scaled to its size
// with the product name, version, build date and distributor over it, and
// the distributor's contact line as a link; the second tab shows the
// licence terms.
#include <string>
#include <vector>

#include "toolkit/input_messages.h"
#include "toolkit/splash_image.h"
#include "toolkit/window.h"

class LAboutPicture {
public:
    // Loads the picture (the data folder's "splash.jpg" over the compiled-in
    // one) and registers the class "LAW".
    void Create();
    void Attach(LHwnd item);
    void Destroy();
    void Paint(LHwnd window, const LPaintStruct& ps);
    LResult WndProc(LHwnd h, uint32_t msg, LWParam w, LLParam l);
    void GetBitmapSize(int* width, int* height) const;

    LHwnd window = LHwnd::Null;
    LRect link;  // the contact line as last painted, client pixels
    LThemeApi theme;
    LSplashImage picture;
    // The texts of the last paint, in drawing order.
    std::vector<std::u16string> painted;
};

class LAbout : public LDialog {
public:
    explicit LAbout(LAboutPicture& picture) : picture_(picture) {}
    void OnInitDialog() override;
    void OnCommand(int id, int code) override;
    void ShowTab(int tab);

    std::u16string licence;
    std::u16string credits;

private:
    LAboutPicture& picture_;
    LBackgroundPainter white_;
};

// Item ids and the tab command.
constexpr int LAboutTabs = 101;
constexpr int LAboutPictureItem = 999;
constexpr int LAboutTextItem = 998;
constexpr int LAboutTabCommand = 1024;

// Runs the About box modally over the owner.
void LShowAboutBox(LHwnd owner);
// The distributor's values (machine settings, section Distributor) with
// their defaults.
std::u16string LDistributorValue(const char16_t* name);
