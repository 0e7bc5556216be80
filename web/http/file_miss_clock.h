#pragma once
// The times that decide how a missing static file is logged: when the
// program was first installed (Settings\InstallDateFirst) and when the last
// file was missing (Settings\LastWebletErrorFileNotFound). Any client can
// ask for missing files, so a miss must not rewrite the settings file: the
// last miss is kept in memory and stored at most once a minute, and when
// the web server stops.
#include <cstdint>

struct LWebFileMissTimes {
    int64_t installed = 0;     // seconds since 1970; 0 when not recorded
    int64_t previous_miss = 0;  // the miss before this one; 0 when none
};

// Records a miss at `now` and returns the times it is judged by.
LWebFileMissTimes LWebRecordFileMiss(int64_t now);
// Stores the last miss when it has not been stored yet.
void LWebStoreFileMissTime();
