#pragma once
// Components fetched from the maker's component hosts when first needed:
// the maker-signed setup program "<name>.exe" is downloaded, run as this
// user, and given ten seconds to register the component's Path.
#include <string>

#include "foundation/task_progress.h"

// "http://<host>/components/<file>".
std::string LComponentUrl(const std::string& host, const std::string& file);

// 0 installed, 1 stopped, 2 failed (a name that is not a plain file name,
// no verified download from either component host, or no Path within ten
// seconds of the start). Nothing is elevated here: elevate is accepted
// for the callers' sake and the setup program runs as this user.
int LRunOnDemandComponent(LTaskProgress& progress, const char16_t* name, bool elevate, const char* by,
                          const char16_t* display, bool quiet);
