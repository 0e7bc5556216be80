// The web server as the service runs it: `porlinex -service` on ports from
// the WebServer settings, over HTTP and HTTPS, with the compressed copies
// of the web folder, answering curl and stopping cleanly.
#include <gtest/gtest.h>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

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

TEST(ServiceWebServer, BothListenersServeAndStop) {
    LTestRoot root;
    int port = LTestFreePort(), secure_port = LTestFreePort();
    std::filesystem::create_directories(root.Path() + "/etc/porlinex");
    std::ofstream(root.Path() + "/etc/porlinex/machine.reg")
        << "[Software\\Vek Software\\Porlinex\\WebServer]\nPort=" << port << "\nSecurePort=" << secure_port
        << "\nSecureEnabled=1\nPublicEnabled=0\n";
    std::string web = root.DataFolder() + "/Web";
    std::filesystem::create_directories(web);
    std::string page(4000, 'p');
    std::ofstream(web + "/index.html") << page;
    LTestProcess service({LTestProgramPath(), "-service", "-manual"}, {"PORLINEX_ROOT=" + root.Path()});
    std::string plain = "http://127.0.0.1:" + std::to_string(port);
    std::string secure = "https://localhost:" + std::to_string(secure_port);
    // A first start makes the local certificates before the listeners start.
    ASSERT_TRUE(LTestWaitFor(30000, [&] { return StatusLine(Curl({plain + "/"})) == "HTTP/1.1 301 Moved Permanently"; }));
    // The compression thread makes the copy at start.
    ASSERT_TRUE(LTestWaitFor(10000, [&] { return std::filesystem::exists(web + "/index.html.gz"); }));
    std::string gz = Curl({"-H", "Accept-Encoding: gzip", plain + "/index.html"});
    EXPECT_NE(gz.find("\r\nContent-Encoding: gzip\r\n"), std::string::npos);

    // The service made its own local root and server certificate at start.
    std::string ca = root.Path() + "/local-root.pem";
    LTestProcess pem({"openssl", "x509", "-inform", "DER", "-in", root.DataFolder() + "/Crypt/local-root-ca.cer", "-out", ca});
    ASSERT_EQ(pem.Wait(10000), 0);
    std::string r = Curl({"--cacert", ca, secure + "/index.html"});
    EXPECT_EQ(StatusLine(r), "HTTP/1.1 200 OK");
    EXPECT_NE(r.find(page), std::string::npos);
    r = Curl({"--cacert", ca, "-X", "DELETE", secure + "/index.html"});
    EXPECT_EQ(StatusLine(r), "HTTP/1.1 501 Not Implemented");

    EXPECT_EQ(service.Signal(SIGTERM, 15000), 0);
    std::string log;
    for (const auto& e : std::filesystem::directory_iterator(root.DataFolder() + "/Logs"))
        if (e.path().filename().string().find("Log.txt") != std::string::npos) log += LTestReadFile(e.path());
    EXPECT_NE(log.find("Stopping web server (Non-secure)"), std::string::npos);
    EXPECT_NE(log.find("Stopping web server (Secure)"), std::string::npos);
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
