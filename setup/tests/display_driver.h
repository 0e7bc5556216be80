#pragma once
// Driving the real program on the test display: windows found by title
// with xdotool, items found by their accessibility role and name, buttons
// clicked in their middle.
#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "tests/support/test_display.h"
#include "tests/support/test_root.h"

// The showing items of the program's windows, as JSON.
inline std::string LTestAccessibleTree() {
    return LTestRunCapture({"/usr/bin/python3",
                            std::string(PORLINEX_SOURCE_DIR) + "/toolkit/tests/testdata/atspi_tree.py", "porlinex"},
                           20000);
}

// The first visible window whose title matches name; empty after 20 s.
inline std::string LTestFindWindow(const std::string& name) {
    std::string id;
    LTestWaitFor(20000, [&] {
        id = LTestRunCapture({"xdotool", "search", "--onlyvisible", "--name", name}, 5000);
        return !id.empty();
    });
    return id.substr(0, id.find('\n'));
}

// Waits up to 20 s for the program's item with this role and name (a
// regular expression) and gives its middle.
inline bool LTestFindItem(const std::string& role, const std::string& name, int& x, int& y) {
    std::regex item("\\{\"role\": \"" + role + "\", \"name\": \"" + name +
                    "\", \"x\": (-?\\d+), \"y\": (-?\\d+), \"width\": (\\d+), \"height\": (\\d+)\\}");
    std::smatch m;
    std::string tree;
    bool found = LTestWaitFor(20000, [&] {
        tree = LTestAccessibleTree();
        return std::regex_search(tree, m, item);
    });
    EXPECT_TRUE(found) << name << "\n" << tree;
    if (!found) return false;
    x = std::stoi(m[1]) + std::stoi(m[3]) / 2;
    y = std::stoi(m[2]) + std::stoi(m[4]) / 2;
    return true;
}

// Clicks the middle of the program's item with this role and name (a
// regular expression).
inline void LTestClickItem(const std::string& role, const std::string& name) {
    int x = 0, y = 0;
    if (LTestFindItem(role, name, x, y))
        LTestRunCapture({"xdotool", "mousemove", "--sync", std::to_string(x), std::to_string(y), "click", "1"}, 10000);
}
