#include "foundation/installation_id.h"

#include <openssl/rand.h>

#include <chrono>
#include <cstdlib>

#include "foundation/reg_settings.h"
#include "platform/adapter_mac.h"

void LInstallationIdText(const uint8_t mac[6], uint32_t tick, char16_t out[260]) {
    static const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    uint64_t v = 0;
    for (int i = 0; i < 6; ++i) v = (v << 8) | mac[i];
    v = (v << 16) | ((tick >> 8) & 0xFFFF);
    uint8_t bytes[8];
    for (int i = 0; i < 8; ++i) bytes[i] = static_cast<uint8_t>(v >> (8 * i));
    // Base64 of the 8 bytes without fill: 11 characters, with '+' and '/'
    // made '0' so the text is safe in paths and addresses.
    size_t n = 0;
    for (int i = 0; i < 8; i += 3) {
        uint32_t g = uint32_t(bytes[i]) << 16;
        if (i + 1 < 8) g |= uint32_t(bytes[i + 1]) << 8;
        if (i + 2 < 8) g |= bytes[i + 2];
        int chars = i + 2 < 8 ? 4 : 8 - i + 1;
        for (int c = 0; c < chars; ++c) {
            char ch = alphabet[(g >> (18 - 6 * c)) & 63];
            out[n++] = ch == '+' || ch == '/' ? u'0' : static_cast<char16_t>(ch);
        }
    }
    out[n] = 0;
}

void LCreateInstallationId() {
    uint8_t mac[6];
    LPlatformFirstAdapterMac(mac);
    bool zero = true;
    for (uint8_t b : mac) zero = zero && b == 0;
    if (zero && RAND_bytes(mac, 6) != 1) {
        for (int i = 0; i < 6; ++i) mac[i] = static_cast<uint8_t>(std::rand());
    }
    auto tick = static_cast<uint32_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
            .count());
    char16_t text[260];
    LInstallationIdText(mac, tick, text);
    LRegSettingsSet(u"Software", u"IID", text);
}

void LGetInstallationId(char16_t out[260]) {
    LRegSettingsGet(u"Software", u"IID", u"", out);
    if (out[0]) return;
    LCreateInstallationId();
    LRegSettingsGet(u"Software", u"IID", u"", out);
}
