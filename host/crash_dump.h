#pragma once
// The dump of a process, written from outside by the reporting child: it
// attaches with ptrace (through libdw), walks every thread's stack and
// names the frames from the modules' symbols and debug information. Two
// files, both 0600: the dump (our own format: the crash record, the memory
// map, every thread's frames, the crashing thread's stack bytes and the
// modules' bases and build ids) and a text report.
#include <string>

#include "host/crash_record.h"

struct LCrashDumpResult {
    bool written = false;
    std::string module;     // file name of the module that holds the faulting address
    std::string report;     // the text report
    int error = 0;          // errno of a failure
};

// record may be null (a live process asking for its own dump).
LCrashDumpResult LCrashWriteDump(int pid, int tid, const LCrashRecord* record, const std::string& dump_path,
                                 const std::string& report_path);
