#include "foundation/settings_hive.h"

#include "foundation/log.h"
#include "foundation/utf8.h"
#include "platform/hive_file.h"
#include "platform/root.h"

namespace {

char16_t FoldUnit(char16_t c) {
    if (c >= u'A' && c <= u'Z') return static_cast<char16_t>(c + 32);
    // Latin-1 capitals, as the registry folds them (0xD7 is the sign x).
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return static_cast<char16_t>(c + 32);
    return c;
}

std::u16string WideFromUtf8(std::string_view s) {
    std::u16string out;
    out.reserve(s.size());
    const auto* p = reinterpret_cast<const unsigned char*>(s.data());
    size_t n = s.size();
    while (n > 0) {
        uint32_t cp;
        size_t used = LUtf8Decode(p, n, &cp);
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(cp));
        }
        p += used;
        n -= used;
    }
    return out;
}

void AppendUtf8(std::string& out, std::u16string_view w) {
    LStringA a;
    LStringAAppendWide(a, w.data(), w.size());
    out.append(a.c_str(), a.length);
}

bool StartsWithHex(std::u16string_view text) { return text.substr(0, 4) == u"hex:"; }

// Escapes of names and values; `name` adds the '[' guard of a name's start.
void AppendEscaped(std::string& out, std::u16string_view w, bool name) {
    std::string utf8;
    AppendUtf8(utf8, w);
    for (size_t i = 0; i < utf8.size(); ++i) {
        char c = utf8[i];
        switch (c) {
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '=': out += "\\="; break;
        case '[':
            if (name && i == 0) out += '\\';
            out += c;
            break;
        case ':':
            // "hex:" at the start of a text value would read back as binary.
            if (!name && i == 3 && StartsWithHex(w)) out += '\\';
            out += c;
            break;
        default: out += c;
        }
    }
}

// Undoes the escapes; false for a backslash at the end of the text.
bool Unescape(std::string_view in, std::string& out) {
    out.clear();
    for (size_t i = 0; i < in.size(); ++i) {
        char c = in[i];
        if (c != '\\') {
            out += c;
            continue;
        }
        if (++i == in.size()) return false;
        char e = in[i];
        out += e == 'n' ? '\n' : e == 'r' ? '\r' : e;
    }
    return true;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool ParseValueLine(std::string_view line, LHiveValue& v) {
    // The name ends at the first '=' that no backslash hides.
    size_t eq = std::string_view::npos;
    for (size_t i = 0; i < line.size(); ++i) {
        if (line[i] == '\\') {
            ++i;
            continue;
        }
        if (line[i] == '=') {
            eq = i;
            break;
        }
    }
    if (eq == std::string_view::npos) return false;
    std::string name, value;
    if (!Unescape(line.substr(0, eq), name)) return false;
    std::string_view raw = line.substr(eq + 1);
    v.name = WideFromUtf8(name);
    if (raw.substr(0, 4) == "hex:") {
        raw.remove_prefix(4);
        if (raw.size() % 2) return false;
        v.binary = true;
        v.bytes.clear();
        for (size_t i = 0; i < raw.size(); i += 2) {
            int hi = HexDigit(raw[i]), lo = HexDigit(raw[i + 1]);
            if (hi < 0 || lo < 0) return false;
            v.bytes += static_cast<char>(hi * 16 + lo);
        }
        return true;
    }
    if (!Unescape(raw, value)) return false;
    v.binary = false;
    v.text = WideFromUtf8(value);
    return true;
}

}  // namespace

bool LHiveKeyPathValid(std::u16string_view path) {
    if (path.empty()) return false;
    for (char16_t c : path)
        if (c == u'\n' || c == u'\r' || c == 0 || c == u']') return false;
    return true;
}

bool LHiveNamesEqual(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (FoldUnit(a[i]) != FoldUnit(b[i])) return false;
    return true;
}

