#pragma once
// The entry point's work: prepares the process, hands over to the stdio
// relay when asked, runs the first matching switch of the table, or falls
// through to the desktop start. Returns the process exit code.
int LHostMain(int argc, char** argv);
