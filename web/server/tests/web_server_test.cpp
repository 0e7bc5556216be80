// The web server as the service runs it: `porlinex -service` on ports from
// the WebServer settings, over HTTP and HTTPS, with the compressed copies
// of the web folder, answering curl and stopping cleanly.
#include <gtest/gtest.h>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/test_root.h"

namespace {

std::string Curl(const std::vector<std::string>& args) {
    std::string out_path = std::filesystem::temp_directory_path().string() + "/porlinex-engine-curl-" +
                           std::to_string(getpid());
    std::vector<std::string> argv = {"curl", "-s", "-i", "--max-time", "10", "-o", out_path};
    argv.insert(argv.end(), args.begin(), args.end());
    LTestProcess curl(argv);
    curl.Wait(15000);
    std::string out = LTestReadFile(out_path);
    std::filesystem::remove(out_path);
    return out;
}

// Another program listening on a port of all addresses.
struct LTestWebPortHolder {
    int fd = -1;
    int port = 0;
    LTestWebPortHolder() {
        fd = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_ANY);
        socklen_t n = sizeof a;
        if (bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 && listen(fd, 1) == 0 &&
            getsockname(fd, reinterpret_cast<sockaddr*>(&a), &n) == 0)
            port = ntohs(a.sin_port);
    }
    ~LTestWebPortHolder() { close(fd); }
};

std::string StatusLine(const std::string& reply) { return reply.substr(0, reply.find("\r\n")); }

// A root whose settings turn both listeners on; the service makes its own
// local root and server certificate at its first start.
struct LTestHttpsRoot {
    LTestRoot root;
    int port = LTestFreePort();
    int secure_port = LTestFreePort();
    std::string web = root.DataFolder() + "/Web";

    LTestHttpsRoot() {
        std::filesystem::create_directories(root.Path() + "/etc/porlinex");
        std::ofstream(root.Path() + "/etc/porlinex/machine.reg")
            << "[Software\\Vek Software\\Porlinex\\WebServer]\nPort=" << port << "\nSecurePort=" << secure_port
            << "\nSecureEnabled=1\nPublicEnabled=0\n";
        std::filesystem::create_directories(web);
    }
    std::string Plain() const { return "http://127.0.0.1:" + std::to_string(port); }
    std::string Secure() const { return "https://localhost:" + std::to_string(secure_port); }
    // The service's local root as PEM for curl; empty until the service made it.
    std::string CaPath() const {
        std::string pem = root.Path() + "/local-root.pem";
        if (std::filesystem::exists(pem)) return pem;
        LTestProcess convert({"openssl", "x509", "-inform", "DER", "-in",
                              root.DataFolder() + "/Crypt/local-root-ca.cer", "-out", pem});
        return convert.Wait(10000) == 0 ? pem : std::string();
    }
};

TEST(ServiceWebServer, BothListenersServeAndStop) {
    LTestHttpsRoot https;
    LTestRoot& root = https.root;
    const std::string& web = https.web;
    std::string page(4000, 'p');
    // Not a file of the interface, which the service writes over at start.
    std::ofstream(web + "/served.html") << page;

    LTestProcess service({LTestProgramPath(), "-service", "-manual"}, {"PORLINEX_ROOT=" + root.Path()});
    std::string plain = https.Plain();
    std::string secure = https.Secure();
    // A first start makes the local certificates before the listeners start.
    ASSERT_TRUE(LTestWaitFor(30000, [&] { return StatusLine(Curl({plain + "/"})) == "HTTP/1.1 301 Moved Permanently"; }));
    // The compression thread makes the copy at start.
    ASSERT_TRUE(LTestWaitFor(10000, [&] { return std::filesystem::exists(web + "/served.html.gz"); }));
    std::string gz = Curl({"-H", "Accept-Encoding: gzip", plain + "/served.html"});
    EXPECT_NE(gz.find("\r\nContent-Encoding: gzip\r\n"), std::string::npos);

    std::string r = Curl({"--cacert", https.CaPath(), secure + "/served.html"});
    EXPECT_EQ(StatusLine(r), "HTTP/1.1 200 OK");
    EXPECT_NE(r.find(page), std::string::npos);
    r = Curl({"--cacert", https.CaPath(), "-X", "DELETE", secure + "/served.html"});
    EXPECT_EQ(StatusLine(r), "HTTP/1.1 501 Not Implemented");

    EXPECT_EQ(service.Signal(SIGTERM, 15000), 0);
    std::string log;
    for (const auto& e : std::filesystem::directory_iterator(root.DataFolder() + "/Logs"))
        if (e.path().filename().string().find("Log.txt") != std::string::npos) log += LTestReadFile(e.path());
    EXPECT_NE(log.find("Stopping web server (Non-secure)"), std::string::npos);
    EXPECT_NE(log.find("Stopping web server (Secure)"), std::string::npos);
}

