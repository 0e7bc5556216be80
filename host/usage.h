#pragma once
// The text `porlinex --help` and `porlinex -h` print: the switches and what
// their exit codes mean.
extern const char LUsageText[];
