#pragma once
// Serving files of the web folder: caching validators and 304, single byte
// ranges (206, 416), the download disposition for types outside the table,
// and the pre-compressed ".gz" copy for browsers that accept gzip. Only
// regular files below the web folder are ever opened: the path is resolved
// beneath the folder, so neither ".." nor a symbolic link can leave it.
#include <string>

class Weblet;

enum class LWebFileResult {
    Sent,        // 200, 206, 304 or 416 went out
    NotFound,    // nothing to serve (missing, or not a regular file)
    IsFolder,    // the path names a folder
    SendFailed,  // the reply broke off
};

// Serves `relative` (UTF-8, no leading "/") below `web_folder`.
LWebFileResult LWebletSendFile(Weblet& request, const std::string& web_folder, const std::string& relative);
// True when `relative` names a regular file below the folder.
bool LWebFileExists(const std::string& web_folder, const std::string& relative);
