#include "setup/launcher_tables.h"

#include "foundation/log.h"
#include "foundation/utf8.h"
#include "platform/regular_file.h"
#include "platform/root.h"

namespace {

constexpr size_t kMaxLine = 2000;
constexpr size_t kMaxKey = 64, kMaxName = 100, kMaxCategory = 32, kMaxDescription = 600;

std::vector<std::string_view> SplitTabs(std::string_view line) {
    std::vector<std::string_view> fields;
    size_t start = 0;
    for (;;) {
        size_t tab = line.find('\t', start);
        fields.push_back(line.substr(start, tab == std::string_view::npos ? std::string_view::npos : tab - start));
        if (tab == std::string_view::npos) return fields;
        start = tab + 1;
    }
}

// Printable UTF-8 of at most max code points, without leading or trailing
// blanks; anything else refuses the field.
bool Text(std::string_view in, size_t max, bool may_be_empty, std::u16string& out) {
    out.clear();
    if (in.empty()) return may_be_empty;
    if (in.front() == ' ' || in.back() == ' ') return false;
    size_t count = 0;
    for (size_t i = 0; i < in.size();) {
        uint32_t cp = 0;
        size_t used = LUtf8Decode(reinterpret_cast<const unsigned char*>(in.data() + i), in.size() - i, &cp);
        if (cp == 0xFFFD || cp < 0x20 || (cp >= 0x7F && cp < 0xA0) || ++count > max) return false;
        if (cp >= 0x10000) {
            out += static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
            out += static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
        } else {
            out += static_cast<char16_t>(cp);
        }
        i += used;
    }
    return true;
}

// A name that becomes part of a path or an address: ASCII letters, digits,
// '.', '-' and '_', starting with a letter or digit.
bool Name(std::string_view in, size_t max, std::u16string& out) {
    if (in.empty() || in.size() > max) return false;
    for (size_t i = 0; i < in.size(); ++i) {
        char c = in[i];
        bool alnum = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
        if (!alnum && (i == 0 || (c != '.' && c != '-' && c != '_'))) return false;
    }
    out.assign(in.begin(), in.end());
    return true;
}

bool Program(const std::vector<std::string_view>& f, LSuiteProgram& p) {
    if (f.size() != 6 || !Name(f[1], kMaxKey, p.key) || !Text(f[2], kMaxName, false, p.display) ||
        !Name(f[3], kMaxKey, p.setup))
        return false;
    std::string_view page = f[4];
    bool newer = !page.empty() && page.front() == '+';
    if (!Name(newer ? page.substr(1) : page, kMaxKey, p.page)) return false;
    if (newer) p.page.insert(p.page.begin(), u'+');
    return Text(f[5], kMaxDescription, true, p.description);
}

bool Task(const std::vector<std::string_view>& f, LSuiteTask& t) {
    return f.size() == 4 && Text(f[1], kMaxCategory, false, t.category) && Name(f[2], kMaxKey, t.program) &&
           Text(f[3], kMaxName, false, t.text);
}

bool Fail(std::string* error, size_t line, const char* what) {
    if (error) *error = "line " + std::to_string(line) + ": " + what;
    return false;
}

bool ParseInto(std::string_view text, LSuiteTables& out, std::string* error) {
    if (text.size() > LSuiteTablesMaxBytes) return Fail(error, 0, "the file is too large");
    size_t number = 0;
    while (!text.empty()) {
        size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        ++number;
        if (line.size() > kMaxLine) return Fail(error, number, "the line is too long");
        if (line.empty() || line.front() == '#') continue;
        std::vector<std::string_view> fields = SplitTabs(line);
        if (fields[0] == "program") {
            LSuiteProgram p;
            if (!Program(fields, p)) return Fail(error, number, "a program row needs five valid fields");
            if (out.FindProgram(p.key)) return Fail(error, number, "the program key is listed twice");
            if (out.programs.size() == LSuiteMaxPrograms) return Fail(error, number, "too many programs");
            out.programs.push_back(std::move(p));
        } else if (fields[0] == "task") {
            LSuiteTask t;
            if (!Task(fields, t)) return Fail(error, number, "a task row needs three valid fields");
            if (out.tasks.size() == LSuiteMaxTasks) return Fail(error, number, "too many tasks");
            out.tasks.push_back(std::move(t));
        } else {
            return Fail(error, number, "unknown row kind");
        }
    }
    return true;
}

char16_t Lower(char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c; }

}  // namespace

const LSuiteProgram* LSuiteTables::FindProgram(std::u16string_view key) const {
    for (const LSuiteProgram& p : programs) {
        if (p.key.size() != key.size()) continue;
        size_t i = 0;
        while (i < key.size() && Lower(p.key[i]) == Lower(key[i])) ++i;
        if (i == key.size()) return &p;
    }
    return nullptr;
}

bool LParseSuiteTables(std::string_view text, LSuiteTables& out, std::string* error) {
    out = LSuiteTables();
    if (ParseInto(text, out, error)) return true;
    out = LSuiteTables();
    return false;
}

std::string LSuiteTablesPath() { return LPlatformRoot() + "/etc/porlinex/launcher.txt"; }

LSuiteTables LLoadSuiteTables() {
    LSuiteTables tables;
    const std::string path = LSuiteTablesPath();
    std::string text, error;
    LPlatformRegularRead read = LPlatformReadRegularFile(path, LSuiteTablesMaxBytes, text);
    if (read == LPlatformRegularRead::Missing) return tables;
    if (read != LPlatformRegularRead::Ok) error = "it cannot be read or is too large";
    if (!error.empty() || !LParseSuiteTables(text, tables, &error))
        LLogWarningF("The launcher's tables in %s are not used: %s.", path.c_str(), error.c_str());
    return tables;
}
