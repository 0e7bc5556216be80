#include "web/http/tests/http_harness.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <ifaddrs.h>
#include <netinet/in.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "foundation/database.h"
#include "foundation/primary_key.h"
#include "tests/support/tls_peer.h"

extern char** environ;

namespace {

std::atomic<int> g_next_source{1};

}  // namespace

LTestCurlResult LTestRunCaptured(const std::vector<std::string>& argv, int timeout_ms) {
    LTestCurlResult r;
    char path[] = "/tmp/porlinex-curl-XXXXXX";
    int fd = mkstemp(path);
    if (fd < 0) return r;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fd, 1);
    posix_spawn_file_actions_adddup2(&actions, fd, 2);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ) == 0) {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
        int status = 0;
        for (;;) {
            pid_t w = waitpid(pid, &status, WNOHANG);
            if (w == pid) {
                r.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
                break;
            }
            if (std::chrono::steady_clock::now() > deadline) {
                kill(pid, SIGKILL);
                waitpid(pid, &status, 0);
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }
    posix_spawn_file_actions_destroy(&actions);
    close(fd);
    r.output = LTestReadFile(path);
    unlink(path);
    return r;
}

LTestWebServer::LTestWebServer() {
    int n = g_next_source++;
    source = "127.0." + std::to_string(n / 250 + 1) + "." + std::to_string(n % 250 + 1);
    LAppDatabaseAccount db(false);
    db.Exec(u"CREATE TABLE main.SESSION_DATA(ID CHAR(40) PRIMARY KEY NOT NULL, USER_EMAIL VARCHAR(260), ACCOUNT_NAME "
            u"VARCHAR(20), LAST_ACTIVE VARCHAR(14));");
    db.CreateRegisteredTables();
}

LTestWebServer::~LTestWebServer() {
    if (tls) tls->StopWithConnections();
    if (plain) plain->StopWithConnections();
}

std::string LTestWebServer::WebFolder() const { return root.DataFolder() + "/Web"; }

void LTestWebServer::WriteWebFile(const std::string& relative, const std::string& bytes) {
    std::filesystem::path p = WebFolder() + "/" + relative;
    std::filesystem::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary) << bytes;
}

bool LTestWebServer::Start(bool secure) {
    plain = std::make_unique<LTCPListener>();
    port = LTestFreePort();
    plain->port = static_cast<uint16_t>(port);
    plain->Start(0);
    if (secure) {
        LTestCertificateAuthority ca(root.Path());
        LTestIssuedCertificate leaf = ca.Issue("server");
        ca_path = ca.CaPath();
        std::filesystem::create_directories(root.DataFolder() + "/Crypt");
        std::filesystem::copy_file(leaf.p12_path, root.DataFolder() + "/Crypt/certificate.p12",
                                   std::filesystem::copy_options::overwrite_existing);
        tls = std::make_unique<LCryptoTCPListener>();
        secure_port = LTestFreePort();
        tls->port = static_cast<uint16_t>(secure_port);
        tls->Start(0);
    }
    return LTestWaitFor(5000, [&] { return plain->IsListening() && (!tls || tls->IsListening()); });
}

std::string LTestWebServer::Url(const std::string& path, bool secure) const {
    return secure ? "https://localhost:" + std::to_string(secure_port) + path
                  : "http://127.0.0.1:" + std::to_string(port) + path;
}

LTestCurlResult LTestWebServer::Curl(const std::vector<std::string>& args, const std::string& path, bool secure) {
    std::vector<std::string> argv = {"curl", "-s", "-i", "--max-time", "15", "--interface", source};
    if (secure) {
        argv.push_back("--cacert");
        argv.push_back(ca_path);
    }
    argv.insert(argv.end(), args.begin(), args.end());
    argv.push_back(Url(path, secure));
    return LTestRunCaptured(argv);
}

std::string LTestWebServer::MakeSession() {
    LAppDatabaseAccount db(false);
    char16_t id[19];
    LAppDatabaseAccount::CreateSessionID(db, id);
    db.ExecF(u"INSERT INTO main.SESSION_DATA VALUES ('%s', 'local', 'main', '2099-01-01');", id);
    return LToUtf8(id);
}

std::string LTestWebServer::Raw(const std::string& request, int timeout_ms, const char* from, bool half_close) {
    int fd = LTestConnectFrom(port, from ? from : source.c_str());
    std::string out;
    if (fd >= 0) {
        send(fd, request.data(), request.size(), MSG_NOSIGNAL);
        if (half_close) shutdown(fd, SHUT_WR);
        timeval tv{timeout_ms / 1000, (timeout_ms % 1000) * 1000};
        setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
        char buf[4096];
        for (;;) {
            ssize_t n = recv(fd, buf, sizeof buf, 0);
            if (n <= 0) break;
            out.append(buf, static_cast<size_t>(n));
        }
    }
    if (fd >= 0) close(fd);
    return out;
}

int LTestConnectFrom(int port, const char* from) {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    inet_pton(AF_INET, from, &local.sin_addr);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0 ||
        connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

std::string LTestOwnNonLoopbackAddress() {
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0) return "";
    std::string found;
    for (ifaddrs* a = list; a && found.empty(); a = a->ifa_next) {
        if (!a->ifa_addr || a->ifa_addr->sa_family != AF_INET) continue;
        auto* in = reinterpret_cast<sockaddr_in*>(a->ifa_addr);
        if ((ntohl(in->sin_addr.s_addr) >> 24) == 127) continue;
        char text[INET_ADDRSTRLEN];
        inet_ntop(AF_INET, &in->sin_addr, text, sizeof text);
        found = text;
    }
    freeifaddrs(list);
    return found;
}
