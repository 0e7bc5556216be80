#include "setup/temp_folder.h"

#include <stdlib.h>

#include "platform/root.h"
#include "setup/remove_tree.h"

LSetupTempFolder::LSetupTempFolder() {
    std::string temp = LPlatformKnownFolder(LKnownFolder::Temp);
    LPlatformCreateFolderTree(temp, 0700);
    std::string pattern = temp + "/porlinex-setup.XXXXXX";
    if (mkdtemp(pattern.data())) path_ = pattern;
}

LSetupTempFolder::~LSetupTempFolder() {
    if (!path_.empty()) LRemoveTreeNoFollow(path_);
}
