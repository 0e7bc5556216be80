#pragma once
// zlib, loaded at run time: the program runs without it and then makes no
// compressed copies. The library of the on-demand component "zlib1x64" is
// used when one is recorded, else the system's libz.so.1.
#include <cstddef>
#include <cstdint>

#include "foundation/lstring.h"

class LZlibLibrary {
public:
    LZlibLibrary();
    // Loads the given library file instead (tests).
    explicit LZlibLibrary(const char* path);
    ~LZlibLibrary();
    LZlibLibrary(const LZlibLibrary&) = delete;
    LZlibLibrary& operator=(const LZlibLibrary&) = delete;

    // Compresses n bytes at level 9 into a zlib stream (header, deflate
    // data, Adler-32 trailer). On success out holds exactly the compressed
    // bytes and size their count. n must stay below 2^32.
    bool Compress(const void* data, uint64_t n, LHeapBlock& out, uint64_t& size);
    // Inflates a zlib stream of n bytes into out (the tests' check, and
    // readers of the compressed copies).
    bool Decompress(const void* data, uint64_t n, LByteBuffer& out);

    uint8_t available = 0;
    void* library = nullptr;
    void* deflateInit_ = nullptr;
    void* deflate = nullptr;
    void* deflateEnd = nullptr;
    void* inflateInit_ = nullptr;
    void* inflateInit2_ = nullptr;
    void* inflate = nullptr;
    void* inflateEnd = nullptr;

private:
    void Load(const char* path);
};
