#include "toolkit/splash_image.h"

#include <gdk-pixbuf/gdk-pixbuf.h>
#include <sys/stat.h>

#include <memory>

namespace {

struct Unref {
    void operator()(void* p) const { g_object_unref(p); }
};
using PixbufPtr = std::unique_ptr<GdkPixbuf, Unref>;

// Cairo's ARGB32 layout (B, G, R, A in memory on little-endian machines,
// colour premultiplied) from a pixbuf's RGB or RGBA rows.
bool Convert(GdkPixbuf* pb, LSplashImage* out) {
    if (gdk_pixbuf_get_colorspace(pb) != GDK_COLORSPACE_RGB || gdk_pixbuf_get_bits_per_sample(pb) != 8) return false;
    int w = gdk_pixbuf_get_width(pb), h = gdk_pixbuf_get_height(pb);
    int channels = gdk_pixbuf_get_n_channels(pb), stride = gdk_pixbuf_get_rowstride(pb);
    bool alpha = gdk_pixbuf_get_has_alpha(pb);
    if (w <= 0 || h <= 0 || channels < (alpha ? 4 : 3)) return false;
    const guint8* src = gdk_pixbuf_read_pixels(pb);
    std::vector<uint8_t> px(static_cast<size_t>(w) * static_cast<size_t>(h) * 4);
    for (int y = 0; y < h; ++y) {
        const guint8* row = src + static_cast<size_t>(y) * static_cast<size_t>(stride);
        uint8_t* o = &px[static_cast<size_t>(y) * static_cast<size_t>(w) * 4];
        for (int x = 0; x < w; ++x, row += channels, o += 4) {
            unsigned a = alpha ? row[3] : 255;
            o[0] = static_cast<uint8_t>(row[2] * a / 255);
            o[1] = static_cast<uint8_t>(row[1] * a / 255);
            o[2] = static_cast<uint8_t>(row[0] * a / 255);
            o[3] = static_cast<uint8_t>(a);
        }
    }
    out->bgra = std::move(px);
    out->width = w;
    out->height = h;
    return true;
}

}  // namespace

void LSplashImage::Release() {
    bgra.clear();
    bgra.shrink_to_fit();
    width = height = 0;
}

bool LSplashImage::Load() {
    Release();
    PixbufPtr pb(gdk_pixbuf_new_from_resource(kLSplashResource, nullptr));
    return pb && Convert(pb.get(), this);
}

bool LSplashImage::LoadFile(const std::string& path) {
    // A replacement picture is a file anyone who can write the data folder
    // may put there: its size is checked before a decoder sees it.
    struct stat st;
    if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size <= 0 || st.st_size > kMaxFileBytes)
        return false;
    int w = 0, h = 0;
    if (!gdk_pixbuf_get_file_info(path.c_str(), &w, &h) || w <= 0 || h <= 0 || w > kMaxSide || h > kMaxSide)
        return false;
    PixbufPtr pb(gdk_pixbuf_new_from_file(path.c_str(), nullptr));
    if (!pb || gdk_pixbuf_get_width(pb.get()) > kMaxSide || gdk_pixbuf_get_height(pb.get()) > kMaxSide) return false;
    LSplashImage next;
    if (!Convert(pb.get(), &next)) return false;
    *this = std::move(next);
    return true;
}
