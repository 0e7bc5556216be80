#include "mcp/clients/json_clients.h"

#include "foundation/json_value.h"
#include "foundation/json_writer.h"
#include "mcp/clients/client_files.h"
#include "mcp/clients/json_members.h"
#include "mcp/jsonrpc_body.h"

namespace {

struct JsonClient {
    const char* name;
    const char* server_key;
    std::string (*path)();
};

const JsonClient kClaude = {"Claude Desktop", "Porlinex", LClaudeDesktopConfigGetPath};
const JsonClient kAntigravity = {"Antigravity", "porlinex", LAntigravityConfigGetPath};

bool IsJsonObject(std::string_view text) {
    LMcpRequestBody body;
    return LMcpParseRequestBody(text.data(), text.size(), body) && body.value.kind == LJsonObject;
}

bool Load(const JsonClient& client, std::string& document, bool& exists) {
    if (!LMcpConfigReadFile(client.path(), document, exists)) return false;
    if (document.empty()) {
        document = "{}";
        return true;
    }
    return IsJsonObject(document);
}

// The object member of that name inside the object at `open`: made empty
// when missing, replaced by an empty object when of another kind. Returns
// where its "{" is.
size_t EnsureObjectMember(std::string& text, size_t open, const char* name) {
    std::vector<LJsonMemberSpan> members = LJsonObjectMembers(text, open);
    const LJsonMemberSpan* m = LJsonFindLast(members, name);
    if (m && text[m->value_begin] == '{') return m->value_begin;
    if (m) {
        LJsonEraseMember(text, members, static_cast<size_t>(m - members.data()));
        members = LJsonObjectMembers(text, open);
    }
    LJsonAppendMember(text, open, members, LJsonQuote(name) + ":{}");
    members = LJsonObjectMembers(text, open);
    return members.back().value_begin;
}

// The entry's own member of that name, found as readers find it (the last).
std::string_view MemberText(std::string_view entry, const char* name) {
    std::vector<LJsonMemberSpan> members = LJsonObjectMembers(entry, 0);
    const LJsonMemberSpan* m = LJsonFindLast(members, name);
    return m ? entry.substr(m->value_begin, m->value_end - m->value_begin) : std::string_view();
}

// The program's entry of a valid document; false when there is none.
bool FindEntry(std::string_view document, const char* key, std::string_view& entry) {
    size_t top = LJsonSkipSpace(document, 0);
    std::vector<LJsonMemberSpan> members = LJsonObjectMembers(document, top);
    const LJsonMemberSpan* servers = LJsonFindLast(members, "mcpServers");
    if (!servers || document[servers->value_begin] != '{') return false;
    members = LJsonObjectMembers(document, servers->value_begin);
    const LJsonMemberSpan* m = LJsonFindLast(members, key);
    if (!m) return false;
    entry = document.substr(m->value_begin, m->value_end - m->value_begin);
    return true;
}

void Check(const JsonClient& client, bool& exists, bool& valid, bool& installed, bool& matches) {
    std::string document;
    valid = Load(client, document, exists);
    installed = matches = false;
    std::string_view entry;
    if (!valid || !FindEntry(document, client.server_key, entry)) return;
    installed = true;
    matches = LMcpConfigEntryMatches(entry, LMcpProgramPath());
}

bool Save(const JsonClient& client, const std::string& document) {
    std::string path = client.path();
    return !path.empty() && LMcpConfigMakeFolder(path) && LMcpConfigWriteFile(path, document);
}

bool Install(const JsonClient& client, std::string& error) {
    std::string document;
    bool exists = false;
    if (!Load(client, document, exists)) {
        error = exists ? std::string(client.name) + " config exists but is not valid JSON."
                       : std::string("Unable to load ") + client.name + " config.";
        return false;
    }
    LMcpConfigMergeEntry(document, client.server_key);
    if (!Save(client, document)) {
        error = std::string("Unable to write the ") + client.name + " config file.";
        return false;
    }
    error.clear();
    return true;
}

bool StatusJson(const JsonClient& client, std::string& out) {
    bool exists, valid, installed, matches;
    Check(client, exists, valid, installed, matches);
    LStringA text;
    LJsonWriter json(text);
    json.BeginObject();
    json.StringUTF8("configPath", client.path().c_str());
    json.Bool("configExists", exists);
    json.Bool("configValid", valid);
    json.Bool("installed", installed);
    json.Bool("installMatches", matches);
    json.EndObject();
    out = text.Str();
    return true;
}

}  // namespace

