#include "net/smtp/mail_discovery_ini.h"

#include <strings.h>

#include <sstream>

#include "platform/regular_file.h"

namespace {

std::string Trim(const std::string& s) {
    size_t b = s.find_first_not_of(" \t\r\n");
    if (b == std::string::npos) return "";
    size_t e = s.find_last_not_of(" \t\r\n");
    return s.substr(b, e - b + 1);
}

}  // namespace

bool LMailIniFile::Load(const std::string& path) {
    std::string text;
    if (LPlatformReadRegularFile(path, LMailIniMaxBytes, text) != LPlatformRegularRead::Ok) return false;
    Parse(text);
    return true;
}

void LMailIniFile::Parse(const std::string& text) {
    sections_.clear();
    std::istringstream in(text);
    std::string raw;
    while (std::getline(in, raw)) {
        std::string line = Trim(raw);
        if (line.empty() || line[0] == '#' || line[0] == ';') continue;
        if (line[0] == '[') {
            size_t close = line.find(']');
            if (close == std::string::npos) continue;
            sections_.push_back({line.substr(1, close - 1), {}});
            continue;
        }
        size_t eq = line.find('=');
        if (eq == std::string::npos || sections_.empty()) continue;
        sections_.back().values.emplace_back(Trim(line.substr(0, eq)), Trim(line.substr(eq + 1)));
    }
}

bool LMailIniFile::GetIn(const Section& s, const std::string& name, std::string* value) {
    for (const auto& [n, v] : s.values) {
        if (strcasecmp(n.c_str(), name.c_str()) == 0) {
            *value = v;
            return true;
        }
    }
    return false;
}

bool LMailIniFile::Get(const std::string& section, const std::string& name, std::string* value) const {
    for (const auto& s : sections_)
        if (strcasecmp(s.name.c_str(), section.c_str()) == 0) return GetIn(s, name, value);
    return false;
}
