#include "foundation/reg_settings.h"

#include "foundation/format.h"
#include "foundation/utf8.h"
#include "foundation/value_cipher.h"
#include "platform/file.h"

namespace {

std::u16string_view View(const char16_t* s) { return s ? std::u16string_view(s) : std::u16string_view(); }

// A text value as the registry hands it to a reader that does not check
// the type: UTF-16 units, or a binary value's bytes taken as units.
std::u16string ValueUnits(const LHiveValue& v) {
    if (!v.binary) return v.text;
    std::u16string out;
    for (size_t i = 0; i + 1 < v.bytes.size(); i += 2)
        out.push_back(static_cast<char16_t>(static_cast<unsigned char>(v.bytes[i]) |
                                            static_cast<unsigned char>(v.bytes[i + 1]) << 8));
    size_t z = out.find(u'\0');
    if (z != std::u16string::npos) out.resize(z);
    return out;
}

// Size in bytes the registry would report for the value (a text value is
// stored with its terminating zero).
size_t ValueBytes(const LHiveValue& v) { return v.binary ? v.bytes.size() : (v.text.size() + 1) * 2; }

char16_t* SectionPath(char16_t out[260], const char16_t* section) {
    return LFormatEscPathW(out, u"Software\\Vek Software\\Porlinex\\%s", section);
}

}  // namespace

bool LRegKey::Open(LRegHive hive, const char16_t* subkey) {
    open_ = false;
    path_ = View(subkey);
    if (!LHiveLoad(hive, hive_)) return false;
    open_ = hive_.KeyExists(path_);
    return open_;
}

const LHiveValue* LRegKey::Find(const char16_t* name) const {
    return open_ ? hive_.FindValue(path_, View(name)) : nullptr;
}

bool LRegQueryStringFixed(const LRegKey& key, const char16_t* name, const char16_t* def, char16_t out[260]) {
    const LHiveValue* v = key.Find(name);
    // A value of more than 520 bytes does not fit the fixed buffer and reads
    // as missing.
    if (!v || ValueBytes(*v) > 520) {
        LCopyField(out, def);
        return false;
    }
    LCopyField(out, ValueUnits(*v).c_str());
    return true;
}

bool LRegReadString(LRegHive hive, const char16_t* subkey, const char16_t* name, const char16_t* def,
                    char16_t out[260]) {
    LRegKey key;
    if (!key.Open(hive, subkey)) {
        LCopyField(out, def);
        return false;
    }
    return LRegQueryStringFixed(key, name, def, out);
}

bool LRegQueryString(LRegHive hive, const char16_t* subkey, const char16_t* name, LString& out) {
    out.Clear();
    LRegKey key;
    const LHiveValue* v = key.Open(hive, subkey) ? key.Find(name) : nullptr;
    if (!v) return false;
    std::u16string units = ValueUnits(*v);
    out.AppendN(units.data(), units.size());
    return out.length == units.size();
}

bool LRegWriteString(LRegHive hive, const char16_t* subkey, const char16_t* name, const char16_t* text) {
    return LHiveUpdate(hive, [&](LSettingsHive& h) {
        h.SetText(View(subkey), View(name), View(text));
        return true;
    });
}

bool LRegWriteBinary(LRegHive hive, const char16_t* subkey, const char16_t* name, const void* bytes, size_t n) {
    return LHiveUpdate(hive, [&](LSettingsHive& h) {
        h.SetBinary(View(subkey), View(name), std::string_view(static_cast<const char*>(bytes), n));
        return true;
    });
}

bool LRegQueryBinary(LRegHive hive, const char16_t* subkey, const char16_t* name, LByteBuffer& out) {
    out.length = 0;
    LRegKey key;
    const LHiveValue* v = key.Open(hive, subkey) ? key.Find(name) : nullptr;
    if (!v) return false;
    std::string bytes = LRegValueBytes(*v);
    return bytes.empty() || out.Append(bytes.data(), bytes.size());
}

std::string LRegValueBytes(const LHiveValue& v) {
    if (v.binary) return v.bytes;
    std::string bytes;
    for (char16_t u : v.text) {
        bytes += static_cast<char>(u & 0xFF);
        bytes += static_cast<char>(u >> 8);
    }
    bytes.append(2, '\0');
    return bytes;
}

void LRegDeleteValue(LRegHive hive, const char16_t* subkey, const char16_t* name) {
    LHiveUpdate(hive, [&](LSettingsHive& h) {
        if (h.DeleteValue(View(subkey), View(name))) return true;
        std::u16string twin = u"_" + std::u16string(View(name));
        return h.DeleteValue(View(subkey), twin);
    });
}

