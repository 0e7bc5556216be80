#pragma once
// The published version of Porlinex, from the small version file on the
// maker's download host, and the newest version known to this user.
#include <functional>

#include "foundation/task_progress.h"

constexpr double LProgramVersion = 2.01;

struct LVersionInfo {
    double version = 0;
    char16_t info[260] = {0};
    char16_t download[260] = {0};
};

// Reads "version=", then "info=", then "download=" (each searched after the
// previous one, each value up to "&", cut to 259 bytes); 0 or 2 when a key
// is missing or empty. The number is read the same in every locale.
int LParseVersionInfo(const char* text, LVersionInfo& out);

// Fetches "/versions/porlinex.txt" from the maker's download host: 0 ok,
// 1 stop requested, 2 no version data, else the fetch's failure.
int LFetchVersionInfo(LTaskProgress& progress, LVersionInfo& out);

// The newest known version: a stored NewerVersion above this program's
// version answers without the network; otherwise fetch runs (0, 1, 2 as
// LFetchVersionInfo) and its version is stored.
int LGetNewerVersionWith(const std::function<int(LVersionInfo&)>& fetch, double& version);
// The same, fetching under the caller's progress (no window).
int LGetNewerVersion(LTaskProgress& progress, double& version);
