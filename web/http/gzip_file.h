#pragma once
// The pre-compressed copies of the web folder: gzip files framed by the
// program itself around zlib's deflate data, and the walk that makes them.
#include <cstddef>
#include <cstdint>
#include <string>

#include "foundation/lstring.h"

// CRC-32 (reflected 0xEDB88320, initial value and final XOR all ones).
uint32_t LCrc32(const void* data, size_t n);

// Wraps a zlib stream (2-byte header, deflate data, 4-byte Adler-32) of
// `data` into a gzip file image; false when the stream is too short.
bool LGzipFrame(LByteBuffer& out, const uint8_t* zlib_stream, size_t zlib_length, const void* data,
                uint64_t length, uint32_t mtime);

// Compresses with zlib (level 9) and frames the result as a gzip file;
// false when zlib cannot be loaded or the data is 4 GiB or more.
bool LGzipCompress(LByteBuffer& out, const void* data, uint64_t length, uint32_t mtime);
// Compresses and writes a new file (made whole beside it, then renamed over
// the old one, so a reader never sees half a file); true when all was written.
bool LGzipWriteFile(const char* path, const void* data, uint64_t length, uint32_t mtime);

class LTaskProgress;
// Makes the ".gz" copy of every .css, .html, .js, .svg and .wasm file below
// the folder (UTF-8 path), anew at every call. Symbolic links are not
// followed. Returns the number of copies written.
int LWebCompressFolder(LTaskProgress& progress, const std::string& folder);
