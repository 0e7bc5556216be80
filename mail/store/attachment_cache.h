#pragma once
// Where the cached attachment files lie: "CachedAttachments" in the per-user
// data folder, one folder per message ID. Shared by the store writer and the
// clean-up at start.
#include <string>

// The cache folder with a trailing "/", made when missing; "" when it cannot
// be had.
std::string LEmailAttachmentCacheRoot();
// A message ID fit to name a folder: letters and digits only.
bool LEmailAttachmentCacheFolderName(const char16_t* message_id);
// The temporary name of an attachment's file until its message is committed:
// "<attachment ID>.tmp" beside the final file (final names hold a hyphen
// after the ID, temporary ones none).
std::string LEmailAttachmentTemporaryPath(const std::string& final_path, const char16_t* attachment_id);
constexpr const char* LEmailAttachmentTemporarySuffix = ".tmp";
