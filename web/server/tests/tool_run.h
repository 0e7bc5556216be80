#pragma once
// Runs a command-line tool (openssl, curl, certutil, upnpc, chromium) for a
// test and hands back its exit code and everything it printed.
#include <string>
#include <vector>

struct LTestToolResult {
    int exit_code = -1;  // -1: did not end in time
    std::string output;  // standard output and error together
};

LTestToolResult LTestRunTool(const std::vector<std::string>& argv, const std::vector<std::string>& extra_env = {},
                             int timeout_ms = 30000);
