#pragma once
// The web server in-process for black-box tests: a fresh root with a web
// folder, the session table, a plain (and optionally TLS) listener on free
// ports, and curl run against it.
#include <memory>
#include <string>
#include <vector>

#include "tests/support/test_root.h"
#include "web/http/listener.h"

struct LTestCurlResult {
    int exit_code = -1;
    std::string output;  // headers and body (curl -i), or what -o wrote
};

// Runs argv with its standard output and error in a file; returns both.
LTestCurlResult LTestRunCaptured(const std::vector<std::string>& argv, int timeout_ms = 20000);

class LTestWebServer {
public:
    LTestWebServer();
    ~LTestWebServer();
    // Starts the plain listener (and the TLS one when secure).
    bool Start(bool secure = false);
    std::string WebFolder() const;
    void WriteWebFile(const std::string& relative, const std::string& bytes);
    std::string Url(const std::string& path, bool secure = false) const;
    // curl -s -i with the extra arguments, from the source address.
    LTestCurlResult Curl(const std::vector<std::string>& args, const std::string& path, bool secure = false);
    // A session row as the start route makes it; returns its ID.
    std::string MakeSession();
    // Sends raw bytes on a new connection (then ends the sending side when
    // half_close) and reads until the server closes (or timeout_ms).
    std::string Raw(const std::string& request, int timeout_ms = 10000, const char* source = nullptr,
                    bool half_close = false);

    LTestRoot root;
    // Every test uses its own source address so that the per-IP limits of
    // one test do not reach into another.
    std::string source;
    std::string ca_path;
    int port = 0;
    int secure_port = 0;
    std::unique_ptr<LTCPListener> plain;
    std::unique_ptr<LCryptoTCPListener> tls;
};

// A TCP connection from a loopback source address to 127.0.0.1:port; -1
// when it fails.
int LTestConnectFrom(int port, const char* from);

// The first IPv4 address of this machine outside 127.0.0.0/8; empty when
// it has none.
std::string LTestOwnNonLoopbackAddress();
