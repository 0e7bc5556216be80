#pragma once
// INI documents: sections of name=value entries written as UTF-8 text.
#include <cstdint>
#include <ctime>
#include <vector>

#include "foundation/lstring.h"

struct LIniEntry {
    LString name;
    LString value;
};

struct LIniSection {
    LString name;
    std::vector<LIniEntry> entries;
};

struct LIniDocument {
    char16_t path[260] = {0};
    std::vector<LIniSection> sections;
    bool dirty = false;
    // As of the last save.
    time_t write_time = 0;
    uint32_t size = 0;
};

class LIniFile {
public:
    // Writes "[section]" lines, whole "name=value" lines and an empty line
    // after each section, with CR LF, as
    // UTF-8; ends the file there and records its write time and size, and
    // clears the dirty flag. A file that cannot be opened within 1000 ms
    // leaves everything as it was: false; so does a write that fails.
    static bool Save(LIniDocument& document);
};
