#pragma once
// Pictures prepared for alpha blending, stretched pictures and two-colour
// gradient backgrounds, and the hooks that turn tab and combo selection
// changes into plain commands.
#include <cstdint>
#include <vector>

#include "toolkit/draw_context.h"

class LWindow;

// 32-bit pixels (B, G, R, A in memory) premultiplied in place: each colour
// channel times alpha / 255, truncated. Fewer than 4 bytes stay as they are.
void LPremultiplyAlpha(std::vector<uint8_t>& bgra);
// 8-bit palette pixels (rows padded to 4 bytes) to 32-bit pixels: the
// palette's RGB(192, 192, 192) becomes fully transparent, every other
// colour opaque. Palette entries are 0x00RRGGBB; an index beyond the palette
// is transparent. Empty when the source is too short.
std::vector<uint8_t> LPaletteToAlpha(const std::vector<uint8_t>& pixels, int width, int height,
                                     const std::vector<uint32_t>& palette);

// A picture of width x height premultiplied 32-bit pixels stretched over
// the rectangle.
void LDrawBitmapStretched(LDrawContext& dc, const LRect& r, const std::vector<uint8_t>& bgra, int width, int height);

// A window's client area less the status band at its bottom, filled with a
// two-colour gradient (left to right, or top to bottom).
void LFillWindowGradient(LDrawContext& dc, LWindow* window, LColor first, LColor second, bool vertical);

// WM_NOTIFY TCN_SELCHANGE from the control becomes WM_COMMAND(command).
void LForwardTabChangeAsCommand(LWindow* window, int control_id, int command_id);
// CBN_SELCHANGE from item 112 becomes WM_COMMAND(1001).
void LForwardComboChangeAsCommand(LWindow* window);
