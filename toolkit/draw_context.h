#pragma once
// One paint pass of a control the program draws itself: text measured and
// drawn with Pango in the pass's font, word wrapping that also cuts words
// longer than the width (so nothing is clipped), fills, lines and
// gradients on cairo. Cairo objects live with the pass, so there is no
// list of objects to free afterwards.
#include <string>
#include <string_view>

#include "toolkit/window_layer.h"

typedef struct _cairo cairo_t;
typedef struct _PangoContext PangoContext;

class LDrawContext {
public:
    // window may be null (a context that is not a window's: its size is the
    // clip rectangle's).
    LDrawContext(cairo_t* cr, const LRect& clip, LHwnd window);
    virtual ~LDrawContext();
    LDrawContext(const LDrawContext&) = delete;
    LDrawContext& operator=(const LDrawContext&) = delete;

    virtual void GetSize(int* width, int* height) const;

    void SetFont(const LFontDesc& font) { font_ = font; }
    const LFontDesc& Font() const { return font_; }
    void SetTextColor(LColor c) { text_color_ = c; }

    int GetTextWidth(std::u16string_view text);
    int GetWrappedTextWidth(std::u16string_view text, int width);
    // The longest prefix (at least one character) whose wrapped width fits.
    int FitTextToWidth(std::u16string* out, std::u16string_view text, int width);
    void DrawWrappedText(std::u16string_view text, int x, int y, int width, int height);
    int GetWrappedTextHeight(std::u16string_view text, int width);
    // One line in the rectangle, cut with an ellipsis when too long.
    enum class Align { Left, Center };
    void DrawTextLine(std::u16string_view text, const LRect& r, Align align);

    void FillRect(const LRect& r, LColor c);
    void FrameRect(const LRect& r, LColor c);
    void Line(int x0, int y0, int x1, int y1, LColor c);
    void FillVerticalGradient(const LRect& r, LColor top, LColor bottom);
    void FillHorizontalGradient(const LRect& r, LColor left, LColor right);

    cairo_t* cr = nullptr;
    LRect paint;  // the clip rectangle of the pass
    LHwnd window = LHwnd::Null;

protected:
    // The text cut into successive fitting pieces joined by spaces, when
    // its wrapped width exceeds the width; else the text itself.
    std::u16string CutToWidth(std::u16string_view text, int width);
    int ItalicExtra();
    LSize Measure(std::u16string_view text, int wrap_width);

    PangoContext* pango_ = nullptr;
    LFontDesc font_;
    LColor text_color_ = 0;
};

// A pass drawn off-screen and copied to the target's paint rectangle in
// one go, so a redraw never shows half-drawn content.
class LDoubleBufferedContext : public LDrawContext {
public:
    explicit LDoubleBufferedContext(LDrawContext& outer);
    ~LDoubleBufferedContext() override;
    void GetSize(int* width, int* height) const override { outer_.GetSize(width, height); }

private:
    LDrawContext& outer_;
};

// The cairo source colour of a 0x00BBGGRR colour.
void LCairoSetColor(cairo_t* cr, LColor c);
