#pragma once
// A systemctl that records its arguments (one call per line) and answers
// with the exit code in its "answer" file, first on PATH for the object's
// life, in place of a user manager (none runs on a build machine).
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "tests/support/test_root.h"

class LTestFakeSystemctl {
public:
    explicit LTestFakeSystemctl(const std::string& folder) : folder_(folder) {
        std::filesystem::create_directories(folder);
        std::ofstream(folder + "/systemctl") << "#!/bin/sh\necho \"$*\" >> \"" << folder
                                             << "/calls\"\nexit $(cat \"" << folder << "/answer\")\n";
        chmod((folder + "/systemctl").c_str(), 0755);
        Answer(0);
        old_path_ = std::getenv("PATH");
        setenv("PATH", (folder + ":" + old_path_).c_str(), 1);
    }
    ~LTestFakeSystemctl() { setenv("PATH", old_path_.c_str(), 1); }
    LTestFakeSystemctl(const LTestFakeSystemctl&) = delete;
    LTestFakeSystemctl& operator=(const LTestFakeSystemctl&) = delete;
    void Answer(int code) { std::ofstream(folder_ + "/answer") << code << "\n"; }
    std::string Calls() const { return LTestReadFile(folder_ + "/calls"); }

private:
    std::string folder_, old_path_;
};
