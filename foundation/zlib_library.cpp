#include "foundation/zlib_library.h"

#include <dlfcn.h>
// Declarations only: the library is never linked, so the stream record and
// the version text come from the header of the zlib the system carries.
#include <zlib.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "foundation/reg_settings.h"
#include "foundation/utf8.h"

namespace {

using DeflateInitFn = int (*)(z_streamp, int, const char*, int);
using DeflateFn = int (*)(z_streamp, int);
using EndFn = int (*)(z_streamp);
using InflateInitFn = int (*)(z_streamp, const char*, int);

template <class F>
F Fn(void* p) {
    return reinterpret_cast<F>(p);
}

}  // namespace

LZlibLibrary::LZlibLibrary() {
    char16_t path[260];
    std::string file = LGetComponentPath(u"zlib1x64", path) ? LToUtf8(path) : std::string("libz.so.1");
    Load(file.c_str());
}

LZlibLibrary::LZlibLibrary(const char* path) { Load(path); }

LZlibLibrary::~LZlibLibrary() {
    if (library) dlclose(library);
}

void LZlibLibrary::Load(const char* path) {
    library = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    if (!library) return;
    void** slots[] = {&deflateInit_, &deflate, &deflateEnd, &inflateInit_, &inflateInit2_, &inflate, &inflateEnd};
    const char* names[] = {"deflateInit_", "deflate", "deflateEnd", "inflateInit_", "inflateInit2_", "inflate",
                           "inflateEnd"};
    bool all = true;
    for (size_t i = 0; i < 7; ++i) {
        *slots[i] = dlsym(library, names[i]);
        all = all && *slots[i];
    }
    if (all) {
        available = 1;
        return;
    }
    // A library without all seven entry points is not used at all.
    for (void** slot : slots) *slot = nullptr;
    dlclose(library);
    library = nullptr;
}

bool LZlibLibrary::Compress(const void* data, uint64_t n, LHeapBlock& out, uint64_t& size) {
    if (!available || n > 0xFFFFFFFFull) return false;
    // Room for incompressible input: zlib's own bound, which n + n/10 + 12
    // does not always reach for tiny inputs.
    uint64_t room = n + n / 10 + 12 + (n >> 12) + (n >> 14) + (n >> 25) + 13;
    auto* work = static_cast<unsigned char*>(std::malloc(room));
    if (!work) return false;
    z_stream z;
    std::memset(&z, 0, sizeof z);
    bool ok = false;
    if (Fn<DeflateInitFn>(deflateInit_)(&z, 9, ZLIB_VERSION, static_cast<int>(sizeof(z_stream))) == Z_OK) {
        z.next_in = static_cast<Bytef*>(const_cast<void*>(data));
        z.avail_in = static_cast<uInt>(n);
        z.next_out = work;
        z.avail_out = static_cast<uInt>(room);
        if (Fn<DeflateFn>(deflate)(&z, Z_FINISH) == Z_STREAM_END) {
            uint64_t produced = room - z.avail_out;
            if (out.Reallocate(produced ? produced : 1)) {
                std::memcpy(out.block, work, produced);
                size = produced;
                ok = true;
            }
        }
        Fn<EndFn>(deflateEnd)(&z);
    }
    std::free(work);
    return ok;
}

bool LZlibLibrary::Decompress(const void* data, uint64_t n, LByteBuffer& out) {
    out.length = 0;
    if (!available || n > 0xFFFFFFFFull) return false;
    z_stream z;
    std::memset(&z, 0, sizeof z);
    if (Fn<InflateInitFn>(inflateInit_)(&z, ZLIB_VERSION, static_cast<int>(sizeof(z_stream))) != Z_OK) return false;
    z.next_in = static_cast<Bytef*>(const_cast<void*>(data));
    z.avail_in = static_cast<uInt>(n);
    unsigned char chunk[16384];
    int rc = Z_OK;
    while (rc == Z_OK) {
        z.next_out = chunk;
        z.avail_out = sizeof chunk;
        rc = Fn<DeflateFn>(inflate)(&z, Z_NO_FLUSH);
        if ((rc == Z_OK || rc == Z_STREAM_END) && !out.Append(chunk, sizeof chunk - z.avail_out) &&
            z.avail_out != sizeof chunk)
            rc = Z_MEM_ERROR;
        if (rc == Z_OK && z.avail_in == 0 && z.avail_out != 0) rc = Z_DATA_ERROR;  // truncated stream
    }
    Fn<EndFn>(inflateEnd)(&z);
    return rc == Z_STREAM_END;
}