// A client that drips its handshake, a byte now and then, does not keep the
// service from stopping.
TEST(ServiceWebServer, DrippingTlsClientDoesNotDelayAStop) {
    LTestHttpsRoot https;
    LTestProcess service({LTestProgramPath(), "-service", "-manual"}, {"PORLINEX_ROOT=" + https.root.Path()});
    ASSERT_TRUE(LTestWaitFor(30000, [&] {
        return StatusLine(Curl({"--cacert", https.CaPath(), https.Secure() + "/"})).find("HTTP/1.1") == 0;
    }));
    LTestProcess client({"/usr/bin/python3", PORLINEX_SOURCE_DIR "/tests/support/drip_client.py",
                         std::to_string(https.secure_port), "0.5"});
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));  // well inside the handshake
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(service.Signal(SIGTERM, 15000), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(8));
}

// A connect to 127.0.0.1:port with a time-out: 0 connected (the socket in
// fd), else the errno of the failure.
int ConnectWithin(int port, int& fd) {
    fd = socket(AF_INET, SOCK_STREAM, 0);
    timeval tv{2, 0};
    setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) return 0;
    int err = errno;
    close(fd);
    fd = -1;
    return err;
}

// Out of descriptors, the listener pauses; meanwhile new clients are turned
// away at once instead of waiting in a queue nobody takes from.
TEST(ServiceWebServer, ListenerOutOfDescriptorsRefusesNewClients) {
    LTestRoot root;
    int port = LTestFreePort();
    std::filesystem::create_directories(root.Path() + "/etc/porlinex");
    std::ofstream(root.Path() + "/etc/porlinex/machine.reg")
        << "[Software\\Vek Software\\Porlinex\\WebServer]\nPort=" << port << "\nPublicEnabled=0\n";
    LTestProcess service({"prlimit", "--nofile=40", LTestProgramPath(), "-service", "-manual"},
                         {"PORLINEX_ROOT=" + root.Path()});
    ASSERT_TRUE(LTestWaitFor(30000, [&] { return StatusLine(Curl({"http://127.0.0.1:" + std::to_string(port) + "/"})) != ""; }));
    std::vector<int> held;
    bool refused = false;
    // Idle connections hold a descriptor each until the accept fails. A
    // busy machine may let the service accept late, so the clients keep
    // coming for a while; only a refusal ends it.
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!refused && held.size() < 400 && std::chrono::steady_clock::now() < until) {
        int fd = -1;
        int err = ConnectWithin(port, fd);
        if (err == 0) held.push_back(fd);
        refused = err == ECONNREFUSED;
        if (!refused) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    EXPECT_TRUE(refused) << held.size() << " connections held";
    for (int fd : held) close(fd);
    EXPECT_EQ(service.Signal(SIGTERM, 10000), 0);
}

TEST(ServiceWebServer, PortInUseIsReported) {
    LTestRoot root;
    LTestWebPortHolder holder;
    ASSERT_GT(holder.port, 0);
    std::filesystem::create_directories(root.Path() + "/etc/porlinex");
    std::ofstream(root.Path() + "/etc/porlinex/machine.reg")
        << "[Software\\Vek Software\\Porlinex\\WebServer]\nPort=" << holder.port << "\nPublicEnabled=0\n";
    LTestProcess service({LTestProgramPath(), "-service", "-manual"}, {"PORLINEX_ROOT=" + root.Path()});
    std::string want = "Some other program may be using port " + std::to_string(holder.port) + ".";
    EXPECT_TRUE(LTestWaitFor(10000, [&] {
        std::error_code ec;
        for (const auto& e : std::filesystem::directory_iterator(root.DataFolder() + "/Logs", ec))
            if (LTestReadFile(e.path()).find(want) != std::string::npos) return true;
        return false;
    }));
    // A stop request is seen during the 30-second wait.
    EXPECT_EQ(service.Signal(SIGTERM, 10000), 0);
}

}  // namespace
