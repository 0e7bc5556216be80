#pragma once
// Node packages for tests: the packages pinned by tests/<name>/package-lock.json,
// installed with `npm ci` once per build folder (several test processes may
// ask at once, so under a lock), with the folder's .mjs scripts beside them.
#include <string>

// The folder in the build tree holding node_modules and the scripts; ""
// when the install failed. `marker` is a package whose package.json shows
// the install is there.
std::string LTestNpmFolder(const std::string& name, const std::string& marker);