bool LSettingsHive::Parse(std::string_view text) {
    sections.clear();
    LHiveSection* current = nullptr;
    while (!text.empty()) {
        size_t nl = text.find('\n');
        std::string_view line = text.substr(0, nl);
        text.remove_prefix(nl == std::string_view::npos ? text.size() : nl + 1);
        // A CR can only come from an editor's line end: the writer escapes it.
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.empty()) continue;
        if (line.front() == '[') {
            size_t close = line.rfind(']');
            if (close == std::string_view::npos || close + 1 != line.size() || close == 1) {
                sections.clear();
                return false;
            }
            current = &EnsureSection(WideFromUtf8(line.substr(1, close - 1)));
            continue;
        }
        LHiveValue v;
        if (!current || !ParseValueLine(line, v)) {
            sections.clear();
            return false;
        }
        bool replaced = false;
        for (auto& old : current->values)
            if (LHiveNamesEqual(old.name, v.name)) {
                old = std::move(v);
                replaced = true;
                break;
            }
        if (!replaced) current->values.push_back(std::move(v));
    }
    return true;
}

std::string LSettingsHive::Serialize() const {
    static const char hex[] = "0123456789abcdef";
    std::string out;
    for (const auto& s : sections) {
        if (!out.empty()) out += '\n';
        out += '[';
        AppendUtf8(out, s.path);
        out += "]\n";
        for (const auto& v : s.values) {
            AppendEscaped(out, v.name, true);
            out += '=';
            if (v.binary) {
                out += "hex:";
                for (unsigned char b : v.bytes) {
                    out += hex[b >> 4];
                    out += hex[b & 15];
                }
            } else {
                AppendEscaped(out, v.text, false);
            }
            out += '\n';
        }
    }
    return out;
}

LHiveSection* LSettingsHive::FindSection(std::u16string_view path) {
    for (auto& s : sections)
        if (LHiveNamesEqual(s.path, path)) return &s;
    return nullptr;
}

const LHiveSection* LSettingsHive::FindSection(std::u16string_view path) const {
    return const_cast<LSettingsHive*>(this)->FindSection(path);
}

LHiveSection& LSettingsHive::EnsureSection(std::u16string_view path) {
    if (LHiveSection* s = FindSection(path)) return *s;
    sections.push_back(LHiveSection{std::u16string(path), {}});
    return sections.back();
}

bool LSettingsHive::KeyExists(std::u16string_view path) const {
    for (const auto& s : sections) {
        std::u16string_view p = s.path;
        if (LHiveNamesEqual(p, path)) return true;
        if (p.size() > path.size() && p[path.size()] == u'\\' && LHiveNamesEqual(p.substr(0, path.size()), path))
            return true;
    }
    return false;
}

std::vector<std::u16string> LSettingsHive::Subkeys(std::u16string_view path) const {
    std::vector<std::u16string> out;
    for (const auto& s : sections) {
        std::u16string_view p = s.path;
        if (p.size() <= path.size() + 1 || p[path.size()] != u'\\' || !LHiveNamesEqual(p.substr(0, path.size()), path))
            continue;
        std::u16string_view rest = p.substr(path.size() + 1);
        std::u16string_view name = rest.substr(0, rest.find(u'\\'));
        bool seen = false;
        for (const auto& o : out) seen = seen || LHiveNamesEqual(o, name);
        if (!seen && !name.empty()) out.emplace_back(name);
    }
    return out;
}

const LHiveValue* LSettingsHive::FindValue(std::u16string_view path, std::u16string_view name) const {
    const LHiveSection* s = FindSection(path);
    if (!s) return nullptr;
    for (const auto& v : s->values)
        if (LHiveNamesEqual(v.name, name)) return &v;
    return nullptr;
}

namespace {

LHiveValue& EnsureValue(LSettingsHive& hive, std::u16string_view path, std::u16string_view name) {
    LHiveSection& s = hive.EnsureSection(path);
    for (auto& v : s.values)
        if (LHiveNamesEqual(v.name, name)) return v;
    s.values.push_back(LHiveValue{std::u16string(name), false, {}, {}});
    return s.values.back();
}

}  // namespace

