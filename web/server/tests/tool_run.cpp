#include "web/server/tests/tool_run.h"

#include <unistd.h>

#include <atomic>
#include <filesystem>

#include "tests/support/test_root.h"
#include "tests/support/tls_peer.h"

LTestToolResult LTestRunTool(const std::vector<std::string>& argv, const std::vector<std::string>& extra_env,
                             int timeout_ms) {
    static std::atomic<int> serial{0};
    std::string out = std::filesystem::temp_directory_path().string() + "/porlinex-tool-" + std::to_string(getpid()) +
                      "-" + std::to_string(serial++) + ".txt";
    LTestToolResult r;
    {
        LTestProcess p(LTestRedirectedArgv(argv, "/dev/null", out), extra_env);
        r.exit_code = p.Wait(timeout_ms);
    }
    r.output = LTestReadFile(out);
    std::filesystem::remove(out);
    return r;
}
