#include "foundation/system_random.h"

#include <cstdint>

#include "foundation/time_source.h"
#include "platform/thread.h"

namespace {

thread_local uint32_t t_state = 0;
thread_local bool t_seeded = false;

}  // namespace

void LSeedRand() {
    t_state = static_cast<uint32_t>(LPlatformProcessId()) ^ LTickCount() ^ static_cast<uint32_t>(LNow()) ^
              (static_cast<uint32_t>(LPlatformThreadId()) << 18);
    t_seeded = true;
}

int LRand() {
    if (!t_seeded) LSeedRand();
    // The classic 15-bit linear congruential generator of C runtimes.
    t_state = t_state * 214013u + 2531011u;
    return static_cast<int>((t_state >> 16) & 0x7FFF);
}

void LRandomLowercase(char* out, size_t n) {
    for (size_t i = 0; i < n; ++i) out[i] = static_cast<char>('a' + LRand() % 26);
    out[n] = 0;
}

void LRandomLowercase(char16_t* out, size_t n) {
    for (size_t i = 0; i < n; ++i) out[i] = static_cast<char16_t>(u'a' + LRand() % 26);
    out[n] = 0;
}
