#pragma once
// This test program run again as a crashing process (the test
// CrashChild.Crash) whose crash the real program reports from outside.
// Kinds: "null" (a null write three calls deep), "stop-null" (the same,
// stopped with SIGSTOP in the innermost call until continued), "divide",
// "abort", "recurse".
#include <memory>
#include <string>

#include "tests/support/test_root.h"

std::unique_ptr<LTestProcess> LStartCrashFixture(const std::string& kind, bool service);
// The fixture functions' names, innermost first, as the report shows them.
constexpr const char* LCrashFixtureFrames[] = {"FixtureWrite", "FixtureMiddle", "FixtureOuter"};
