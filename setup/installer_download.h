#pragma once
// Fetching one of the maker's setup programs from its hosts, checking the
// maker's signature, running it and waiting until it has written the
// program's settings.
#include <string>
#include <vector>

#include "foundation/task_progress.h"

// Where the setup program is looked for, in order: "/download/<local>.exe"
// on download host A then B (B first when alternateHost is clear), then
// "<program>setup64.exe" (program in lower case) from "/components/" on the
// two component hosts.
std::vector<std::string> LInstallerSourceUrls(const std::string& localName, const std::string& programName,
                                              bool alternateHost);

// 0 installed, 1 stop requested, 2 failed. A file whose signature does
// not verify is never run; when no source gives one, the error is shown
// through progress.
int LDownloadAndRunInstaller(LTaskProgress& progress, const std::string& localName, const std::string& programName,
                             bool alternateHost, const char* by, const char16_t* display, bool quiet);
