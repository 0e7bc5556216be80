#pragma once
// Dialog templates as the bytes the dialog functions read: the empty
// templates every toolkit dialog starts from, the main window's resource,
// measuring a template and replacing its font. Measuring reads only inside
// the block: strings or items that run past its end fail.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "toolkit/window_layer.h"

class LWindow;

// A template block, owned by the caller.
using LDialogTemplate = std::vector<unsigned char>;
constexpr size_t LDialogTemplateBlockSize = 1024;
extern const char16_t LDialogFontFace[];  // "MS Shell Dlg 2"

// The empty template: 1024 zero-filled bytes with the header, no menu, the
// default class, the title and the font block (a title too long for the
// block is cut). The first form asks LGetDialogFontSize for the size.
bool LBuildDialogTemplate(LDialogTemplate& out, int width, int height, const char16_t* title, uint32_t style,
                          uint32_t exstyle);
bool LBuildDialogTemplatePoints(LDialogTemplate& out, int width, int height, const char16_t* title, uint32_t style,
                                uint32_t exstyle, uint16_t points);
// Width = characters x 4, height = lines x 8 dialog units, truncated.
bool LBuildDialogTemplateUnits(LDialogTemplate& out, float chars, float lines, uint32_t style, uint32_t exstyle);

// The offset just behind the last item; false when anything runs past n.
bool LMeasureDialogTemplate(const unsigned char* p, size_t n, size_t* used);
// Replaces the font block with `points` and "MS Shell Dlg 2" (adding
// DS_SETFONT), moving the items to the 4-byte boundary after it; `used`
// follows. False when the block is malformed or too small for the result.
bool LSetDialogTemplateFont(LDialogTemplate& block, size_t* used, uint16_t points);
// The header of a template, for the dialog creation.
bool LReadDialogTemplate(const unsigned char* p, size_t n, LDialogCreate* out);

// The main window's template (resource 1).
const unsigned char* LDialogResource1(size_t* size);
// Creates the modeless main window from resource 1 with its font set to the
// dialog size; null on any failure.
LHwnd LCreateDialogFromResource(LWindow* object);

// The dialog point size, computed once per process.
int LGetDialogFontSize();
int LGetDialogFontLimit();
float LGetTextScaleFactor();
// The rule itself: scaled = base x scale rounded half away from zero,
// limited to floor(max(work height / (line height x 43), 1) x base).
int LComputeDialogFontSize(double base_points, double scale, int work_height, int line_height);
