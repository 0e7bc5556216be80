#pragma once
// The two AI clients that start the program with -mcpstdio and keep their
// servers in a JSON file: Claude Desktop (entry "Porlinex") and Antigravity
// (entry "porlinex"). A document here is the file's JSON text: merging
// edits that text in place, so everything but the program's entry keeps
// its exact bytes.
#include <string>
#include <string_view>

// True when the document is usable: a missing or empty file gives "{}";
// otherwise the text must be one valid JSON object.
bool LClaudeDesktopConfigLoad(std::string& document, bool& exists);
bool LAntigravityConfigLoad(std::string& document, bool& exists);

void LClaudeDesktopConfigCheck(bool& exists, bool& valid, bool& installed, bool& matches);
void LAntigravityConfigCheck(bool& exists, bool& valid, bool& installed, bool& matches);

// Puts the program's entry under mcpServers.<server_key> of a document
// that is a JSON object.
void LMcpConfigMergeEntry(std::string& document, const char* server_key);
// The entry (a JSON text) is an object whose "command" is exactly the
// program path and whose "args" is exactly ["-mcpstdio"].
bool LMcpConfigEntryMatches(std::string_view entry, const std::string& program_path);
// The document holding only the program's entry, as a fresh file has it.
std::string LMcpConfigSnippet(const char* server_key);

bool LClaudeDesktopConfigSave(const std::string& document);
bool LAntigravityConfigSave(const std::string& document);

bool LClaudeDesktopConfigInstall(std::string& error);
bool LAntigravityConfigInstall(std::string& error);

// {"configPath":..,"configExists":..,"configValid":..,"installed":..,
// "installMatches":..}; always true.
bool LClaudeDesktopConfigStatusJson(std::string& out);
bool LAntigravityConfigStatusJson(std::string& out);
