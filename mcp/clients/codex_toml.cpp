#include "mcp/clients/codex_toml.h"

#include <cstdint>
#include <cstdio>
#include <vector>

#include "foundation/utf8.h"

namespace {

using Path = std::vector<std::string>;

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

bool IsBare(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '-';
}

bool ValidUtf8(std::string_view text) {
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    for (size_t i = 0; i < text.size();) {
        if (p[i] == 0) return false;
        if (p[i] < 0x80) {
            ++i;
            continue;
        }
        uint32_t cp = 0;
        size_t used = LUtf8Decode(p + i, text.size() - i, &cp);
        // The decoder's replacement for a bad sequence, unless the file
        // really holds U+FFFD.
        if (cp == 0xFFFD && !(used == 3 && p[i] == 0xEF && p[i + 1] == 0xBF && p[i + 2] == 0xBD)) return false;
        i += used;
    }
    return true;
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// One key of a key path at `pos`: bare, "basic" (escapes decoded) or
// 'literal'. False when there is none.
bool ParseKey(std::string_view line, size_t& pos, std::string& key) {
    key.clear();
    if (pos >= line.size()) return false;
    char c = line[pos];
    if (c == '\'') {
        size_t end = line.find('\'', pos + 1);
        if (end == std::string_view::npos) return false;
        key.assign(line.substr(pos + 1, end - pos - 1));
        pos = end + 1;
        return true;
    }
    if (c == '"') {
        for (++pos; pos < line.size(); ++pos) {
            c = line[pos];
            if (c == '"') {
                ++pos;
                return true;
            }
            if (c != '\\') {
                key += c;
                continue;
            }
            if (++pos >= line.size()) return false;
            char e = line[pos];
            const char* simple = "b\bt\tn\nf\fr\r\"\"\\\\";
            bool done = false;
            for (const char* s = simple; *s; s += 2)
                if (*s == e) {
                    key += s[1];
                    done = true;
                }
            if (done) continue;
            int digits = e == 'u' ? 4 : e == 'U' ? 8 : 0;
            if (!digits || pos + digits >= line.size()) return false;
            uint32_t cp = 0;
            for (int i = 1; i <= digits; ++i) {
                int h = HexValue(line[pos + i]);
                if (h < 0) return false;
                cp = cp * 16 + static_cast<uint32_t>(h);
            }
            char utf8[4];
            key.append(utf8, LUtf8Encode(cp, utf8));
            pos += digits;
        }
        return false;
    }
    size_t start = pos;
    while (pos < line.size() && IsBare(line[pos])) ++pos;
    key.assign(line.substr(start, pos - start));
    return pos > start;
}

// A dotted key path at `pos`, up to (not including) `stop`.
bool ParseKeyPath(std::string_view line, size_t& pos, char stop, Path& path) {
    path.clear();
    for (;;) {
        while (pos < line.size() && IsBlank(line[pos])) ++pos;
        std::string key;
        if (!ParseKey(line, pos, key)) return false;
        path.push_back(std::move(key));
        while (pos < line.size() && IsBlank(line[pos])) ++pos;
        if (pos < line.size() && line[pos] == '.') {
            ++pos;
            continue;
        }
        return pos < line.size() && line[pos] == stop;
    }
}

// A header line "[a.b]" or "[[a.b]]", blanks and a comment allowed.
bool ParseHeader(std::string_view line, size_t pos, Path& path, bool& array) {
    array = line.substr(pos, 2) == "[[";
    pos += array ? 2 : 1;
    if (!ParseKeyPath(line, pos, ']', path)) return false;
    pos += array ? 2 : 1;
    if (array && line.substr(pos - 2, 2) != "]]") return false;
    while (pos < line.size() && IsBlank(line[pos])) ++pos;
    return pos == line.size() || line[pos] == '#';
}

bool StartsWith(const Path& path, std::initializer_list<const char*> prefix) {
    if (path.size() < prefix.size()) return false;
    size_t i = 0;
    for (const char* p : prefix)
        if (path[i++] != p) return false;
    return true;
}

// The state of the lexer between lines.
struct Lexer {
    bool in_basic = false;    // inside """..."""
    bool in_literal = false;  // inside '''...'''
    int depth = 0;            // open [ and { of values

    bool Clean() const { return !in_basic && !in_literal && depth == 0; }

    // The end of a multi-line string that started before `pos`, or npos.
    static size_t CloseMulti(std::string_view line, size_t pos, bool basic) {
        const char* quotes = basic ? "\"\"\"" : "'''";
        for (;;) {
            size_t at = line.find(quotes, pos);
            if (at == std::string_view::npos) return at;
            if (basic) {
                size_t slashes = 0;
                while (at - slashes > pos && line[at - slashes - 1] == '\\') ++slashes;
                if (slashes % 2) {
                    pos = at + 1;
                    continue;
                }
            }
            // Up to two quotes more belong to the string's content.
            size_t end = at + 3;
            while (end < line.size() && end < at + 5 && line[end] == quotes[0]) ++end;
            return end;
        }
    }

    // Walks one line (without its line end) from `pos`.
    void Walk(std::string_view line, size_t pos) {
        while (pos < line.size()) {
            if (in_basic || in_literal) {
                size_t end = CloseMulti(line, pos, in_basic);
                if (end == std::string_view::npos) return;
                in_basic = in_literal = false;
                pos = end;
                continue;
            }
            char c = line[pos];
            if (c == '#') return;
            if (c == '"' || c == '\'') {
                if (line.substr(pos, 3) == (c == '"' ? "\"\"\"" : "'''")) {
                    (c == '"' ? in_basic : in_literal) = true;
                    pos += 3;
                    continue;
                }
                for (++pos; pos < line.size() && line[pos] != c; ++pos)
                    if (c == '"' && line[pos] == '\\') ++pos;
                ++pos;
                continue;
            }
            if (c == '[' || c == '{') ++depth;
            if ((c == ']' || c == '}') && depth > 0) --depth;
            ++pos;
        }
    }
};

struct Line {
    std::string_view text;  // without the line end
    std::string_view whole;  // with it
    bool ours = false;       // part of the program's table
};

struct Scan {
    std::vector<Line> lines;
    bool valid = true;
    bool conflict = false;
    bool found = false;
};

Scan ScanText(std::string_view text) {
    Scan scan;
    if (!ValidUtf8(text)) {
        scan.valid = false;
        return scan;
    }
    Lexer lexer;
    Path table;
    bool skipping = false;
    for (size_t start = 0; start < text.size();) {
        size_t lf = text.find('\n', start);
        size_t next = lf == std::string_view::npos ? text.size() : lf + 1;
        Line line;
        line.whole = text.substr(start, next - start);
        size_t end = lf == std::string_view::npos ? text.size() : lf;
        if (end > start && text[end - 1] == '\r') --end;
        line.text = text.substr(start, end - start);
        start = next;

        size_t first = 0;
        while (first < line.text.size() && IsBlank(line.text[first])) ++first;
        bool at_line_start = lexer.Clean();
        if (at_line_start && first < line.text.size() && line.text[first] == '[') {
            bool array = false;
            Path header;
            bool parsed = ParseHeader(line.text, first, header, array);
            bool is_ours = parsed && !array && header == Path{"mcp_servers", "porlinex"};
            if (parsed && array && (header == Path{"mcp_servers"} || header == Path{"mcp_servers", "porlinex"}))
                scan.conflict = true;
            skipping = is_ours;
            scan.found = scan.found || is_ours;
            table = parsed ? header : Path{};
            line.ours = skipping;
            scan.lines.push_back(line);
            continue;
        }
        if (at_line_start && first < line.text.size() && line.text[first] != '#') {
            // A key: it must not define what the program's table defines.
            Path key;
            size_t pos = first;
            if (ParseKeyPath(line.text, pos, '=', key)) {
                Path full = table;
                full.insert(full.end(), key.begin(), key.end());
                // Only from the root or [mcp_servers]: keys of the program's
                // table and of its sub-tables are fine.
                if (table.size() < 2 && (full == Path{"mcp_servers"} || StartsWith(full, {"mcp_servers", "porlinex"})))
                    scan.conflict = true;
            }
        }
        lexer.Walk(line.text, first);
        line.ours = skipping;
        scan.lines.push_back(line);
    }
    if (!lexer.Clean() && (lexer.in_basic || lexer.in_literal)) scan.valid = false;
    return scan;
}

std::string TomlQuote(std::string_view text) {
    std::string out = "\"";
    for (char c : text) {
        auto u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (u < 0x20 || u == 0x7F) {
            char esc[8];
            std::snprintf(esc, sizeof esc, "\\u%04X", u);
            out += esc;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

bool IsBlankLine(std::string_view line) {
    for (char c : line)
        if (!IsBlank(c)) return false;
    return true;
}

}  // namespace

LCodexBuildResult LCodexConfigBuild(std::string_view existing, int port, std::string_view token, std::string& out) {
    out.clear();
    Scan scan = ScanText(existing);
    if (!scan.valid) return LCodexBuildResult::InvalidText;
    if (scan.conflict) return LCodexBuildResult::DefinedElsewhere;
    // A file keeps its own line ends; a new one gets LF.
    size_t lf = existing.find('\n');
    std::string eol = lf != std::string_view::npos && lf > 0 && existing[lf - 1] == '\r' ? "\r\n" : "\n";
    size_t kept_end = 0;  // the end of the last line that is not blank
    for (const Line& line : scan.lines) {
        if (line.ours) continue;
        out.append(line.whole);
        if (!IsBlankLine(line.text)) kept_end = out.size();
    }
    // Blank lines at the very end carry nothing; dropping them keeps a
    // second install from adding one more each time.
    out.resize(kept_end);
    if (!out.empty() && out.back() != '\n') out += eol;
    out += eol + "[mcp_servers.porlinex]" + eol;
    out += "url = \"http://127.0.0.1:" + std::to_string(port) + "/mcp\"" + eol;
    out += "http_headers = { Authorization = " + TomlQuote("Bearer " + std::string(token)) + " }" + eol;
    return LCodexBuildResult::Built;
}

bool LCodexConfigHasEntry(std::string_view text, int port) {
    Scan scan = ScanText(text);
    std::string url = "url = \"http://127.0.0.1:" + std::to_string(port) + "/mcp\"";
    return scan.valid && scan.found && text.find(url) != std::string_view::npos &&
           text.find("http_headers") != std::string_view::npos;
}
