#include "web/server/tests/fake_gateway.h"

#include <sys/stat.h>

#include <algorithm>
#include <fstream>
#include <sstream>

LTestFakeGateway::LTestFakeGateway(const std::string& folder, const std::vector<std::string>& options) {
    log_ = folder + "/fake-gateway.log";
    std::string ready = folder + "/fake-gateway.ready";
    std::vector<std::string> argv = {"/usr/bin/python3",
                                     std::string(PORLINEX_SOURCE_DIR) + "/web/server/tests/testdata/fake_gateway.py",
                                     "--log", log_, "--ready", ready};
    argv.insert(argv.end(), options.begin(), options.end());
    process_ = std::make_unique<LTestProcess>(argv);
    if (LTestWaitFor(10000, [&] { return !LTestReadFile(ready).empty(); })) {
        std::istringstream in(LTestReadFile(ready));
        in >> ssdp_port >> http_port;
    }
}

std::vector<std::string> LTestFakeGateway::LogLines() const {
    std::vector<std::string> lines;
    std::istringstream in(LTestReadFile(log_));
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

size_t LTestFakeGateway::Count(const std::vector<std::string>& texts) const {
    std::vector<std::string> lines = LogLines();
    return static_cast<size_t>(std::count_if(lines.begin(), lines.end(), [&](const std::string& line) {
        return std::all_of(texts.begin(), texts.end(),
                           [&](const std::string& t) { return line.find(t) != std::string::npos; });
    }));
}

void LTestWriteFakeProgram(const std::string& folder, const std::string& name, const std::string& record,
                           const std::string& output, int exit_code) {
    std::string path = folder + "/" + name;
    std::ofstream(path) << "#!/bin/sh\necho \"$*\" >> '" << record << "'\nprintf '%s\\n' '" << output << "'\nexit "
                        << exit_code << "\n";
    chmod(path.c_str(), 0755);
}
