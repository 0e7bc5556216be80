#pragma once
// The fake UPnP gateway and ping service (testdata/fake_gateway.py) run on
// loopback for the routing tests, stopped with the object.
#include <memory>
#include <string>
#include <vector>

#include "tests/support/test_root.h"

class LTestFakeGateway {
public:
    // Options as the script takes them, e.g. {"--services", "ppp"}.
    explicit LTestFakeGateway(const std::string& folder, const std::vector<std::string>& options = {});
    bool Ok() const { return ssdp_port > 0 && http_port > 0; }
    // "127.0.0.1:port" of its search side, for PORLINEX_SSDP_TARGET.
    std::string SsdpTarget() const { return "127.0.0.1:" + std::to_string(ssdp_port); }
    std::string HttpBase() const { return "http://127.0.0.1:" + std::to_string(http_port); }
    // One JSON line per search and HTTP request so far.
    std::vector<std::string> LogLines() const;
    // The lines that hold every one of the texts.
    size_t Count(const std::vector<std::string>& texts) const;

    int ssdp_port = 0;
    int http_port = 0;

private:
    std::string log_;
    std::unique_ptr<LTestProcess> process_;
};

// A fake program on a fresh PATH folder: it records its arguments, one run
// a line, in `record`, prints `output` and exits with `exit_code`.
void LTestWriteFakeProgram(const std::string& folder, const std::string& name, const std::string& record,
                           const std::string& output, int exit_code);
