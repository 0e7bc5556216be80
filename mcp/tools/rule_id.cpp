#include "mcp/tools/rule_id.h"

#include <cstdint>

#include "platform/secure_random.h"

bool LMcpNewRuleId(char16_t out[LMcpRuleIdLength + 1]) {
    static constexpr char kAlphabet[] = "0123456789abcdefghijklmnopqrstuvwxyz";
    // 252 is the largest multiple of 36 a byte holds; bytes above it are
    // drawn again so every character is equally likely.
    constexpr unsigned kUsable = 252;
    int n = 0;
    for (int rounds = 0; n < LMcpRuleIdLength && rounds < 16; ++rounds) {
        uint8_t bytes[32];
        if (!LPlatformRandomBytes(bytes, sizeof bytes)) return false;
        for (uint8_t b : bytes) {
            if (b >= kUsable) continue;
            out[n++] = static_cast<char16_t>(kAlphabet[b % 36]);
            if (n == LMcpRuleIdLength) break;
        }
    }
    out[n] = 0;
    return n == LMcpRuleIdLength;
}
