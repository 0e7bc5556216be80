#pragma once
// Crash handling of the program's processes: the fatal signals run on an
// alternate stack, fill a prepared record and start a copy of the program
// ("-exe DebugCrashReport") that reports the crash from outside; the
// process then ends with exit code 1. Pure virtual calls and
// std::terminate take the path of an abnormal termination.

// Installs the handlers; prepares the reporter's argument vector. Once per
// process, at start. The reporter is this program unless another is named
// (tests crash a process of their own).
void LCrashHandlerInstall(const char* reporter = nullptr);
// The program that writes dumps and reports crashes of this process, as
// installed; null before LCrashHandlerInstall (then: this program).
const char* LCrashReporterProgram();
// In a reporting child: a crash there only ends it (exit code 1).
void LCrashHandlerInstallForChild();
// True once a crash is being handled in this process.
bool LCrashInProgress();
void LPureVirtualCallHandler();
