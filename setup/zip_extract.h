#pragma once
// Unpacking an on-demand component that comes as a .zip archive: the
// archive becomes a folder in the destination named like the archive
// without its extension, with the archive's whole tree below it (hidden
// entries included). Archives come from the network, so an entry that
// could reach outside that folder (an absolute name, "..", a link, a
// device) refuses the whole archive, and sizes and counts are bounded.
#include <cstdint>

struct LZipLimits {
    uint64_t maxEntries = 20000;
    uint64_t maxTotalBytes = 1ull << 30;
    unsigned maxDepth = 64;
};

// True when every file was unpacked. Both are full paths; the destination
// must exist. The new folder replaces one of the same name only once the
// whole archive has been unpacked; on false nothing of it is left.
bool LExtractZipArchive(const char16_t* archive, const char16_t* destination, const LZipLimits& limits = {});
