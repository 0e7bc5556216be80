#pragma once
// The Codex configuration (TOML) as plain text: where the program's table
// [mcp_servers.porlinex] is, in whatever way its header is written, and the
// file rebuilt with that table replaced. Lines inside multi-line strings
// and arrays are never taken for headers.
#include <string>
#include <string_view>

enum class LCodexBuildResult { Built, InvalidText, DefinedElsewhere };

// The existing text with the program's old table removed and the new one
// appended. InvalidText for a NUL byte, bytes that are not UTF-8 or an
// unterminated multi-line string; DefinedElsewhere when the servers'
// table or the program's entry is defined by keys or as an array of
// tables, where a new table would make the file invalid.
LCodexBuildResult LCodexConfigBuild(std::string_view existing, int port, std::string_view token, std::string& out);

// The file is valid as far as this reader can tell, holds the program's
// table, the url line of this port, and http_headers.
bool LCodexConfigHasEntry(std::string_view text, int port);
