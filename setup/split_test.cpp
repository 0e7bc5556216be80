#include "setup/split_test.h"

#include <unistd.h>

#include <ctime>

#include "foundation/reg_settings.h"
#include "foundation/system_random.h"

namespace {

// Only the window's thread asks, as for the choices themselves.
int32_t g_pool = -1;
int g_drawn = 0;

bool IsUpper(char c) { return c >= 'A' && c <= 'Z'; }

void Store(const std::string& list) {
    LString wide = LFromUtf8(list);
    LRegSettingsSet(u"Software", u"SVar", wide.c_str());
}

void Refill() {
    char host[261] = {};
    gethostname(host, sizeof host - 1);
    struct timespec mono;
    clock_gettime(CLOCK_MONOTONIC, &mono);
    uint32_t tick = static_cast<uint32_t>(mono.tv_sec * 1000 + mono.tv_nsec / 1000000);
    int r1 = LRand(), r2 = LRand(), r3 = LRand();
    g_pool = LSplitTestMix(static_cast<int32_t>(time(nullptr)), tick, host, r1, r2, r3);
    g_drawn = 0;
}

}  // namespace

int32_t LSplitTestMix(int32_t seconds, uint32_t tick, const std::string& computer, int r1, int r2, int r3) {
    uint32_t t = static_cast<uint32_t>(seconds);
    uint32_t s = t + tick * 513u + static_cast<uint32_t>(seconds >> 5);
    uint32_t h = 0;
    unsigned n = 0;
    for (size_t i = 0; i < computer.size() && i < 260; ++i) {
        h ^= static_cast<uint32_t>(static_cast<unsigned char>(computer[i])) << n;
        n = (n + 6) % 25;
    }
    uint32_t pool = ((static_cast<uint32_t>(r1) << 30) ^ static_cast<uint32_t>(r2) ^ h ^ s) & 0x7FFFFFFFu;
    pool ^= (static_cast<uint32_t>(r3) & 0xFFFFu) << 15;
    return static_cast<int32_t>(pool);
}

int LSplitTestDrawBit() {
    if (g_pool < 0 || g_drawn > 30) Refill();
    int bit = g_pool & 1;
    g_pool >>= 1;
    ++g_drawn;
    return bit;
}

int LSplitTestDrawCount() { return g_drawn; }

std::string LReadSplitTestList() {
    char16_t value[260];
    if (!LRegSettingsGet(u"Software", u"SVar", u"", value)) return {};
    return LToUtf8(value);
}

bool LSplitTestFind(const std::string& code, const std::string& list, bool& on) {
    size_t start = 0;
    while (start < list.size()) {
        size_t end = start + 1;
        while (end < list.size() && !(IsUpper(list[end]) && !IsUpper(list[end - 1]))) ++end;
        std::string token = list.substr(start, end - start);
        start = end;
        if (token.size() == 4 && code.size() >= 4 && token.compare(0, 3, code, 0, 3) == 0) {
            if (token[3] == code[3]) return on = true, true;
            if (token[3] == static_cast<char>(code[3] + 12)) return on = false, true;
            continue;
        }
        if (token.size() < 5) continue;
        if (token.compare(token.size() - 2, 2, "on") == 0 && code.compare(0, token.size() - 2, token, 0,
                                                                          token.size() - 2) == 0 &&
            code.size() >= token.size() - 2)
            return on = true, true;
        if (token.compare(token.size() - 2, 2, "ff") == 0 && token.size() >= 6 &&
            token.compare(token.size() - 3, 3, "off") == 0 && code.size() >= token.size() - 3 &&
            code.compare(0, token.size() - 3, token, 0, token.size() - 3) == 0)
            return on = false, true;
    }
    return false;
}

bool LSplitTestDecide(const std::string& code, const std::string& list) {
    bool bit = LSplitTestDrawBit() != 0;
    std::string stored = code;
    if (code.size() == 4)
        stored[3] = bit ? code[3] : static_cast<char>(code[3] + 12);
    else
        stored += bit ? "on" : "off";
    Store(list + stored);
    return bit;
}

bool LSplitTestIsOn(const char* code) {
    std::string list = LReadSplitTestList();
    bool on = false;
    if (LSplitTestFind(code, list, on)) return on;
    return LSplitTestDecide(code, list);
}

bool LSplitTestPick(const char* on_code, const char* off_code) {
    std::string list = LReadSplitTestList();
    if (list.find(on_code) != std::string::npos) return true;
    if (list.find(off_code) != std::string::npos) return false;
    bool bit = LSplitTestDrawBit() != 0;
    Store(list + (bit ? on_code : off_code));
    return bit;
}
