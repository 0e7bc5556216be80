#include "foundation/installation_id.h"

#include <openssl/rand.h>

#include "foundation/base64.h"
#include "foundation/reg_settings.h"
#include "foundation/system_random.h"
#include "foundation/time_source.h"
#include "platform/adapter_mac.h"

void LInstallationIdText(const uint8_t mac[6], uint32_t tick, char16_t out[260]) {
    uint64_t v = 0;
    for (int i = 0; i < 6; ++i) v = (v << 8) | mac[i];
    v = (v << 16) | ((tick >> 8) & 0xFFFF);
    uint8_t bytes[8];
    for (int i = 0; i < 8; ++i) bytes[i] = static_cast<uint8_t>(v >> (8 * i));
    // Base64 of the 8 bytes without fill: 11 characters, with '+' and '/'
    // made '0' so the text is safe in paths and addresses.
    LBase64EncodeW260(bytes, 8, out, LBase64NoFill | LBase64NoLineBreaks);
    for (char16_t* p = out; *p; ++p)
        if (*p == u'+' || *p == u'/') *p = u'0';
}

void LCreateInstallationId() {
    uint8_t mac[6];
    LPlatformFirstAdapterMac(mac);
    bool zero = true;
    for (uint8_t b : mac) zero = zero && b == 0;
    if (zero && RAND_bytes(mac, 6) != 1) {
        for (int i = 0; i < 6; ++i) mac[i] = static_cast<uint8_t>(LRand());
    }
    uint32_t tick = LTickCount();
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
