// A real Dovecot for tests (see dovecot_server.h).
#include "tests/support/dovecot_server.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "tests/support/test_root.h"

extern char** environ;

namespace {

bool WriteFile(const std::string& path, const std::string& data) {
    std::ofstream f(path, std::ios::binary);
    f << data;
    return bool(f);
}

bool PortAnswers(int port) {
    int s = socket(AF_INET, SOCK_STREAM, 0);
    if (s < 0) return false;
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(uint16_t(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bool ok = connect(s, reinterpret_cast<sockaddr*>(&a), sizeof(a)) == 0;
    close(s);
    return ok;
}

}  // namespace

LTestDovecot::~LTestDovecot() { Stop(); }

std::string LTestDovecot::Server() const { return "127.0.0.1:" + std::to_string(imaps_port_); }

bool LTestDovecot::RunCapture(const std::vector<std::string>& argv, const std::string* input, std::string* output) {
    std::string in = folder_ + "/.stdin", out = folder_ + "/.stdout";
    if (input && !WriteFile(in, *input)) return false;
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 0, input ? in.c_str() : "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&fa, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&fa, 2, (folder_ + "/.stderr").c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    pid_t pid = -1;
    int rc = posix_spawnp(&pid, args[0], &fa, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&fa);
    if (rc != 0) return false;
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (output) *output = LTestReadFile(out);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

bool LTestDovecot::Start(const LTestDovecotOptions& options) {
    char tmpl[] = "/tmp/porlinex-dovecot-XXXXXX";
    if (!mkdtemp(tmpl)) {
        error_ = "mkdtemp failed";
        return false;
    }
    folder_ = tmpl;
    conf_ = folder_ + "/dovecot.conf";
    // Mail and login processes run as other users; they must reach the files.
    chmod(folder_.c_str(), 0755);
    for (const char* d : {"/run", "/state", "/home", "/rawlog"}) mkdir((folder_ + d).c_str(), 0755);

    const bool root = geteuid() == 0;
    const uid_t mailUid = root ? 65534 : geteuid();
    const gid_t mailGid = root ? 65534 : getegid();
    std::string passwd;
    for (const auto& [user, password] : options.users) {
        passwd += user + ":{PLAIN}" + password + "\n";
        std::string home = folder_ + "/home/" + user;
        mkdir(home.c_str(), 0755);
        mkdir((home + "/Maildir").c_str(), 0700);
        mkdir((folder_ + "/rawlog/" + user).c_str(), 0777);
        if (root) {
            chown(home.c_str(), mailUid, mailGid);
            chown((home + "/Maildir").c_str(), mailUid, mailGid);
            chown((folder_ + "/rawlog/" + user).c_str(), mailUid, mailGid);
        }
    }
    WriteFile(folder_ + "/passwd", passwd);
    chmod((folder_ + "/passwd").c_str(), 0644);
    if (!RunCapture({"openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj", "/CN=127.0.0.1",
                     "-addext", "subjectAltName=IP:127.0.0.1", "-keyout", folder_ + "/key.pem", "-out",
                     folder_ + "/cert.pem"},
                    nullptr, nullptr)) {
        error_ = "openssl req failed";
        return false;
    }
    chmod((folder_ + "/key.pem").c_str(), 0644);
    imaps_port_ = LTestFreePort();
    do imap_port_ = LTestFreePort();
    while (imap_port_ == imaps_port_);

    std::ostringstream c;
    c << "base_dir = " << folder_ << "/run\n"
      << "state_dir = " << folder_ << "/state\n"
      << "log_path = " << folder_ << "/dovecot.log\n"
      << "listen = 127.0.0.1\n"
      << "protocols = imap\n"
      << "ssl = yes\n"
      << "ssl_cert = <" << folder_ << "/cert.pem\n"
      << "ssl_key = <" << folder_ << "/key.pem\n"
      << "ssl_dh = </usr/share/dovecot/dh.pem\n"
      << "disable_plaintext_auth = no\n"
      << "auth_mechanisms = plain login\n"
      << "passdb {\n  driver = passwd-file\n  args = " << folder_ << "/passwd\n}\n"
      << "userdb {\n  driver = static\n  args = uid=" << mailUid << " gid=" << mailGid << " home=" << folder_
      << "/home/%u\n}\n"
      << "mail_location = maildir:~/Maildir\n"
      << "first_valid_uid = 1\nfirst_valid_gid = 0\n"
      << "rawlog_dir = " << folder_ << "/rawlog/%u\n"
      << "service imap-login {\n  inet_listener imap {\n    port = " << imap_port_
      << "\n  }\n  inet_listener imaps {\n    port = " << imaps_port_ << "\n    ssl = yes\n  }\n}\n";
    if (!root) {
        const char* user = getenv("USER");
        std::string me = user ? user : "nobody";
        c << "default_login_user = " << me << "\ndefault_internal_user = " << me
          << "\ndefault_internal_group = " << me << "\n";
    }
    if (!options.capability.empty()) c << "imap_capability = " << options.capability << "\n";
    c << options.extra;
    WriteFile(conf_, c.str());

    std::vector<std::string> argv = {"dovecot", "-F", "-c", conf_};
    std::vector<char*> args;
    for (auto& a : argv) args.push_back(a.data());
    args.push_back(nullptr);
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&fa, 1, (folder_ + "/dovecot.out").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_adddup2(&fa, 1, 2);
    pid_t pid = -1;
    int rc = posix_spawnp(&pid, "dovecot", &fa, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&fa);
    if (rc != 0) {
        error_ = "cannot start dovecot";
        return false;
    }
    master_pid_ = pid;
    bool up = LTestWaitFor(10000, [&] {
        int st;
        if (waitpid(master_pid_, &st, WNOHANG) == master_pid_) {
            master_pid_ = -1;
            return true;
        }
        return PortAnswers(imaps_port_) && PortAnswers(imap_port_);
    });
    if (!up || master_pid_ < 0) {
        error_ = "dovecot did not start: " + LTestReadFile(folder_ + "/dovecot.out") + Log();
        Stop();
        return false;
    }
    const char* old = getenv("SSL_CERT_FILE");
    had_cert_file_ = old != nullptr;
    if (old) old_cert_file_ = old;
    setenv("SSL_CERT_FILE", (folder_ + "/cert.pem").c_str(), 1);
    return true;
}

void LTestDovecot::Stop() {
    if (folder_.empty()) return;
    if (master_pid_ > 0) {
        RunCapture({"doveadm", "-c", conf_, "stop"}, nullptr, nullptr);
        bool ended = LTestWaitFor(10000, [&] {
            int st;
            return waitpid(master_pid_, &st, WNOHANG) == master_pid_;
        });
        if (!ended) {
            kill(master_pid_, SIGKILL);
            waitpid(master_pid_, nullptr, 0);
        }
        master_pid_ = -1;
    }
    if (had_cert_file_) setenv("SSL_CERT_FILE", old_cert_file_.c_str(), 1);
    else unsetenv("SSL_CERT_FILE");
    had_cert_file_ = false;
    if (!getenv("PORLINEX_KEEP_DOVECOT")) {
        std::error_code ec;
        std::filesystem::remove_all(folder_, ec);
    }
    folder_.clear();
}

bool LTestDovecot::Save(const std::string& user, const std::string& mailbox, const std::string& message) {
    return RunCapture({"doveadm", "-c", conf_, "save", "-u", user, "-m", mailbox}, &message, nullptr);
}

std::string LTestDovecot::Doveadm(const std::vector<std::string>& args) {
    std::vector<std::string> argv = {"doveadm", "-c", conf_};
    argv.insert(argv.end(), args.begin(), args.end());
    std::string out;
    return RunCapture(argv, nullptr, &out) ? out : std::string();
}

std::string LTestDovecot::RawInput() const {
    std::vector<std::filesystem::path> files;
    std::error_code ec;
    for (auto& e : std::filesystem::recursive_directory_iterator(folder_ + "/rawlog", ec))
        if (e.path().extension() == ".in") files.push_back(e.path());
    std::sort(files.begin(), files.end());
    // Each line of the rawlog starts with a time stamp and a blank.
    std::string all;
    for (auto& f : files) {
        std::istringstream in(LTestReadFile(f.string()));
        for (std::string line; std::getline(in, line);) {
            size_t blank = line.find(' ');
            bool stamp = blank != std::string::npos && blank > 0 &&
                         line.find_first_not_of("0123456789.") == blank;
            all += (stamp ? line.substr(blank + 1) : line) + "\n";
        }
    }
    return all;
}

std::string LTestDovecot::Log() const { return LTestReadFile(folder_ + "/dovecot.log"); }
