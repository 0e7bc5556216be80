#include "toolkit/draw_context.h"

#include <cairo.h>
#include <pango/pangocairo.h>

#include <algorithm>
#include <memory>

#include "toolkit/pango_measure.h"

namespace {

constexpr int kMeasureLimit = 32767;

using LayoutPtr = std::unique_ptr<PangoLayout, void (*)(void*)>;
using FontPtr = std::unique_ptr<PangoFontDescription, void (*)(PangoFontDescription*)>;

LayoutPtr MakeLayout(PangoContext* context, const LFontDesc& font, std::u16string_view text) {
    LayoutPtr layout(pango_layout_new(context), g_object_unref);
    FontPtr desc(LPangoFontFor(font), pango_font_description_free);
    pango_layout_set_font_description(layout.get(), desc.get());
    std::string utf8 = LUtf8Of(text);
    pango_layout_set_text(layout.get(), utf8.data(), static_cast<int>(utf8.size()));
    return layout;
}

// Prefix lengths never split a surrogate pair.
size_t CharBoundary(std::u16string_view text, size_t n) {
    if (n > 0 && n < text.size() && text[n] >= 0xDC00 && text[n] <= 0xDFFF) --n;
    return n;
}

}  // namespace

void LCairoSetColor(cairo_t* cr, LColor c) {
    cairo_set_source_rgb(cr, (c & 0xFF) / 255.0, ((c >> 8) & 0xFF) / 255.0, ((c >> 16) & 0xFF) / 255.0);
}

LDrawContext::LDrawContext(cairo_t* c, const LRect& clip, LHwnd w) : cr(c), paint(clip), window(w) {
    pango_ = pango_cairo_create_context(cr);
    // Text is measured at the resolution the layer measures with, so the
    // numbers of a paint pass match the layout's.
    pango_cairo_context_set_resolution(pango_, 96);
}

LDrawContext::~LDrawContext() {
    if (pango_) g_object_unref(pango_);
}

void LDrawContext::GetSize(int* width, int* height) const {
    LRect r = window != LHwnd::Null ? LGetClientRect(window) : paint;
    *width = r.Width() + 1;
    *height = r.Height() + 1;
}

LSize LDrawContext::Measure(std::u16string_view text, int wrap_width) {
    return LPangoMeasure(pango_, font_, text, wrap_width);
}

int LDrawContext::ItalicExtra() {
    if (!font_.italic) return 0;
    int h = LGetFontMetrics(font_).height;
    return (h + 5) / 6;
}

int LDrawContext::GetTextWidth(std::u16string_view text) { return Measure(text, 0).cx + ItalicExtra(); }

int LDrawContext::GetWrappedTextWidth(std::u16string_view text, int width) {
    return Measure(text, width > 0 ? width : 1).cx + ItalicExtra();
}

int LDrawContext::FitTextToWidth(std::u16string* out, std::u16string_view text, int width) {
    // Bisection over the prefix length: the wrapped width grows with the
    // prefix, so the answer is the last length that still fits; the first
    // character always counts as fitting, so a cut always moves on.
    size_t first = text.size() > 1 && text[0] >= 0xD800 && text[0] <= 0xDBFF ? 2 : 1;
    size_t lo = std::min(first, text.size()), hi = text.size();
    while (lo < hi) {
        size_t mid = lo + (hi - lo + 1) / 2;
        if (GetWrappedTextWidth(text.substr(0, mid), width) <= width) lo = mid;
        else hi = mid - 1;
    }
    if (lo > first) lo = CharBoundary(text, lo);
    if (out) *out = std::u16string(text.substr(0, lo));
    return static_cast<int>(lo);
}

std::u16string LDrawContext::CutToWidth(std::u16string_view text, int width) {
    if (width <= 0 || GetWrappedTextWidth(text, width) <= width) return std::u16string(text);
    std::u16string joined;
    while (!text.empty()) {
        int n = FitTextToWidth(nullptr, text, width);
        if (!joined.empty()) joined += u' ';
        joined.append(text.substr(0, static_cast<size_t>(n)));
        text.remove_prefix(static_cast<size_t>(n));
    }
    return joined;
}

