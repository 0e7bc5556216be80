#pragma once
// What the program asks about the operating system. This is Linux: the
// Windows version questions answer as a current Windows 10 or later would,
// the program never runs under Wine, and facilities Linux lacks answer
// "not available" so that the callers' fallbacks run.
#include <ctime>

// True for any version up to 10.0.
bool LIsWindowsVersionAtLeast(int major, int minor);
bool LIsXPSP3OrLater();
// The release number (2409 for "24H2"): the machine hive's DisplayVersion
// "YYH1"/"YYH2" (YY04/YY09) or ReleaseId under
// "SOFTWARE\Microsoft\Windows NT\CurrentVersion" when set there, else that
// of a current release.
int LGetWindows10Release();
// Local midnight of the first day of the release month.
time_t LGetOSReleaseDate();
// No product type: 0.
unsigned LGetWindowsProductType();
bool LIsRunningUnderWine();
// The CPU reports a known hypervisor that is not the Hyper-V root partition.
bool LIsVirtualMachineByCpuid();
// The board names Microsoft's virtual machine.
bool LIsVirtualMachineByBios();
// The release number of a DisplayVersion text ("22H2" -> 2209); 0 when it
// is not of that form.
int LWindowsReleaseFromDisplayVersion(const char16_t* text);
