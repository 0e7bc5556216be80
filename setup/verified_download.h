#pragma once
// Downloads that are only kept when the maker signed them: the file and its
// detached signature (the same address with ".sig") go to temporary files
// in the target's own folder; the file is renamed over the target only when
// it is non-empty, within the size bound and its signature verifies.
#include <string>
#include <vector>

#include "foundation/task_progress.h"

// 0 kept under target, 1 stop requested, 2 failed (download, size or
// signature); on anything but 0 no file of it is left.
int LDownloadVerified(LTaskProgress& progress, const std::string& url, const std::string& target);

// Tries each address in order until one gives a verified file; a stop ends
// at once. The result is that of the last try.
int LDownloadVerifiedFromAny(LTaskProgress& progress, const std::vector<std::string>& urls,
                             const std::string& target);
