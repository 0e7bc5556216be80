#include "mcp/clients/codex_config.h"

#include "foundation/json_writer.h"
#include "foundation/utf8.h"
#include "mcp/clients/client_files.h"
#include "mcp/clients/codex_toml.h"
#include "mcp/mcp_auth.h"
#include "web/server/web_server.h"

bool LCodexConfigRead(std::string& text, bool& exists) {
    return LMcpConfigReadFile(LCodexConfigGetPath(), text, exists);
}

bool LCodexConfigCompose(std::string& text, std::string& error) {
    char16_t token[260];
    if (!LMcpGetStdioToken(token)) {
        error = "Enable MCP before installing the Codex configuration.";
        return false;
    }
    std::string existing;
    bool exists = false;
    if (!LCodexConfigRead(existing, exists)) {
        error = "Unable to read the Codex configuration file.";
        return false;
    }
    LUTF8FromWide token_utf8(token);
    switch (LCodexConfigBuild(existing, LWebServerGetPort(), token_utf8.text, text)) {
    case LCodexBuildResult::Built:
        return true;
    case LCodexBuildResult::InvalidText:
        error = "Unable to read the Codex configuration file.";
        return false;
    case LCodexBuildResult::DefinedElsewhere:
        error = "The Codex configuration defines mcp_servers.porlinex with keys; remove them and install again.";
        return false;
    }
    return false;
}

bool LCodexConfigInstall(std::string& error) {
    std::string path = LCodexConfigGetPath();
    if (path.empty()) {
        error = "Unable to determine the current Windows user's Codex profile.";
        return false;
    }
    if (!LMcpConfigMakeFolder(path)) {
        error = "Unable to create the Codex configuration folder.";
        return false;
    }
    std::string text;
    if (!LCodexConfigCompose(text, error)) return false;
    if (!LMcpConfigWriteFile(path, text)) {
        error = "Unable to write the Codex configuration file.";
        return false;
    }
    error.clear();
    return true;
}

bool LCodexConfigStatusJson(std::string& out) {
    std::string text;
    bool exists = false;
    if (!LCodexConfigRead(text, exists)) {
        out = "{}";
        return false;
    }
    LStringA record;
    LJsonWriter json(record);
    json.BeginObject();
    json.StringUTF8("configPath", LCodexConfigGetPath().c_str());
    json.Bool("configExists", exists);
    json.Bool("configValid", true);
    json.Bool("installed", LCodexConfigHasEntry(text, LWebServerGetPort()));
    json.EndObject();
    out = record.Str();
    return true;
}
