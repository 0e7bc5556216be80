#include "toolkit/dialog_template.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "toolkit/window.h"

const char16_t LDialogFontFace[] = u"MS Shell Dlg 2";

namespace {

constexpr size_t kFaceBytes = sizeof(LDialogFontFace);  // 30 with the terminator

uint16_t Get16(const unsigned char* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t Get32(const unsigned char* p) { return Get16(p) | (static_cast<uint32_t>(Get16(p + 2)) << 16); }
void Put16(unsigned char* p, uint16_t v) {
    p[0] = static_cast<unsigned char>(v);
    p[1] = static_cast<unsigned char>(v >> 8);
}
void Put32(unsigned char* p, uint32_t v) {
    Put16(p, static_cast<uint16_t>(v));
    Put16(p + 2, static_cast<uint16_t>(v >> 16));
}
size_t Align4(size_t v) { return (v + 3) & ~static_cast<size_t>(3); }

// Skips an ordinal (0xFFFF and a number) or a terminated string at *at;
// false when it runs past n. The text is kept when asked.
bool SkipSz(const unsigned char* p, size_t n, size_t* at, std::u16string* text = nullptr) {
    if (*at + 2 > n) return false;
    if (Get16(p + *at) == 0xFFFF) {
        if (*at + 4 > n) return false;
        *at += 4;
        return true;
    }
    for (;;) {
        if (*at + 2 > n) return false;
        uint16_t c = Get16(p + *at);
        *at += 2;
        if (c == 0) return true;
        if (text) text->push_back(static_cast<char16_t>(c));
    }
}

struct Header {
    bool extended = false;
    size_t style_at = 0;
    uint32_t style = 0;
    uint16_t count = 0;
    size_t font_at = 0;   // where the font block starts (after the title)
    size_t font_len = 0;  // 0 without DS_SETFONT
    size_t items_at = 0;  // first item (4-byte aligned after the font block)
};

bool ReadHeader(const unsigned char* p, size_t n, Header* h, LDialogCreate* out = nullptr) {
    if (n < 18) return false;
    h->extended = Get16(p + 2) == 0xFFFF;
    size_t at;
    if (h->extended) {
        if (n < 26) return false;
        h->style_at = 12;
        h->count = Get16(p + 16);
        at = 26;
    } else {
        h->style_at = 0;
        h->count = Get16(p + 8);
        at = 18;
    }
    h->style = Get32(p + h->style_at);
    std::u16string title, face;
    if (!SkipSz(p, n, &at) || !SkipSz(p, n, &at) || !SkipSz(p, n, &at, &title)) return false;
    h->font_at = at;
    uint16_t points = 0;
    if (h->style & LDS_SETFONT) {
        if (at + 2 > n) return false;
        points = Get16(p + at);
        at += 2;
        if (h->extended) {
            if (at + 4 > n) return false;
            at += 4;
        }
        if (!SkipSz(p, n, &at, &face)) return false;
    }
    h->font_len = at - h->font_at;
    h->items_at = Align4(at);
    if (out) {
        const unsigned char* b = p + (h->extended ? 18 : 10);
        out->style = h->style;
        out->exstyle = Get32(p + (h->extended ? 8 : 4));
        out->x = static_cast<int16_t>(Get16(b));
        out->y = static_cast<int16_t>(Get16(b + 2));
        out->cx = static_cast<int16_t>(Get16(b + 4));
        out->cy = static_cast<int16_t>(Get16(b + 6));
        out->title = title;
        out->points = points;
        out->face = face;
    }
    return true;
}

}  // namespace

bool LBuildDialogTemplatePoints(LDialogTemplate& out, int width, int height, const char16_t* title, uint32_t style,
                                uint32_t exstyle, uint16_t points) {
    out.assign(LDialogTemplateBlockSize, 0);
    unsigned char* p = out.data();
    Put32(p, style | LDS_SETFONT);
    Put32(p + 4, exstyle);
    Put16(p + 14, static_cast<uint16_t>(width));
    Put16(p + 16, static_cast<uint16_t>(height));
    size_t at = 22;  // menu 0 and class 0 are already zero
    size_t room = (LDialogTemplateBlockSize - at - 2 - 2 - kFaceBytes) / 2;
    size_t len = title ? std::char_traits<char16_t>::length(title) : 0;
    if (len > room) {
        len = room;
        // A cut never leaves the first half of a surrogate pair behind.
        if (len && title[len - 1] >= 0xD800 && title[len - 1] <= 0xDBFF) --len;
    }
    for (size_t i = 0; i < len; ++i, at += 2) Put16(p + at, title[i]);
    at += 2;
    Put16(p + at, points);
    at += 2;
    for (size_t i = 0; LDialogFontFace[i]; ++i, at += 2) Put16(p + at, LDialogFontFace[i]);
    return true;
}

bool LBuildDialogTemplate(LDialogTemplate& out, int width, int height, const char16_t* title, uint32_t style,
                          uint32_t exstyle) {
    return LBuildDialogTemplatePoints(out, width, height, title, style, exstyle,
                                      static_cast<uint16_t>(LGetDialogFontSize()));
}

bool LBuildDialogTemplateUnits(LDialogTemplate& out, float chars, float lines, uint32_t style, uint32_t exstyle) {
    return LBuildDialogTemplate(out, static_cast<int>(chars * 4), static_cast<int>(lines * 8), nullptr, style, exstyle);
}

bool LMeasureDialogTemplate(const unsigned char* p, size_t n, size_t* used) {
    Header h;
    if (!p || !ReadHeader(p, n, &h)) return false;
    size_t at = h.font_at + h.font_len;
    size_t fixed = h.extended ? 24 : 18;
    for (uint16_t i = 0; i < h.count; ++i) {
        at = Align4(at);
        if (at + fixed > n) return false;
        at += fixed;
        if (!SkipSz(p, n, &at) || !SkipSz(p, n, &at)) return false;
        if (at + 2 > n) return false;
        size_t extra = Get16(p + at);
        // The plain form's size counts its own two bytes.
        at += h.extended ? 2 + extra : std::max<size_t>(extra, 2);
        if (at > n) return false;
    }
    *used = at;
    return true;
}

bool LSetDialogTemplateFont(LDialogTemplate& block, size_t* used, uint16_t points) {
    Header h;
    size_t measured;
    if (!used || *used > block.size() || !LMeasureDialogTemplate(block.data(), *used, &measured)) return false;
    if (!ReadHeader(block.data(), *used, &h)) return false;
    unsigned char* p = block.data();
    unsigned char ext_fields[4] = {0, 0, 0, 0};
    if (h.extended && h.font_len) std::memcpy(ext_fields, p + h.font_at + 2, 4);
    size_t new_len = 2 + (h.extended ? 4 : 0) + kFaceBytes;
    size_t old_end = h.font_at + h.font_len;
    size_t new_end = h.font_at + new_len;
    size_t new_used;
    if (h.count == 0) {
        new_used = new_end;
        if (new_used > block.size()) return false;
    } else {
        size_t old_items = Align4(old_end), new_items = Align4(new_end);
        size_t tail = measured - old_items;
        new_used = new_items + tail;
        if (new_used > block.size()) return false;
        std::memmove(p + new_items, p + old_items, tail);
        if (new_items > new_end) std::memset(p + new_end, 0, new_items - new_end);
    }
    if (new_used < *used) std::memset(p + new_used, 0, *used - new_used);
    Put32(p + h.style_at, h.style | LDS_SETFONT);
    size_t at = h.font_at;
    Put16(p + at, points);
    at += 2;
    if (h.extended) {
        std::memcpy(p + at, ext_fields, 4);
        at += 4;
    }
    for (size_t i = 0; i < kFaceBytes / 2; ++i, at += 2) Put16(p + at, LDialogFontFace[i]);
    *used = new_used;
    return true;
}

bool LReadDialogTemplate(const unsigned char* p, size_t n, LDialogCreate* out) {
    Header h;
    size_t used;
    return p && out && LMeasureDialogTemplate(p, n, &used) && ReadHeader(p, n, &h, out);
}

// Extended form, no items: WS_POPUP | WS_CLIPCHILDREN | WS_CAPTION |
// WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX | DS_CENTER |
// DS_SETFONT | DS_FIXEDSYS | DS_3DLOOK, at 40, 40, size 0 x 0, menu 1,
// "Porlinex", 8-point "MS Shell Dlg 2" (weight 400, character set 1).
static const unsigned char kResource1[] = {
    0x01, 0x00, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x4C, 0x08, 0xCF, 0x82, 0x00, 0x00,
    0x28, 0x00, 0x28, 0x00, 0x00, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0x01, 0x00, 0x00, 0x00, 'P',  0x00, 'o',  0x00,
    'r',  0x00, 'l',  0x00, 'i',  0x00, 'n',  0x00, 'e',  0x00, 'x',  0x00, 0x00, 0x00, 0x08, 0x00, 0x90, 0x01,
    0x00, 0x01, 'M',  0x00, 'S',  0x00, ' ',  0x00, 'S',  0x00, 'h',  0x00, 'e',  0x00, 'l',  0x00, 'l',  0x00,
    ' ',  0x00, 'D',  0x00, 'l',  0x00, 'g',  0x00, ' ',  0x00, '2',  0x00, 0x00, 0x00,
};

const unsigned char* LDialogResource1(size_t* size) {
    *size = sizeof(kResource1);
    return kResource1;
}

LHwnd LCreateDialogFromResource(LWindow* object) {
    size_t n;
    const unsigned char* res = LDialogResource1(&n);
    // Room for a longer font block than the resource's own.
    LDialogTemplate copy(n + 64, 0);
    std::memcpy(copy.data(), res, n);
    size_t used;
    if (!LMeasureDialogTemplate(copy.data(), n, &used) || used == 0) return LHwnd::Null;
    if (!LSetDialogTemplateFont(copy, &used, static_cast<uint16_t>(LGetDialogFontSize()))) return LHwnd::Null;
    LDialogCreate t;
    if (!LReadDialogTemplate(copy.data(), used, &t)) return LHwnd::Null;
    return LCreateDialog(t, LHwnd::Null, LDialogProc, reinterpret_cast<LLParam>(object));
}

int LComputeDialogFontSize(double base_points, double scale, int work_height, int line_height) {
    double ratio = line_height > 0 ? work_height / (line_height * 43.0) : 1.0;
    int limit = static_cast<int>(std::floor(std::max(ratio, 1.0) * base_points));
    double scaled = base_points * scale;
    int rounded = static_cast<int>(scaled < 0 ? std::ceil(scaled - 0.5) : std::floor(scaled + 0.5));
    return std::min(limit, rounded);
}

float LGetTextScaleFactor() {
    // The desktop's interface font already carries its text scale (GNOME
    // scales the resolution, others the size): scaling again would double it.
    return 1.0f;
}

static double InterfacePoints() {
    double p = LGetInterfaceFont().points;
    return p > 0 ? p : 8;
}

int LGetDialogFontLimit() {
    LFontDesc f = LGetInterfaceFont();
    LFontMetrics m = LGetFontMetrics(f);
    LRect wa = LGetPrimaryWorkArea();
    double ratio = m.height > 0 ? wa.Height() / (m.height * 43.0) : 1.0;
    return static_cast<int>(std::floor(std::max(ratio, 1.0) * InterfacePoints()));
}

int LGetDialogFontSize() {
    static int cached = 0;
    if (cached) return cached;
    double base = InterfacePoints();
    cached = static_cast<int>(base);
    LFontMetrics m = LGetFontMetrics(LGetInterfaceFont());
    cached = LComputeDialogFontSize(base, LGetTextScaleFactor(), LGetPrimaryWorkArea().Height(), m.height);
    if (cached <= 0) cached = static_cast<int>(base);
    return cached;
}
