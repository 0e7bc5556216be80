#pragma once
// Folder trees: creating with parents, sizes, and recursive deletion that
// never follows a symbolic link out of the tree.
#include <cstdint>

// Sum of the sizes of all files in the folder and its sub-folders; 0 for an
// empty path.
uint64_t LGetFolderSize(const char16_t* folder);
// Creates the folder after its missing parents; true only when the folder
// itself was created now (false when it already existed).
bool LCreateDirectoryTree(const char16_t* path);
// Deletes the files and sub-folders, then the folder; the result is that of
// removing the folder. Symbolic links are deleted as entries.
bool LDeleteFolderTree(const char16_t* path);
// The same with the retry budget for every file and folder; a missing
// folder ends the retries at once with false.
bool LDeleteFolderTreeRetry(const char16_t* path, uint32_t budget_ms);
// As LDeleteFolderTree, but folders without write rights for their owner
// are opened up first so that their entries can go.
bool LDeleteFolderTreeForce(const char16_t* path);
// Deletes the files directly in the folder, then the folder itself.
bool LDeleteFolderFiles(const char16_t* path);
