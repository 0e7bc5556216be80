#include "tests/support/open_recorder.h"

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "tests/support/test_root.h"
#include "tests/support/tls_peer.h"

LTestOpenRecorder::LTestOpenRecorder(const std::string& folder) : folder_(folder) {
    std::filesystem::create_directories(folder + "/bin");
    // Written whole, then renamed: a reader never sees half an address.
    std::ofstream(folder + "/bin/xdg-open") << "#!/bin/sh\nprintf '%s' \"$1\" > '" << folder << "/opened.tmp'\nmv '"
                                            << folder << "/opened.tmp' '" << folder << "/opened'\n";
    chmod((folder + "/bin/xdg-open").c_str(), 0755);
    const char* old = std::getenv("PATH");
    path_ = std::make_unique<LTestScopedEnv>("PATH", folder + "/bin:" + (old ? old : "/usr/bin:/bin"));
}

LTestOpenRecorder::~LTestOpenRecorder() = default;

std::string LTestOpenRecorder::Opened() const { return LTestReadFile(folder_ + "/opened"); }
