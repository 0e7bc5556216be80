#pragma once
// Machine-wide and per-user settings by section and value name.
bool LRegSettingsGet(const char16_t* section, const char16_t* name, const char16_t* def, char16_t out[260]);
bool LRegSettingsExists(const char16_t* section, const char16_t* name);
bool LRegSettingsSet(const char16_t* section, const char16_t* name, const char16_t* text);
void LRegSettingsDelete(const char16_t* section, const char16_t* name);
