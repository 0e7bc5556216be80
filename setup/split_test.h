#pragma once
// Split tests: each installation is given one variant of a test at random
// the first time it is asked about, kept in the machine's Software\SVar as
// a plain run of variant codes. Four-character codes are stored as the
// code (on) or with the fourth character raised by 12 (off); longer codes
// as the code followed by "on" or "off".
#include <cstdint>
#include <string>

bool LSplitTestIsOn(const char* code);
bool LSplitTestPick(const char* on_code, const char* off_code);
std::string LReadSplitTestList();
bool LSplitTestFind(const std::string& code, const std::string& list, bool& on);
bool LSplitTestDecide(const std::string& code, const std::string& list);

// The random pool, for tests: the next bit, and how many bits were drawn
// since the last refill.
int LSplitTestDrawBit();
int LSplitTestDrawCount();
// Mixes the time, a tick, the computer name and three 15-bit numbers into
// a 31-bit pool.
int32_t LSplitTestMix(int32_t seconds, uint32_t tick, const std::string& computer, int r1, int r2, int r3);
