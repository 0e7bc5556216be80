#pragma once
// The command-line AI client Codex: it reaches the `mcp` route over HTTP,
// with the stdio token as its bearer secret, from the table
// [mcp_servers.porlinex] of its config.toml.
#include <string>

// False when there is no path or the file cannot be read; a missing file
// is an empty text and success.
bool LCodexConfigRead(std::string& text, bool& exists);
bool LCodexConfigCompose(std::string& text, std::string& error);
bool LCodexConfigInstall(std::string& error);
// {"configPath":..,"configExists":..,"configValid":..,"installed":..};
// false (and "{}") when the file could not be read or there is no path.
bool LCodexConfigStatusJson(std::string& out);
