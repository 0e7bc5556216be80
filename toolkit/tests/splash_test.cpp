// The splash picture: the compiled-in one decodes at its size with its
// colours premultiplied in cairo's byte order, and a replacement file is
// taken only when it decodes within the size bounds (else the picture
// held stays).
#include <gdk-pixbuf/gdk-pixbuf.h>
#include <gtest/gtest.h>

#include <fstream>

#include "tests/support/test_root.h"
#include "toolkit/splash_image.h"

namespace {

// Writes a w x h picture of one colour (RGBA) as JPEG or PNG.
bool WritePicture(const std::string& path, const char* type, int w, int h, uint32_t rgba) {
    GdkPixbuf* pb = gdk_pixbuf_new(GDK_COLORSPACE_RGB, TRUE, 8, w, h);
    if (!pb) return false;
    gdk_pixbuf_fill(pb, rgba);
    bool ok = gdk_pixbuf_save(pb, path.c_str(), type, nullptr, nullptr);
    g_object_unref(pb);
    return ok;
}

const uint8_t* Pixel(const LSplashImage& s, int x, int y) {
    return &s.bgra[(static_cast<size_t>(y) * static_cast<size_t>(s.width) + static_cast<size_t>(x)) * 4];
}

TEST(Splash, CompiledInPictureLoads) {
    LSplashImage s;
    ASSERT_TRUE(s.Load());
    EXPECT_EQ(s.width, 400);
    EXPECT_EQ(s.height, 240);
    ASSERT_EQ(s.bgra.size(), 400u * 240u * 4u);
    // The band at the top is #1d4e89, opaque: B, G, R, A in memory.
    const uint8_t* p = Pixel(s, 5, 5);
    EXPECT_EQ(p[0], 0x89);
    EXPECT_EQ(p[1], 0x4e);
    EXPECT_EQ(p[2], 0x1d);
    EXPECT_EQ(p[3], 0xff);
}

TEST(Splash, ReplacementFileIsTakenOnlyWhenSound) {
    LTestRoot root;
    std::string dir = root.Path();
    ASSERT_TRUE(WritePicture(dir + "/ok.jpg", "jpeg", 120, 80, 0xff0000ff));
    // Half-transparent green: the colour is premultiplied by its alpha.
    ASSERT_TRUE(WritePicture(dir + "/half.png", "png", 3, 2, 0x00c88080));
    ASSERT_TRUE(WritePicture(dir + "/huge.png", "png", LSplashImage::kMaxSide + 1, 1, 0xffffffff));
    std::ofstream(dir + "/garbage.jpg") << "not a picture at all";
    std::ofstream(dir + "/empty.jpg");
    std::ofstream(dir + "/cut.jpg") << std::string(reinterpret_cast<const char*>("\xff\xd8\xff\xe0"), 4);

    LSplashImage s;
    ASSERT_TRUE(s.LoadFile(dir + "/ok.jpg"));
    EXPECT_EQ(s.width, 120);
    EXPECT_EQ(s.height, 80);
    EXPECT_GT(Pixel(s, 60, 40)[2], 0xf0);  // red (JPEG is near, not exact)
    EXPECT_LT(Pixel(s, 60, 40)[0], 0x10);

    for (const char* bad : {"/huge.png", "/garbage.jpg", "/empty.jpg", "/cut.jpg", "/missing.jpg", ""}) {
        SCOPED_TRACE(bad);
        EXPECT_FALSE(s.LoadFile(dir + bad));
        EXPECT_EQ(s.width, 120);  // the held picture stays
    }

    ASSERT_TRUE(s.LoadFile(dir + "/half.png"));
    const uint8_t* p = Pixel(s, 1, 1);
    EXPECT_EQ(p[0], 0x80 * 0x80 / 255);
    EXPECT_EQ(p[1], 0xc8 * 0x80 / 255);
    EXPECT_EQ(p[2], 0);
    EXPECT_EQ(p[3], 0x80);
}

}  // namespace