void LMcpConfigMergeEntry(std::string& document, const char* server_key) {
    size_t top = LJsonSkipSpace(document, 0);
    if (top >= document.size() || document[top] != '{') {
        document = "{}";
        top = 0;
    }
    size_t servers = EnsureObjectMember(document, top, "mcpServers");
    size_t entry = EnsureObjectMember(document, servers, server_key);
    std::string command = "\"command\":" + LJsonQuote(LMcpProgramPath());
    std::vector<LJsonMemberSpan> members = LJsonObjectMembers(document, entry);
    if (const LJsonMemberSpan* m = LJsonFindLast(members, "command")) {
        document.replace(m->value_begin, m->value_end - m->value_begin, LJsonQuote(LMcpProgramPath()));
    } else {
        LJsonAppendMember(document, entry, members, command);
    }
    // Every "args" goes, so the one appended is the only one.
    for (;;) {
        members = LJsonObjectMembers(document, entry);
        const LJsonMemberSpan* m = LJsonFindLast(members, "args");
        if (!m) break;
        LJsonEraseMember(document, members, static_cast<size_t>(m - members.data()));
    }
    LJsonAppendMember(document, entry, members, "\"args\":[\"-mcpstdio\"]");
}

bool LMcpConfigEntryMatches(std::string_view entry, const std::string& program_path) {
    if (entry.empty() || entry[0] != '{') return false;
    LJsonValue command, args;
    std::string_view c = MemberText(entry, "command"), a = MemberText(entry, "args");
    if (c.empty() || a.empty() || command.Parse(c.data(), c.size()) != 0 || args.Parse(a.data(), a.size()) != 0)
        return false;
    // Paths on this system are case-sensitive: only the same bytes name
    // the same program.
    if (!command.IsString() || command.text.View() != program_path) return false;
    return args.kind == LJsonArray && args.count == 1 && args.elements[0].IsString() &&
           args.elements[0].text.View() == "-mcpstdio";
}

std::string LMcpConfigSnippet(const char* server_key) {
    std::string document = "{}";
    LMcpConfigMergeEntry(document, server_key);
    return document;
}

bool LClaudeDesktopConfigLoad(std::string& document, bool& exists) { return Load(kClaude, document, exists); }
bool LAntigravityConfigLoad(std::string& document, bool& exists) { return Load(kAntigravity, document, exists); }
void LClaudeDesktopConfigCheck(bool& exists, bool& valid, bool& installed, bool& matches) {
    Check(kClaude, exists, valid, installed, matches);
}
void LAntigravityConfigCheck(bool& exists, bool& valid, bool& installed, bool& matches) {
    Check(kAntigravity, exists, valid, installed, matches);
}
bool LClaudeDesktopConfigSave(const std::string& document) { return Save(kClaude, document); }
bool LAntigravityConfigSave(const std::string& document) { return Save(kAntigravity, document); }
bool LClaudeDesktopConfigInstall(std::string& error) { return Install(kClaude, error); }
bool LAntigravityConfigInstall(std::string& error) { return Install(kAntigravity, error); }
bool LClaudeDesktopConfigStatusJson(std::string& out) { return StatusJson(kClaude, out); }
bool LAntigravityConfigStatusJson(std::string& out) { return StatusJson(kAntigravity, out); }
