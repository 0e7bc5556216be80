#pragma once
// Drives the real program's windows on the test display: an item is found
// by its accessibility role and name, then clicked in its middle.
#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "tests/support/test_display.h"
#include "tests/support/test_root.h"

// The showing items of the program's windows, as JSON.
inline std::string LTestAccessibleTree() {
    return LTestRunCapture({"/usr/bin/python3",
                            std::string(PORLINEX_SOURCE_DIR) + "/desktop/toolkit/tests/testdata/atspi_tree.py", "porlinex"},
                           20000);
}

inline void LTestClickItem(const std::string& role, const std::string& name) {
    const std::string literal = std::regex_replace(name, std::regex(R"([.^$|()\[\]{}*+?\\])"), R"(\$&)");
    std::regex item("\\{\"role\": \"" + role + "\", \"name\": \"" + literal +
                    "\", \"x\": (-?\\d+), \"y\": (-?\\d+), \"width\": (\\d+), \"height\": (\\d+)\\}");
    std::smatch m;
    std::string tree;
    ASSERT_TRUE(LTestWaitFor(20000, [&] {
        tree = LTestAccessibleTree();
        return std::regex_search(tree, m, item);
    })) << name << "\n" << tree;
    int x = std::stoi(m[1]) + std::stoi(m[3]) / 2, y = std::stoi(m[2]) + std::stoi(m[4]) / 2;
    LTestRunCapture({"xdotool", "mousemove", "--sync", std::to_string(x), std::to_string(y), "click", "1"}, 10000);
}
