#pragma once
// How often the user chose each menu command: a table of {command id,
// count} in memory, loadable from "PorlinexCounts.txt" in the user's
// temporary folder (a 32-bit count n, then n pairs of 32-bit values,
// little-endian; at most 256 are read). Only the window's thread uses it.
#include <cstdint>
#include <string>
#include <vector>

struct LCommandCount {
    uint32_t id = 0;
    uint32_t count = 0;
};

void LCountCommandUse(uint32_t id);
std::string LGetCommandCountsPath();
void LLoadCommandCounts();
// The table as it stands (free slots have id 0).
const std::vector<LCommandCount>& LCommandCounts();
void LDeleteCommandCounts();
