#pragma once
// The banner strip of the main window that shows one notification: a line
// of text, up to three buttons and a close glyph. A click on a button or on
// the close glyph hides the banner and sends the button's command to the
// main window.
#include <string>

#include "toolkit/custom_control.h"

class LWindow;

// The main window's size handler: where the banner's place comes from.
class LSizeHandler {
public:
    virtual ~LSizeHandler() = default;
    virtual void OnSize(int, int) {}
    virtual void GetMinSize(int* width, int* height) {
        *width = min_width;
        *height = min_height;
    }
    int min_width = 0;
    int min_height = 0;
};

constexpr int LBannerItemId = 9599;
constexpr int LBannerCloseCommand = 813;

class LPushNotificationPanel : public LCustomControl {
public:
    struct Area {
        std::u16string caption;
        int command = -1;
        LRect rect;
    };

    // main_window: the window that owns item 9599 and gets the commands.
    bool Create(LWindow* main_window, LSizeHandler* size_handler);
    void Show(const char16_t* text, const char16_t* caption1, int command1, const char16_t* caption2, int command2);
    void Hide();

    void Paint(LDrawContext& context) override { PaintDoubleBuffered(context); }
    void DrawContent(LDrawContext& context) override;
    void OnMouseLeave() override;
    void OnMouseMove(int x, int y) override;
    void OnLButtonDown(int x, int y) override;
    void OnLButtonUp(int x, int y) override;

    // The command of the area under the point (buttons, then the close
    // glyph), or -1.
    int HitTest(int x, int y) const;

    bool shown = false;
    std::u16string text;
    Area buttons[3];
    Area close;
    int hovered = -1;
    int pressed = -1;

private:
    void Relayout();
    int ButtonWidth(LDrawContext& dc, const std::u16string& caption);
    void DrawButton(LDrawContext& dc, const Area& a, int x, int row_height, LRect* out);
    void DrawClose(LDrawContext& dc, int banner_width, int row_height);
    int X(int n) const;
    int Y(int n) const;

    LSizeHandler* size_handler_ = nullptr;
    LHwnd tooltip_ = LHwnd::Null;
};

// Colours of the banner (0x00BBGGRR).
constexpr LColor LBannerFrame = 0x328A9B;
constexpr LColor LBannerHotFrame = 0x00009B;
constexpr LColor LBannerDisabledFrame = 0x6FADB9;
constexpr LColor LBannerButtonText = 0x000000;
constexpr LColor LBannerTopLine = 0x919191;
constexpr LColor LBannerButtonFill = 0xF5F5F5;