void LDrawContext::DrawWrappedText(std::u16string_view text, int x, int y, int width, int height) {
    std::u16string fitted = CutToWidth(text, width);
    LayoutPtr layout = MakeLayout(pango_, font_, fitted);
    pango_layout_set_width(layout.get(), std::max(1, width) * PANGO_SCALE);
    pango_layout_set_wrap(layout.get(), PANGO_WRAP_WORD);
    cairo_save(cr);
    cairo_rectangle(cr, x, y, width, height);
    cairo_clip(cr);
    LCairoSetColor(cr, text_color_);
    cairo_move_to(cr, x, y);
    pango_cairo_show_layout(cr, layout.get());
    cairo_restore(cr);
}

int LDrawContext::GetWrappedTextHeight(std::u16string_view text, int width) {
    return Measure(CutToWidth(text, width), width > 0 ? width : 1).cy;
}

void LDrawContext::DrawTextLine(std::u16string_view text, const LRect& r, Align align) {
    LayoutPtr layout = MakeLayout(pango_, font_, text);
    pango_layout_set_width(layout.get(), std::max(1, r.Width()) * PANGO_SCALE);
    pango_layout_set_ellipsize(layout.get(), PANGO_ELLIPSIZE_END);
    pango_layout_set_single_paragraph_mode(layout.get(), TRUE);
    if (align == Align::Center) pango_layout_set_alignment(layout.get(), PANGO_ALIGN_CENTER);
    int w = 0, h = 0;
    pango_layout_get_pixel_size(layout.get(), &w, &h);
    cairo_save(cr);
    cairo_rectangle(cr, r.left, r.top, r.Width(), r.Height());
    cairo_clip(cr);
    LCairoSetColor(cr, text_color_);
    cairo_move_to(cr, r.left, r.top + (r.Height() - h) / 2);
    pango_cairo_show_layout(cr, layout.get());
    cairo_restore(cr);
}

void LDrawContext::FillRect(const LRect& r, LColor c) {
    LCairoSetColor(cr, c);
    cairo_rectangle(cr, r.left, r.top, r.Width(), r.Height());
    cairo_fill(cr);
}

void LDrawContext::FrameRect(const LRect& r, LColor c) {
    LCairoSetColor(cr, c);
    cairo_set_line_width(cr, 1);
    cairo_rectangle(cr, r.left + 0.5, r.top + 0.5, r.Width() - 1, r.Height() - 1);
    cairo_stroke(cr);
}

void LDrawContext::Line(int x0, int y0, int x1, int y1, LColor c) {
    LCairoSetColor(cr, c);
    cairo_set_line_width(cr, 1);
    cairo_move_to(cr, x0 + 0.5, y0 + 0.5);
    cairo_line_to(cr, x1 + 0.5, y1 + 0.5);
    cairo_stroke(cr);
}

static void FillGradient(cairo_t* cr, const LRect& r, LColor a, LColor b, bool vertical) {
    if (r.Width() <= 0 || r.Height() <= 0) return;
    cairo_pattern_t* p = vertical ? cairo_pattern_create_linear(0, r.top, 0, r.bottom)
                                  : cairo_pattern_create_linear(r.left, 0, r.right, 0);
    cairo_pattern_add_color_stop_rgb(p, 0, (a & 0xFF) / 255.0, ((a >> 8) & 0xFF) / 255.0, ((a >> 16) & 0xFF) / 255.0);
    cairo_pattern_add_color_stop_rgb(p, 1, (b & 0xFF) / 255.0, ((b >> 8) & 0xFF) / 255.0, ((b >> 16) & 0xFF) / 255.0);
    cairo_set_source(cr, p);
    cairo_rectangle(cr, r.left, r.top, r.Width(), r.Height());
    cairo_fill(cr);
    cairo_pattern_destroy(p);
}

void LDrawContext::FillVerticalGradient(const LRect& r, LColor top, LColor bottom) {
    FillGradient(cr, r, top, bottom, true);
}

void LDrawContext::FillHorizontalGradient(const LRect& r, LColor left, LColor right) {
    FillGradient(cr, r, left, right, false);
}

LDoubleBufferedContext::LDoubleBufferedContext(LDrawContext& outer)
    : LDrawContext(outer.cr, outer.paint, outer.window), outer_(outer) {
    font_ = outer.Font();
    cairo_save(cr);
    cairo_rectangle(cr, paint.left, paint.top, paint.Width(), paint.Height());
    cairo_clip(cr);
    cairo_push_group(cr);
}

LDoubleBufferedContext::~LDoubleBufferedContext() {
    cairo_pop_group_to_source(cr);
    cairo_paint(cr);
    cairo_restore(cr);
}
