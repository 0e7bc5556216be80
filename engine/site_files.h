#pragma once
// The browser interface's files (pages, scripts, styles, pictures) are
// built into the program, so that a service started from the build or from
// an installed copy always serves the interface it was made with. Each
// start puts them into the web folder.
#include <cstddef>
#include <span>
#include <string>

struct LWebSiteFile {
    const char* name;
    const unsigned char* bytes;
    size_t size;
};

// Every file of the site as the program carries it, by name.
std::span<const LWebSiteFile> LWebSiteFilesBuiltIn();

// Gives the folder every built-in file that is missing there or whose
// content differs, each written whole through a temporary file, and removes
// the replaced file's ".gz" copy so that no old text is served before the
// copies are made again. Files of other names are left alone. A file that
// cannot be written is logged with its path and the system's reason; the
// others are still written. True when every file is in place.
bool LWebSiteFilesInstall(const std::string& folder);