bool LRegGetAppPath(const char16_t* program, char16_t out[260]) {
    char16_t key[260];
    LFormatEscPathW(key, u"software\\microsoft\\windows\\currentversion\\app paths\\%s", program);
    return LRegReadString(LRegHive::LocalMachine, key, u"", u"", out) ||
           LRegReadString(LRegHive::CurrentUser, key, u"", u"", out);
}

bool LRegSettingsGet(const char16_t* section, const char16_t* name, const char16_t* def, char16_t out[260]) {
    char16_t path[260];
    return LRegReadString(LRegHive::LocalMachine, SectionPath(path, section), name, def, out);
}

bool LRegSettingsExists(const char16_t* section, const char16_t* name) {
    char16_t path[260];
    LRegKey key;
    return key.Open(LRegHive::LocalMachine, SectionPath(path, section)) && key.Find(name) != nullptr;
}

bool LRegSettingsSet(const char16_t* section, const char16_t* name, const char16_t* text) {
    char16_t path[260];
    return LRegWriteString(LRegHive::LocalMachine, SectionPath(path, section), name, text);
}

bool LRegSettingsGetEncrypted(const char16_t* section, const char16_t* name, char16_t out[260]) {
    char16_t path[260];
    return LRegGetEncryptedString(SectionPath(path, section), name, out);
}

void LRegSettingsDelete(const char16_t* section, const char16_t* name) {
    char16_t path[260];
    LRegDeleteValue(LRegHive::LocalMachine, SectionPath(path, section), name);
}

void LRegSettingsKeyInit(LRegSettingsKey& key, const char16_t* section) {
    key.hive = LRegHive::LocalMachine;
    LCopyField(key.section, section);
    SectionPath(key.path, section);
}

bool LRegUserSettingsGet(const char16_t* section, const char16_t* name, const char16_t* def, char16_t out[260]) {
    char16_t path[260];
    return LRegReadString(LRegHive::CurrentUser, SectionPath(path, section), name, def, out);
}

bool LRegUserSettingsSet(const char16_t* section, const char16_t* name, const char16_t* text) {
    char16_t path[260];
    return LRegWriteString(LRegHive::CurrentUser, SectionPath(path, section), name, text);
}

void LRegUserSettingsDelete(const char16_t* name) {
    char16_t path[260];
    LRegDeleteValue(LRegHive::CurrentUser, SectionPath(path, u"Settings"), name);
}

bool LRegUserWindowHeightExists() {
    char16_t path[260];
    LRegKey key;
    return key.Open(LRegHive::CurrentUser, SectionPath(path, u"MainWindow")) && key.Find(u"Height") != nullptr;
}

void LSaveWindowPlacement(const LWindowPlacement& p, const char16_t* section) {
    char16_t path[260];
    SectionPath(path, section);
    // One write for the five values, so that a reader never sees half a
    // placement.
    LHiveUpdate(LRegHive::CurrentUser, [&](LSettingsHive& h) {
        char16_t num[260];
        h.SetText(path, u"Maximized", p.maximized ? u"1" : u"0");
        h.SetText(path, u"X", LFormatEscPathW(num, u"%d", p.left));
        h.SetText(path, u"Y", LFormatEscPathW(num, u"%d", p.top));
        h.SetText(path, u"Width", LFormatEscPathW(num, u"%d", p.right - p.left));
        h.SetText(path, u"Height", LFormatEscPathW(num, u"%d", p.bottom - p.top));
        return true;
    });
}

LRegSubkeyEnum::LRegSubkeyEnum(const LRegSettingsKey& key) : hive(key.hive), currentHive(key.hive) {
    LCopyField(section, key.section);
    LCopyField(path, key.path);
    currentName[0] = 0;
    currentPath[0] = 0;
    LSettingsHive h;
    keyOpen = LHiveLoad(hive, h) && h.KeyExists(View(path));
    if (!keyOpen) return;
    subkeys_ = h.Subkeys(View(path));
    Next();
}

void LRegSubkeyEnum::Next() {
    if (!keyOpen || index >= subkeys_.size()) {
        currentPath[0] = 0;
        ++index;
        return;
    }
    LCopyField(currentName, subkeys_[index].c_str());
    ++index;
    currentHive = hive;
    LFormatEscPathW(currentPath, u"%s\\%s", path, currentName);
}

bool LGetComponentPath(const char16_t* component, char16_t out[260]) {
    char16_t key[260];
    LFormatEscPathW(key, u"Software\\WOW6432Node\\Vek Software\\Components\\%s", component);
    if (!LRegReadString(LRegHive::LocalMachine, key, u"Path", u"", out) || !out[0]) return false;
    LPlatformFileInfo info;
    return LPlatformGetFileInfo(LToUtf8(out).c_str(), &info, true) && info.exists;
}