void LSettingsHive::SetText(std::u16string_view path, std::u16string_view name, std::u16string_view text) {
    LHiveValue& v = EnsureValue(*this, path, name);
    v.binary = false;
    v.text = text;
    v.bytes.clear();
}

void LSettingsHive::SetBinary(std::u16string_view path, std::u16string_view name, std::string_view bytes) {
    LHiveValue& v = EnsureValue(*this, path, name);
    v.binary = true;
    v.bytes = bytes;
    v.text.clear();
}

bool LSettingsHive::DeleteValue(std::u16string_view path, std::u16string_view name) {
    LHiveSection* s = FindSection(path);
    if (!s) return false;
    for (auto it = s->values.begin(); it != s->values.end(); ++it)
        if (LHiveNamesEqual(it->name, name)) {
            s->values.erase(it);
            return true;
        }
    return false;
}

std::string LHivePath(LRegHive hive) {
    return LPlatformKnownFolder(hive == LRegHive::LocalMachine ? LKnownFolder::MachineHive : LKnownFolder::UserHive);
}

namespace {

// Reads and parses. A hive that does not parse is moved aside under the
// lock (a writer may have replaced it meanwhile, so it is read again there);
// `bad` tells the caller to log that once it holds no lock.
enum class LLoadBad { None, Moved, Kept };

// The user's hive is the user's alone; the machine hive is shared with the
// group of users allowed to use the service. Never more, whatever the umask
// or an earlier writer left.
unsigned HiveMode(const std::string& path) {
    return path == LHivePath(LRegHive::LocalMachine) ? LPlatformSharedFileMode : 0600;
}

bool LoadHive(const std::string& path, LSettingsHive& out, bool locked, LLoadBad& bad) {
    std::string text;
    LPlatformReadResult r = LPlatformReadWholeFile(path, text, HiveMode(path));
    if (r == LPlatformReadResult::Missing) {
        out.sections.clear();
        return true;
    }
    if (r == LPlatformReadResult::Failed) return false;
    if (out.Parse(text)) return true;
    if (!locked) {
        LPlatformHiveLock lock(path);
        if (!lock.Held()) return false;
        return LoadHive(path, out, true, bad);
    }
    bad = LPlatformMoveAside(path, ".bad") ? LLoadBad::Moved : LLoadBad::Kept;
    out.sections.clear();
    return true;
}

// Writes only what reads back: a hive the reader would refuse is never
// stored, so no write can cost the other settings at the next load.
bool WriteHive(const std::string& path, const LSettingsHive& h) {
    for (const auto& section : h.sections)
        if (!LHiveKeyPathValid(section.path)) return false;
    std::string text = h.Serialize();
    LSettingsHive check;
    if (!check.Parse(text)) return false;
    return LPlatformReplaceFile(path, text, HiveMode(path));
}

void LogBadHive(const std::string& path, LLoadBad bad) {
    if (bad == LLoadBad::None) return;
    LLogErrorF("Settings file %s could not be read and was %s; starting with empty settings.", path.c_str(),
               bad == LLoadBad::Moved ? "renamed to .bad" : "left in place");
}

}  // namespace

bool LHiveLoad(LRegHive hive, LSettingsHive& out) {
    const std::string path = LHivePath(hive);
    LLoadBad bad = LLoadBad::None;
    bool ok = LoadHive(path, out, false, bad);
    LogBadHive(path, bad);
    return ok;
}

bool LHiveUpdateWith(LRegHive hive, bool (*change)(LSettingsHive&, void*), void* context) {
    const std::string path = LHivePath(hive);
    LLoadBad bad = LLoadBad::None;
    bool ok = false;
    {
        LPlatformHiveLock lock(path);
        LSettingsHive h;
        if (lock.Held() && LoadHive(path, h, true, bad)) {
            ok = !change(h, context) || WriteHive(path, h);
        }
    }
    LogBadHive(path, bad);
    return ok;
}
