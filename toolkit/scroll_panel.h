#pragma once
// A self-painted control whose content may be larger than its client
// area: it measures the content, keeps both scroll bars in step with it,
// answers the bar and wheel messages and scrolls the painted content.
#include "toolkit/custom_control.h"
#include "toolkit/scroll_bars.h"

class LScrollPanel : public LCustomControl {
public:
    void Attach(LWindow* owner, int item_id) override;
    LResult WndProc(LHwnd h, uint32_t msg, LWParam w, LLParam l) override;
    void Paint(LDrawContext& context) override { PaintDoubleBuffered(context); }
    void DrawContent(LDrawContext& context) override { DrawItems(context, false); }

    // The content painter: draws at the scrolled positions, or, when
    // measuring, only sets content_width and content_height.
    virtual void DrawItems(LDrawContext& context, bool measuring) = 0;

    void UpdateScrollBars();
    void ScrollToY(int position);
    void ScrollToX(int position);
    void ScrollContent();
    void OnVScroll(uint32_t code);
    void OnHScroll(uint32_t code);

    int x_pos = 0, y_pos = 0;
    int x_page = 0, y_page = 0;
    int content_width = 0, content_height = 0;
    int scrolled_x = 0, scrolled_y = 0;
};

// The line step of a bar: a twentieth of the page, at least 1.
int LScrollLineStep(int page);
// The position a bar code asks for (the bar unchanged for an unknown code:
// false).
bool LScrollNewPosition(const LScrollInfo& bar, uint32_t code, int* position);
