#pragma once
// How the suite launcher is used, kept in the user's section "SuiteUsage":
// openings with and without an owner window (oi, oe), seconds open (os),
// runs of installed programs (ar), installs started (ai), and one subkey of
// "Links" per distinct (program key, category, task text) with its count.
// Every change is one locked update of the user hive, so two launchers
// never lose each other's counts.
#include <cstdint>
#include <string>

#include "foundation/lstring.h"

// The hive key of the section.
extern const char16_t LSuiteUsageKey[];

// A counter of the section (0 when missing or not a number).
int64_t LReadSuiteCounter(const char16_t* name);
// oi with an owner window, oe without.
void LCountSuiteOpening(bool withOwner);
void LAddSuiteOpenSeconds(int64_t seconds);
// ar (installed) or ai, then the Links entry of the three texts: its lc
// grows by one, or the first free numbered subkey takes them with lc = 1.
void LCountSuiteUse(const std::u16string& key, const std::u16string& category, const std::u16string& task,
                    bool installed);

// "lk=..&lt=..&lf=..&lc=N&" of one random Links entry (category cut to two
// characters, task text without blanks cut to 12, all texts
// percent-encoded), then "dt=Ut&oi=N&oe=N&os=N&ai=N&ar=N".
void LSuiteUsageQuery(LString& out);
void LSuiteUsageQueryWith(LString& out, int random);
