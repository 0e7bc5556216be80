#pragma once
// The program's command line, read once on first use and kept for the life
// of the process; argument 0 is the program's path.

// An argument after the program's path equals the text exactly.
bool LCmdLineHasSwitch(const char16_t* text);
// The argument that follows the first argument equal to the switch (cut to
// 259 units); empty when the switch is missing or last.
void LCmdLineGetSwitchValue(const char16_t* name, char16_t out[260]);
