#pragma once
// A fresh private folder under the temporary folder for one download,
// removed with everything in it when the object goes (a predictable
// shared name could be planted in advance).
#include <string>

class LSetupTempFolder {
public:
    LSetupTempFolder();
    ~LSetupTempFolder();
    LSetupTempFolder(const LSetupTempFolder&) = delete;
    LSetupTempFolder& operator=(const LSetupTempFolder&) = delete;
    // Empty when the folder could not be made.
    const std::string& Path() const { return path_; }

private:
    std::string path_;
};
