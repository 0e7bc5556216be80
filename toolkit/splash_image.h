#pragma once
// The splash picture: the one compiled into the program, or a picture file
// that replaces it, decoded with gdk-pixbuf into premultiplied 32-bit
// pixels that cairo draws directly (LDrawBitmapStretched).
#include <cstdint>
#include <string>
#include <vector>

class LSplashImage {
public:
    // The compiled-in picture. False (and no picture) when it is missing.
    bool Load();
    // A JPEG, PNG or other picture file. A file that does not decode, is
    // larger than kMaxFileBytes or kMaxSide pixels a side leaves the
    // previous picture.
    bool LoadFile(const std::string& path);
    void Release();
    bool Has() const { return width > 0 && height > 0; }

    static constexpr int64_t kMaxFileBytes = 16 << 20;
    static constexpr int kMaxSide = 4096;

    std::vector<uint8_t> bgra;  // premultiplied, rows of width * 4 bytes
    int width = 0;
    int height = 0;
};

// The resource path of the compiled-in picture.
inline constexpr const char* kLSplashResource = "/org/porlinex/splash.png";
