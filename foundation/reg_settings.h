#pragma once
// The settings store in place of the registry: machine-wide sections under
// "Software\Vek Software\Porlinex\<section>" of the machine hive, per-user
// sections under the same path of the user's hive, generic helpers over any
// key path of either hive, and the enumeration of subkeys. Values are text;
// a value may have an encrypted twin "_<name>" holding raw bytes.
#include <cstdint>
#include <string>

#include "foundation/lstring.h"
#include "foundation/settings_hive.h"

// An open key: a snapshot of the hive taken when it was opened.
class LRegKey {
public:
    // False (and nothing open) when the key does not exist or the hive
    // cannot be read.
    bool Open(LRegHive hive, const char16_t* subkey);
    bool IsOpen() const { return open_; }
    // The value, or null when it is missing.
    const LHiveValue* Find(const char16_t* name) const;

private:
    LSettingsHive hive_;
    std::u16string path_;
    bool open_ = false;
};

// Machine-wide section store.
bool LRegSettingsGet(const char16_t* section, const char16_t* name, const char16_t* def, char16_t out[260]);
bool LRegSettingsExists(const char16_t* section, const char16_t* name);
bool LRegSettingsSet(const char16_t* section, const char16_t* name, const char16_t* text);
bool LRegSettingsGetEncrypted(const char16_t* section, const char16_t* name, char16_t out[260]);
void LRegSettingsDelete(const char16_t* section, const char16_t* name);

struct LRegSettingsKey {
    LRegHive hive = LRegHive::LocalMachine;
    char16_t section[260] = {};
    char16_t path[260] = {};
};
void LRegSettingsKeyInit(LRegSettingsKey& key, const char16_t* section);

// Per-user section store.
bool LRegUserSettingsGet(const char16_t* section, const char16_t* name, const char16_t* def, char16_t out[260]);
bool LRegUserSettingsSet(const char16_t* section, const char16_t* name, const char16_t* text);
void LRegUserSettingsDelete(const char16_t* name);
bool LRegUserWindowHeightExists();

// A window's placement as the window layer reports it: the restored
// rectangle and whether the window is maximised.
struct LWindowPlacement {
    bool maximized = false;
    int left = 0, top = 0, right = 0, bottom = 0;
};
void LSaveWindowPlacement(const LWindowPlacement& placement, const char16_t* section);

// Generic helpers over any key of either hive.
bool LRegReadString(LRegHive hive, const char16_t* subkey, const char16_t* name, const char16_t* def,
                    char16_t out[260]);
bool LRegQueryStringFixed(const LRegKey& key, const char16_t* name, const char16_t* def, char16_t out[260]);
bool LRegQueryString(LRegHive hive, const char16_t* subkey, const char16_t* name, LString& out);
bool LRegWriteString(LRegHive hive, const char16_t* subkey, const char16_t* name, const char16_t* text);
void LRegDeleteValue(LRegHive hive, const char16_t* subkey, const char16_t* name);
bool LRegGetAppPath(const char16_t* program, char16_t out[260]);
// Binary values (the encrypted twins): raw bytes; false when missing.
bool LRegQueryBinary(LRegHive hive, const char16_t* subkey, const char16_t* name, LByteBuffer& out);
// A value's bytes as the registry stores them (text: UTF-16LE and its zero).
std::string LRegValueBytes(const LHiveValue& v);
bool LRegWriteBinary(LRegHive hive, const char16_t* subkey, const char16_t* name, const void* bytes, size_t n);

// The subkeys of a section's key, one at a time: `currentPath` is empty
// once the enumeration has ended.
class LRegSubkeyEnum {
public:
    explicit LRegSubkeyEnum(const LRegSettingsKey& key);
    void Next();

    LRegHive hive;
    bool keyOpen = false;
    char16_t section[260];
    char16_t path[260];
    uint32_t index = 0;
    LRegHive currentHive;
    char16_t currentName[260];
    char16_t currentPath[260];

private:
    std::vector<std::u16string> subkeys_;
};

// The recorded folder or file of an on-demand component ("7zip",
// "zlib1x64"); true only when it was recorded and exists.
bool LGetComponentPath(const char16_t* component, char16_t out[260]);
