#include "foundation/zlib_library.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(ZlibLibrary, CompressesToAZlibStreamThatInflatesBack) {
    LZlibLibrary z;
    ASSERT_EQ(z.available, 1);
    std::string text;
    for (int i = 0; i < 5000; ++i) text += "line " + std::to_string(i % 50) + " of a static file\n";
    for (const std::string& input : {text, std::string(), std::string("x"), std::string(100000, '\0')}) {
        LHeapBlock out;
        uint64_t size = 0;
        ASSERT_TRUE(z.Compress(input.data(), input.size(), out, size)) << input.size();
        const auto* b = static_cast<const unsigned char*>(out.block);
        ASSERT_GE(size, 6u);
        // zlib header: deflate, 32K window, level 9 flags, check bits.
        EXPECT_EQ(b[0], 0x78);
        EXPECT_EQ((b[0] * 256 + b[1]) % 31, 0);
        LByteBuffer back;
        ASSERT_TRUE(z.Decompress(out.block, size, back));
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(back.buffer), back.length), input);
        if (input == text) {
            EXPECT_LT(size, input.size() / 10);
        }
    }
}

TEST(ZlibLibrary, IncompressibleInputStillFits) {
    LZlibLibrary z;
    ASSERT_EQ(z.available, 1);
    for (size_t n : {1u, 7u, 64u, 70000u}) {
        std::string noise;
        uint32_t x = 12345;
        for (size_t i = 0; i < n; ++i) {
            x = x * 1103515245 + 12345;
            noise += static_cast<char>(x >> 24);
        }
        LHeapBlock out;
        uint64_t size = 0;
        EXPECT_TRUE(z.Compress(noise.data(), noise.size(), out, size)) << n;
    }
}

TEST(ZlibLibrary, LibraryWithoutAllEntryPointsIsNotUsed) {
    LZlibLibrary m("libm.so.6");
    EXPECT_EQ(m.available, 0);
    EXPECT_EQ(m.library, nullptr);
    EXPECT_EQ(m.deflate, nullptr);
    LZlibLibrary none("/nonexistent/libz.so.1");
    EXPECT_EQ(none.available, 0);
    LHeapBlock out;
    uint64_t size = 0;
    EXPECT_FALSE(none.Compress("abc", 3, out, size));
}

}  // namespace
