#pragma once
// Path and file-name rules. Paths are UTF-16 texts of at most 259 units in
// 260-unit fields; longer results are cut. Folders are joined with "/".
#include <cstddef>

// folder (at most 258 units), "/" unless the folder is empty or already ends
// in "/" or "\", then name and suffix, cut to fit.
char16_t* LPathCombine(char16_t out[260], const char16_t* folder, const char16_t* name, const char16_t* suffix);
// The text from the last "." after the last separator, dot included; empty
// when there is none.
void LGetFileExtension(char16_t out[260], const char16_t* path);
// Copies the name cut at its last "."; returns the dot's index, 0 when there
// is none (a name starting with "." is not cut).
size_t LFileNameStripExtension(char16_t out[260], const char16_t* name);
// The path of file relative to folder ("../" steps where needed, no leading
// "./"); false and empty when either is not absolute or the result is too long.
bool LMakeRelativePath(char16_t out[260], const char16_t* folder, const char16_t* file);
// The MIME type of an extension such as ".pdf" (any case);
// "application/octet-stream" for anything unknown.
const char16_t* LGetMimeTypeFromExtension(const char16_t* extension);

// "aux", "con", "nul", "prn", "com1".."com9", "lpt1".."lpt9" before the first
// ".", in any case: names other systems cannot store.
bool LIsReservedDeviceName(const char16_t* name);
// 0 valid; 2 longer than 259; 3 ends in a blank or "."; 5 a control
// character; 6 one of :*?"<>|\/ ; 7 a reserved device name.
int LCheckFileName(const char16_t* name);
// An absolute path ("/" alone included) of fewer than 260 units whose every
// component is a valid file name.
bool LIsValidPath(const char16_t* path);
// The name without control characters and :*?"<>|\/ and without trailing
// blanks and dots; false (and empty) when nothing is left or the result is
// a reserved device name.
bool LMakeValidFileName(const char16_t* name, char16_t out[260]);
