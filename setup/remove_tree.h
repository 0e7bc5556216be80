#pragma once
// Deleting a folder tree without ever following a symbolic link: every
// folder is opened relative to its parent with O_NOFOLLOW, and a link is
// removed as the entry it is, so a link planted inside the install or data
// folder cannot turn the deletion onto another folder.
#include <string>

// True when nothing is left at path (also when nothing was there).
bool LRemoveTreeNoFollow(const std::string& path);
