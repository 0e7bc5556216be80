#pragma once
// A stand-in "xdg-open" first on PATH for the object's life: it records
// each address it is asked to open, one a line, instead of starting a
// browser.
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

class LTestBrowserStandIn {
public:
    explicit LTestBrowserStandIn(const std::string& folder) : record_(folder + "/opened") {
        std::filesystem::create_directories(folder);
        std::ofstream(folder + "/xdg-open") << "#!/bin/sh\necho \"$1\" >> '" << record_ << "'\n";
        chmod((folder + "/xdg-open").c_str(), 0755);
        const char* path = std::getenv("PATH");
        old_path_ = path ? path : "";
        setenv("PATH", (folder + ":" + old_path_).c_str(), 1);
    }
    ~LTestBrowserStandIn() { setenv("PATH", old_path_.c_str(), 1); }
    LTestBrowserStandIn(const LTestBrowserStandIn&) = delete;
    LTestBrowserStandIn& operator=(const LTestBrowserStandIn&) = delete;
    const std::string& Record() const { return record_; }

private:
    std::string record_;
    std::string old_path_;
};
