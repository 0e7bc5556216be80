#include "tests/support/test_accessible.h"

#include <chrono>
#include <regex>
#include <thread>

#include "tests/support/test_display.h"
#include "tests/support/test_root.h"

bool LTestClickAccessible(const std::string& app, const std::string& name, int timeout_ms, std::string* tree) {
    std::regex control("\\{\"role\": \"[^\"]*\", \"name\": \"" + name +
                       "\", \"x\": (-?\\d+), \"y\": (-?\\d+), \"width\": (\\d+), \"height\": (\\d+)\\}");
    std::smatch m;
    std::string seen;
    bool found = LTestWaitFor(timeout_ms, [&] {
        seen = LTestRunCapture(
            {"/usr/bin/python3", std::string(PORLINEX_TEST_SOURCE_DIR) + "/toolkit/tests/testdata/atspi_tree.py", app},
            20000);
        if (std::regex_search(seen, m, control)) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        return false;
    });
    if (tree) *tree = seen;
    if (!found) return false;
    int x = std::stoi(m[1]) + std::stoi(m[3]) / 2, y = std::stoi(m[2]) + std::stoi(m[4]) / 2;
    LTestRunCapture({"xdotool", "mousemove", "--sync", std::to_string(x), std::to_string(y), "click", "1"}, 10000);
    return true;
}

bool LTestWindowShown(const std::string& title) {
    return !LTestRunCapture({"xdotool", "search", "--onlyvisible", "--name", "^" + title + "$"}, 5000).empty();
}
