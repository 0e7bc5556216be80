#pragma once
// Where the AI clients keep their configuration files on this system, and
// how the program reads and replaces them. The files belong to the user:
// a replacement is written beside the file and renamed over it, so a
// failure at any point leaves the old file whole.
#include <string>

// $XDG_CONFIG_HOME, else ~/.config; R/home/.config when PORLINEX_ROOT is
// set (tests and side-by-side installs never touch the user's own files).
std::string LMcpUserConfigFolder();
// The running program's whole path, as clients must start it.
std::string LMcpProgramPath();

std::string LClaudeDesktopConfigGetPath();
std::string LAntigravityConfigGetPath();
// $CODEX_HOME, else $HOME/.codex (R/home/.codex under PORLINEX_ROOT); ""
// when neither variable is set.
std::string LCodexConfigGetPath();

// The whole file. False when it cannot be read (or is absurdly large);
// a missing file is an empty text, exists false, and success.
bool LMcpConfigReadFile(const std::string& path, std::string& bytes, bool& exists);
// Makes the file's folder (new folders 0700), then writes a temporary file
// in it, flushes it to disk and renames it over the file. The file keeps
// its mode; a new one is 0600, as one of them carries a bearer token. A
// symbolic link is followed, so the file it names is the one replaced.
bool LMcpConfigMakeFolder(const std::string& path);
bool LMcpConfigWriteFile(const std::string& path, const std::string& bytes);
