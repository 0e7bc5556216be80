#pragma once
// Text measuring with Pango, shared by both backends so that the numbers
// the layout works with are the ones the screen shows.
#include <string>
#include <string_view>

#include "toolkit/window_layer.h"

typedef struct _PangoContext PangoContext;
typedef struct _PangoFontDescription PangoFontDescription;

// A new description (free with pango_font_description_free).
PangoFontDescription* LPangoFontFor(const LFontDesc& font);
// Logical extents of the text: one line when wrap_width <= 0, else
// word-wrapped at that width (a word wider than the width overflows).
LSize LPangoMeasure(PangoContext* context, const LFontDesc& font, std::u16string_view text, int wrap_width);
std::string LUtf8Of(std::u16string_view text);
