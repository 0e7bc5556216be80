#pragma once
// The installer's data file: the contents of the packaged files one after
// the other, then a trailer of one little-endian 32-bit size per table row
// and a 32-bit additive checksum of every content byte. The whole file is
// checked before anything is written, and each file is written to a
// temporary name and renamed only when every byte it holds was checked
// again on the way, so a damaged or truncated file installs nothing.
#include <cstdint>
#include <string>

#include "foundation/task_progress.h"

// Where a packaged file goes.
enum class LPackagedTarget { InstallFolder, DataFolder, DataSubfolder };

struct LPackagedFile {
    LPackagedTarget target;
    const char* subfolder;  // for DataSubfolder
    const char* name;       // may hold "/" separated subfolders
};

// The table, in data-file order.
const LPackagedFile* LPackagedFiles();
constexpr int LPackagedFileCount = 22;
// The largest data file accepted: the program's own files are a few MiB.
constexpr uint64_t LInstallDataMaxSize = 1ull << 30;

// Worker statuses.
constexpr int LInstallStatusDone = 0;
constexpr int LInstallStatusRunning = 1;
constexpr int LInstallStatusNoData = 5;
constexpr int LInstallStatusNoFolder = 6;
constexpr int LInstallStatusWriteFailed = 7;
constexpr int LInstallStatusCorrupt = 8;

// The folders the rows go to; a data subfolder is `data_folder`/name.
struct LInstallTargets {
    std::string install_folder;
    std::string data_folder;
};

// Checks the data file (sizes against its length, then the checksum) and
// unpacks every row of non-zero size. Returns a status: done, no data (the
// file cannot be opened), corrupt (nothing was written), write failed, or
// running when a stop request ended the work (nothing half-written is left).
// `files` is the table (the program's own by default).
int LUnpackInstallData(const std::string& data_path, const LInstallTargets& targets, LTaskProgress* progress,
                       const LPackagedFile* files = LPackagedFiles(), int count = LPackagedFileCount);
