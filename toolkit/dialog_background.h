#pragma once
// A dialog's painted background behind transparent controls. The paint
// operation renders the background once per client size into a cairo
// pattern; erasing fills the client area with it, and the colour answers
// make the static controls, check boxes, radio buttons and push buttons
// transparent with the pattern's origin at minus their place, so that
// whatever shows behind a control is the dialog's own background there.
#include <memory>

#include "toolkit/draw_context.h"
#include "toolkit/input_messages.h"

class LWindow;
typedef struct _cairo_pattern cairo_pattern_t;

class LDialogBackground {
public:
    LDialogBackground();
    virtual ~LDialogBackground();
    LDialogBackground(const LDialogBackground&) = delete;
    LDialogBackground& operator=(const LDialogBackground&) = delete;

    // Renders the background for the rectangle (client coordinates).
    virtual void Paint(LDrawContext& dc, const LRect& r) = 0;

    // Hooks the dialog's erase, paint and colour messages; the background
    // must outlive the dialog's window.
    void Attach(LWindow* dialog);

    // WM_ERASEBKGND (wParam: LPaintStruct): true when the area was painted
    // (mode 6: nothing painted, yet reported done).
    bool Erase(LHwnd dialog, const LPaintStruct& ps);
    // Fills the cairo target over width x height with the pattern moved by
    // origin: a control at (x, y) fills its own area with origin (-x, -y).
    void FillWith(void* cairo, LPoint origin, int width, int height) const;
    // The brush the colour answers give: no colour, so controls draw none
    // of their own.
    static LBrush Brush();

    static constexpr int kModeNothing = 6;
    int mode = 0;
    LSize size;  // of the last rendering
    // What the last colour answer set: minus the control's place.
    LPoint brush_origin;

private:
    struct PatternFree {
        void operator()(cairo_pattern_t* p) const;
    };
    std::unique_ptr<cairo_pattern_t, PatternFree> pattern_;
};

// A background of one colour (the progress window's, with no theme here).
class LSolidDialogBackground : public LDialogBackground {
public:
    explicit LSolidDialogBackground(LColor c) : color_(c) {}
    void Paint(LDrawContext& dc, const LRect& r) override { dc.FillRect(r, color_); }

private:
    LColor color_;
};
