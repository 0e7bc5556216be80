#include "toolkit/pictures.h"

#include <cairo.h>

#include "toolkit/window.h"

void LPremultiplyAlpha(std::vector<uint8_t>& p) {
    if (p.size() < 4) return;
    for (size_t i = 0; i + 3 < p.size(); i += 4) {
        unsigned a = p[i + 3];
        for (int c = 0; c < 3; ++c) p[i + c] = static_cast<uint8_t>(p[i + c] * a / 255);
    }
}

std::vector<uint8_t> LPaletteToAlpha(const std::vector<uint8_t>& pixels, int width, int height,
                                     const std::vector<uint32_t>& palette) {
    if (width <= 0 || height <= 0) return {};
    size_t stride = (static_cast<size_t>(width) + 3) & ~size_t{3};
    if (pixels.size() < stride * static_cast<size_t>(height - 1) + static_cast<size_t>(width)) return {};
    std::vector<uint8_t> out(static_cast<size_t>(width) * static_cast<size_t>(height) * 4, 0);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            uint8_t index = pixels[static_cast<size_t>(y) * stride + static_cast<size_t>(x)];
            if (index >= palette.size()) continue;
            uint32_t c = palette[index] & 0xFFFFFF;
            if (c == 0xC0C0C0) continue;
            uint8_t* o = &out[(static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)) * 4];
            o[0] = static_cast<uint8_t>(c & 0xFF);
            o[1] = static_cast<uint8_t>((c >> 8) & 0xFF);
            o[2] = static_cast<uint8_t>((c >> 16) & 0xFF);
            o[3] = 255;
        }
    }
    return out;
}

void LDrawBitmapStretched(LDrawContext& dc, const LRect& r, const std::vector<uint8_t>& bgra, int width, int height) {
    if (width <= 0 || height <= 0 || r.Width() <= 0 || r.Height() <= 0) return;
    int stride = cairo_format_stride_for_width(CAIRO_FORMAT_ARGB32, width);
    if (stride != width * 4 || bgra.size() < static_cast<size_t>(stride) * static_cast<size_t>(height)) return;
    cairo_surface_t* s = cairo_image_surface_create_for_data(const_cast<uint8_t*>(bgra.data()), CAIRO_FORMAT_ARGB32,
                                                             width, height, stride);
    cairo_save(dc.cr);
    cairo_translate(dc.cr, r.left, r.top);
    cairo_scale(dc.cr, static_cast<double>(r.Width()) / width, static_cast<double>(r.Height()) / height);
    cairo_set_source_surface(dc.cr, s, 0, 0);
    cairo_paint(dc.cr);
    cairo_restore(dc.cr);
    cairo_surface_destroy(s);
}

void LFillWindowGradient(LDrawContext& dc, LWindow* window, LColor first, LColor second, bool vertical) {
    LRect r = LGetClientRect(window->hwnd);
    r.bottom -= window->derived_value;
    if (vertical) dc.FillVerticalGradient(r, first, second);
    else dc.FillHorizontalGradient(r, first, second);
}

namespace {

constexpr int kTcnSelChange = -551;
constexpr uint32_t kCbnSelChange = 1;

LResult TabChangeHook(LWindow* window, LWParam, LLParam l, const LHookBlock& b) {
    auto* nh = reinterpret_cast<const LNotifyHeader*>(l);
    if (!nh || static_cast<intptr_t>(nh->id) != b.data || nh->code != kTcnSelChange) return 0;
    LSendMessage(window->hwnd, LWM_COMMAND, LMakeWParam(static_cast<uint32_t>(b.value), 0), 0);
    return 1;
}

LResult ComboChangeHook(LWindow* window, LWParam w, LLParam, const LHookBlock&) {
    if (LLoWord(w) != 112 || LHiWord(w) != kCbnSelChange) return 0;
    LSendMessage(window->hwnd, LWM_COMMAND, LMakeWParam(1001, 0), 0);
    return 1;
}

}  // namespace

void LForwardTabChangeAsCommand(LWindow* window, int control_id, int command_id) {
    window->AddMessageHook(LWM_NOTIFY, TabChangeHook, control_id, command_id, 0);
}

void LForwardComboChangeAsCommand(LWindow* window) { window->AddMessageHook(LWM_COMMAND, ComboChangeHook, 0, 0, 0); }
