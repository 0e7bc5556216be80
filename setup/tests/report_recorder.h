#pragma once
// The maker's report host as tests see it: a recording HTTP peer on a free
// loopback port, named as the "ReportHost".
#include <filesystem>
#include <fstream>
#include <string>

#include "foundation/reg_settings.h"
#include "tests/support/http_peer.h"

class LTestReportRecorder : public LTestHttpPeer {
public:
    explicit LTestReportRecorder(const std::string& folder)
        : LTestHttpPeer(folder, {"--mode", "record", "--reply", WriteReply(folder)}) {
        std::string host = "127.0.0.1:" + std::to_string(Port());
        LRegSettingsSet(u"Maker", u"ReportHost", LFromUtf8(host).c_str());
    }

private:
    static std::string WriteReply(const std::string& folder) {
        std::filesystem::create_directories(folder);
        std::ofstream(folder + "/reply", std::ios::binary) << "HTTP/1.0 200 OK\r\nContent-Length: 0\r\n\r\n";
        return folder + "/reply";
    }
};
