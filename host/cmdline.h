#pragma once
// The entry point's argument vector, kept for the process's life. The
// "continue" switches of the entry point shift it: argv[1] goes, the rest
// move down by one. (Switches looked for anywhere on the command line use
// LCmdLineHasSwitch of the foundation.)
#include <string>

void LCmdLineInit(int argc, char** argv);
int LCmdLineCount();
// The argument at i, or "" past the end.
const std::string& LCmdLineArg(int i);
void LCmdLineShift();
