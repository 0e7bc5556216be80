#pragma once
// The key files that mail discovery reads: Thunderbird's profiles.ini and the
// freedesktop mimeapps.list. "[Section]" lines, "name=value" lines, comments
// starting with '#' or ';'. Names compare without regard to case, as the
// Windows profile functions did.
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

constexpr uint64_t LMailIniMaxBytes = 1u << 20;

class LMailIniFile {
public:
    struct Section {
        std::string name;
        std::vector<std::pair<std::string, std::string>> values;
    };
    // False when the file cannot be read, is not a regular file or is larger
    // than LMailIniMaxBytes: these files belong to other programs.
    bool Load(const std::string& path);
    void Parse(const std::string& text);
    const std::vector<Section>& Sections() const { return sections_; }
    // The value in the first section of that name; false when missing.
    bool Get(const std::string& section, const std::string& name, std::string* value) const;
    static bool GetIn(const Section& s, const std::string& name, std::string* value);

private:
    std::vector<Section> sections_;
};
