#include "host/tests/crash_fixture.h"

#include <filesystem>

std::unique_ptr<LTestProcess> LStartCrashFixture(const std::string& kind, bool service) {
    std::vector<std::string> env = {"PORLINEX_CRASH_KIND=" + kind, "PORLINEX_CRASH_REPORTER=" + LTestProgramPath()};
    if (service) env.push_back("PORLINEX_CRASH_SERVICE=1");
    return std::make_unique<LTestProcess>(
        std::vector<std::string>{std::filesystem::read_symlink("/proc/self/exe").string(), "--gtest_filter=CrashChild.Crash"},
        env);
}
