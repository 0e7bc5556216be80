#include "setup/command_counts.h"

#include <fcntl.h>
#include <unistd.h>

#include "platform/nofollow_path.h"
#include "platform/root.h"

namespace {

std::vector<LCommandCount> g_counts;

}  // namespace

const std::vector<LCommandCount>& LCommandCounts() { return g_counts; }

void LCountCommandUse(uint32_t id) {
    if (id == 0) return;
    if (g_counts.empty()) g_counts.resize(64);
    for (LCommandCount& c : g_counts) {
        if (c.id == id || c.id == 0) {
            c.id = id;
            ++c.count;
            return;
        }
    }
    size_t old = g_counts.size();
    g_counts.resize(old * 2);
    g_counts[old] = {id, 1};
}

std::string LGetCommandCountsPath() { return LPlatformKnownFolder(LKnownFolder::Temp) + "/PorlinexCounts.txt"; }

void LLoadCommandCounts() {
    LPlatformFd file(open(LGetCommandCountsPath().c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    if (!file.IsValid()) return;
    unsigned char head[4];
    if (read(file.Get(), head, 4) != 4) return;
    uint32_t n = uint32_t(head[0]) | uint32_t(head[1]) << 8 | uint32_t(head[2]) << 16 | uint32_t(head[3]) << 24;
    if (n == 0) return;
    if (n > 256) n = 256;
    std::vector<unsigned char> raw(size_t(n) * 8);
    ssize_t got = read(file.Get(), raw.data(), raw.size());
    if (got < 0) return;
    if (g_counts.size() < n) g_counts.resize(std::max<size_t>(n, 64));
    // Only whole entries that were read count.
    for (size_t i = 0; i < size_t(got) / 8; ++i) {
        const unsigned char* p = raw.data() + i * 8;
        g_counts[i].id = uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
        g_counts[i].count = uint32_t(p[4]) | uint32_t(p[5]) << 8 | uint32_t(p[6]) << 16 | uint32_t(p[7]) << 24;
    }
}

void LDeleteCommandCounts() { unlink(LGetCommandCountsPath().c_str()); }
