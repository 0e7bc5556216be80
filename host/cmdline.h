#pragma once
// The process's argument vector, kept for its whole life. Switches compare
// exactly and case-sensitively. The "continue" switches of the entry point
// shift the vector: argv[1] goes, the rest move down by one.
#include <string>
#include <vector>

void LCmdLineInit(int argc, char** argv);
int LCmdLineCount();
// The argument at i, or "" past the end.
const std::string& LCmdLineArg(int i);
void LCmdLineShift();
// True when an argument after the program name equals text exactly.
bool LCmdLineHasSwitch(const char* text);
// The argument after the switch (at most 259 bytes); "" when the switch is
// absent or last.
std::string LCmdLineGetSwitchValue(const char* name);
