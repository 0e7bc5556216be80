#pragma once
// The settings hives that stand in for the registry: one UTF-8 text file
// per hive, one section per key path, one "name=value" line per value.
//
//   [Software\Vek Software\Porlinex\WebServer]
//   Port=8098
//   _Secret=hex:0a1bff
//
// Key paths and value names compare without regard to case, as registry
// keys do. In names and values "\\", "\n", "\r" and "\=" stand for a
// backslash, LF, CR and '='; a text value that itself begins with "hex:"
// is written "hex\:" so that it never reads back as binary, and a name that
// begins with '[' is written "\[" so that it never reads as a section.
#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

enum class LRegHive { LocalMachine, CurrentUser };

struct LHiveValue {
    std::u16string name;
    bool binary = false;
    std::u16string text;  // text values
    std::string bytes;    // binary values
};

struct LHiveSection {
    std::u16string path;
    std::vector<LHiveValue> values;
};

class LSettingsHive {
public:
    std::vector<LHiveSection> sections;

    // False when the text does not follow the format; the hive is then empty.
    bool Parse(std::string_view text);
    std::string Serialize() const;

    LHiveSection* FindSection(std::u16string_view path);
    const LHiveSection* FindSection(std::u16string_view path) const;
    LHiveSection& EnsureSection(std::u16string_view path);
    // A key exists when its section does or when a section lies below it.
    bool KeyExists(std::u16string_view path) const;
    // Names of the direct subkeys of a key, in the order first met.
    std::vector<std::u16string> Subkeys(std::u16string_view path) const;

    const LHiveValue* FindValue(std::u16string_view path, std::u16string_view name) const;
    void SetText(std::u16string_view path, std::u16string_view name, std::u16string_view text);
    void SetBinary(std::u16string_view path, std::u16string_view name, std::string_view bytes);
    // True when the value existed.
    bool DeleteValue(std::u16string_view path, std::u16string_view name);
};

// A key path the file can hold: not empty, without line breaks, NUL or ']'
// (a path that reads back as another section, or not at all, would cost
// the whole hive at the next load).
bool LHiveKeyPathValid(std::u16string_view path);

// Case-insensitive equality of key paths and value names.
bool LHiveNamesEqual(std::u16string_view a, std::u16string_view b);

// Path of a hive file (under PORLINEX_ROOT when set).
std::string LHivePath(LRegHive hive);

// The current content of a hive. A missing file is an empty hive; a file
// that does not parse is moved aside (".bad"), logged, and read as empty.
// False only when the file exists but cannot be read.
bool LHiveLoad(LRegHive hive, LSettingsHive& out);

// Changes a hive under its lock: re-reads it, lets change() edit it and,
// when change() returns true, writes it back atomically. False when the
// lock cannot be taken, the file cannot be written, or the changed hive
// would not read back (a key path that LHiveKeyPathValid refuses): then
// nothing is written.
template <class F>
bool LHiveUpdate(LRegHive hive, F&& change);

bool LHiveUpdateWith(LRegHive hive, bool (*change)(LSettingsHive&, void*), void* context);

template <class F>
bool LHiveUpdate(LRegHive hive, F&& change) {
    return LHiveUpdateWith(
        hive, [](LSettingsHive& h, void* c) -> bool { return (*static_cast<std::remove_reference_t<F>*>(c))(h); },
        const_cast<void*>(static_cast<const void*>(&change)));
}
