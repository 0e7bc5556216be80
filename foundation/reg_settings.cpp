#include "foundation/reg_settings.h"

#include "foundation/utf8.h"

// Until the settings hives exist every value reads as missing.
bool LRegSettingsGet(const char16_t*, const char16_t*, const char16_t* def, char16_t out[260]) {
    LCopyField(out, def);
    return false;
}
bool LRegSettingsExists(const char16_t*, const char16_t*) { return false; }
bool LRegSettingsSet(const char16_t*, const char16_t*, const char16_t*) { return false; }
void LRegSettingsDelete(const char16_t*, const char16_t*) {}
