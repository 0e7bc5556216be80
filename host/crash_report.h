#pragma once
// Reporting a crash from the copy of the program that the crashed process
// starts ("-exe DebugCrashReport"), dumps of a live process through another
// copy ("-exe DebugSaveDumpFile"), the problem-report page and the upload.
// The maker's web host comes from the machine hive's "Maker" section
// ("WebHost"; its default, www.porlinex.invalid, reaches nobody); the dump
// upload goes to the same host, port 8081 unless the setting names a port.
#include <string>

#include "host/crash_record.h"
#include "toolkit/window_types.h"

// Where the dump and its text report of this process go: the data folder's
// "Crash" in the service, the user's application-data folder otherwise.
std::string LCrashDumpPath(bool service);
std::string LCrashReportPath(bool service);

// The reporting child's work for a crash record.
void LDebugCrashReportRun(const LCrashRecord& record);
// This process's dump, written by a child; true when it reported success.
bool LWriteMiniDumpOutOfProcess(const std::string& path);

// "osver=...&pgused=..." and "dump=...&memfrhp=...&memfrlg=...&" + that.
std::string LGetSystemInfoQueryA();
std::string LGetCrashDataQuery(const std::string& dump_name, uint32_t available_mb, uint32_t largest_free_mb);
// "YYYY-MM-DD-hh-mm-ss-NNNN.dmp" in UTC ("zero-" first for an empty dump).
std::string LCrashUploadName(bool empty);
// The problem-report page with the query.
std::string LCrashReportPageUrl(const std::string& query);

// At desktop start: a crash of the service, recorded under "Errors", is
// offered for a report once, by a user who can clear the record.
void LCheckServiceCrash(LHwnd parent);
