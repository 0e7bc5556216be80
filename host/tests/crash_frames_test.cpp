// The crash report's frames agree with the system's own tools: the fixture
// stops at its innermost call, eu-stack (elfutils) walks it there, the
// fixture goes on to crash, and the report's addresses, module base and
// function names are checked against eu-stack and addr2line (binutils).
#include <gtest/gtest.h>
#include <signal.h>

#include <cstdio>
#include <filesystem>
#include <regex>
#include <sstream>

#include "host/crash_report.h"
#include "host/tests/crash_fixture.h"
#include "tests/support/test_display.h"

namespace {

struct Frame {
    uint64_t address = 0;
    std::string function, module;
};

bool Stopped(pid_t pid) {
    std::string stat = LTestReadFile("/proc/" + std::to_string(pid) + "/stat");
    size_t paren = stat.rfind(')');
    return paren != std::string::npos && paren + 2 < stat.size() && stat[paren + 2] == 'T';
}

// Where the program's file is mapped from its start: its load base.
uint64_t MappedBase(pid_t pid, const std::string& file) {
    std::istringstream maps(LTestReadFile("/proc/" + std::to_string(pid) + "/maps"));
    for (std::string line; std::getline(maps, line);)
        if (line.size() > file.size() && line.compare(line.size() - file.size(), file.size(), file) == 0)
            return std::stoull(line.substr(0, line.find('-')), nullptr, 16);
    return 0;
}

// The crashed thread's frames as the report lists them.
std::vector<Frame> ReportFrames(const std::string& report) {
    std::vector<Frame> out;
    size_t at = report.find("(crashed)\n");
    if (at == std::string::npos) return out;
    std::istringstream in(report.substr(at + 10));
    std::regex frame("  #\\d+ 0x([0-9a-f]+) (.*) \\(([^,)]*)[,)].*");
    std::smatch m;
    for (std::string line; std::getline(in, line) && std::regex_match(line, m, frame);)
        out.push_back({std::stoull(m[1], nullptr, 16), m[2], m[3]});
    return out;
}

// eu-stack's frames of the thread: "#N  0xADDR function".
std::vector<Frame> EuStackFrames(const std::string& text) {
    std::vector<Frame> out;
    std::regex frame("#\\d+\\s+0x([0-9a-f]+) (\\S+)");
    std::istringstream in(text);
    std::smatch m;
    for (std::string line; std::getline(in, line);)
        if (std::regex_search(line, m, frame)) out.push_back({std::stoull(m[1], nullptr, 16), m[2], ""});
    return out;
}

std::string Hex(uint64_t v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "0x%llx", static_cast<unsigned long long>(v));
    return buf;
}

TEST(CrashFrames, AgreeWithEuStackAndAddr2line) {
    LTestRoot root;
    const std::string exe = std::filesystem::read_symlink("/proc/self/exe").string();
    auto fixture = LStartCrashFixture("stop-null", true);
    ASSERT_TRUE(LTestWaitFor(30000, [&] { return Stopped(fixture->Pid()); }));
    uint64_t base = MappedBase(fixture->Pid(), exe);
    ASSERT_NE(base, 0u);
    std::string walked = LTestRunCapture({"eu-stack", "-p", std::to_string(fixture->Pid())}, 60000);
    kill(fixture->Pid(), SIGCONT);
    ASSERT_EQ(fixture->Wait(60000), 1);

    std::string report = LTestReadFile(LCrashReportPath(true));
    std::smatch m;
    ASSERT_TRUE(std::regex_search(report, m, std::regex("\n  0x([0-9a-f]+) [0-9a-f]* test_host\n"))) << report;
    EXPECT_EQ(std::stoull(m[1], nullptr, 16), base) << report;
    std::vector<Frame> frames = ReportFrames(report), stack = EuStackFrames(walked);
    ASSERT_GE(frames.size(), 3u) << report;
    // eu-stack saw the same calls, stopped one call further in.
    size_t first = 0;
    while (first < stack.size() && stack[first].function != LCrashFixtureFrames[0]) ++first;
    ASSERT_LT(first + 2, stack.size()) << walked;
    for (size_t i = 0; i < 3; ++i) {
        SCOPED_TRACE(LCrashFixtureFrames[i]);
        EXPECT_EQ(frames[i].function, LCrashFixtureFrames[i]);
        EXPECT_EQ(frames[i].module, "test_host");
        EXPECT_EQ(stack[first + i].function, LCrashFixtureFrames[i]);
        // The outer frames return to the same places in both walks.
        if (i > 0) {
            EXPECT_EQ(Hex(stack[first + i].address), Hex(frames[i].address));
        }
        // A return address follows its call: the call names the function.
        uint64_t file_address = frames[i].address - base - (i > 0 ? 1 : 0);
        std::string named = LTestRunCapture({"addr2line", "-f", "-e", exe, Hex(file_address)}, 30000);
        EXPECT_EQ(named.substr(0, named.find('\n')), LCrashFixtureFrames[i]) << named;
    }
}

}  // namespace
