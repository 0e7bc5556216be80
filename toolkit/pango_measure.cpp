#include "toolkit/pango_measure.h"

#include <pango/pango.h>

#include <memory>

#include "foundation/utf8.h"

std::string LUtf8Of(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        uint32_t cp = text[i];
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            cp = 0xFFFD;
        }
        char buf[4];
        out.append(buf, LUtf8Encode(cp, buf));
    }
    return out;
}

PangoFontDescription* LPangoFontFor(const LFontDesc& font) {
    PangoFontDescription* d = pango_font_description_new();
    pango_font_description_set_family(d, font.family.c_str());
    pango_font_description_set_size(d, static_cast<int>(font.points * PANGO_SCALE + 0.5));
    pango_font_description_set_weight(d, static_cast<PangoWeight>(font.weight));
    pango_font_description_set_style(d, font.italic ? PANGO_STYLE_ITALIC : PANGO_STYLE_NORMAL);
    return d;
}

LSize LPangoMeasure(PangoContext* context, const LFontDesc& font, std::u16string_view text, int wrap_width) {
    if (!context) return {};
    std::unique_ptr<PangoLayout, void (*)(void*)> layout(pango_layout_new(context), g_object_unref);
    std::unique_ptr<PangoFontDescription, void (*)(PangoFontDescription*)> desc(LPangoFontFor(font),
                                                                                  pango_font_description_free);
    pango_layout_set_font_description(layout.get(), desc.get());
    std::string utf8 = LUtf8Of(text);
    pango_layout_set_text(layout.get(), utf8.data(), static_cast<int>(utf8.size()));
    if (wrap_width > 0) {
        pango_layout_set_width(layout.get(), wrap_width * PANGO_SCALE);
        pango_layout_set_wrap(layout.get(), PANGO_WRAP_WORD);
    }
    int w = 0, h = 0;
    pango_layout_get_pixel_size(layout.get(), &w, &h);
    return {w, h};
}
