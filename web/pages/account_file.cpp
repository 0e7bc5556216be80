#include "web/pages/account_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <openssl/crypto.h>

#include <cstdio>

#include "foundation/data_folder.h"
#include "foundation/format.h"
#include "foundation/lstring.h"
#include "foundation/time_source.h"
#include "foundation/url_decode.h"
#include "foundation/utf8.h"

namespace {

constexpr time_t kFailWindow = 1200;
constexpr int kFailuresBeforeLock = 5;

// A file descriptor that is always closed.
struct Fd {
    int fd = -1;
    explicit Fd(int f) : fd(f) {}
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    ~Fd() {
        if (fd >= 0) close(fd);
    }
};

bool ReadAll(int fd, std::string& out) {
    char buf[4096];
    for (;;) {
        ssize_t n = read(fd, buf, sizeof buf);
        if (n < 0) return false;
        if (n == 0) return true;
        out.append(buf, static_cast<size_t>(n));
        if (out.size() > 65536) return false;  // no account file is this big
    }
}

bool WriteAll(int fd, const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
        ssize_t n = write(fd, text.data() + done, text.size() - done);
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

// Replaces the file by a new one: temporary file, fsync, rename, fsync of
// the folder.
bool ReplaceFile(const std::string& path, const std::string& text) {
    std::string temp = path + ".tmp";
    unlink(temp.c_str());
    Fd out(open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (out.fd < 0) return false;
    if (!WriteAll(out.fd, text) || fsync(out.fd) != 0) {
        unlink(temp.c_str());
        return false;
    }
    if (rename(temp.c_str(), path.c_str()) != 0) {
        unlink(temp.c_str());
        return false;
    }
    Fd dir(open(LWebAccountFolder().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.fd >= 0) fsync(dir.fd);
    return true;
}

// The folder lock that serialises every change of every account file.
struct FolderLock {
    Fd fd;
    FolderLock() : fd(open((LWebAccountFolder() + "/.lock").c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600)) {
        if (fd.fd >= 0 && flock(fd.fd, LOCK_EX) != 0) {
            close(fd.fd);
            fd.fd = -1;
        }
    }
    bool Held() const { return fd.fd >= 0; }
};

}  // namespace

std::string LWebAccountFolder() {
    char16_t folder[260];
    LGetDataSubfolder(u"Accounts", folder);
    std::string path = LToUtf8(folder);
    mkdir(path.c_str(), 0700);
    chmod(path.c_str(), 0700);
    return path;
}

std::string LWebAccountFilePath(const std::string& user) {
    if (user.empty()) return {};
    std::string name;
    for (unsigned char c : user) {
        bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
                     c == '@' || c == '-';
        if (plain) {
            name.push_back(static_cast<char>(c));
        } else {
            char esc[4];
            std::snprintf(esc, sizeof esc, "%%%02X", c);
            name += esc;
        }
    }
    name += ".dat";
    if (name.size() > 259) return {};
    return LWebAccountFolder() + "/" + name;
}

std::string LWebAccountGet(const LWebAccountPairs& pairs, const std::string& name) {
    for (const auto& [n, v] : pairs)
        if (n == name) return v;
    return {};
}

void LWebAccountSet(LWebAccountPairs& pairs, const std::string& name, const std::string& value) {
    for (auto& [n, v] : pairs)
        if (n == name) {
            v = value;
            return;
        }
    pairs.emplace_back(name, value);
}

std::string LWebAccountEncode(const LWebAccountPairs& pairs) {
    LStringA out;
    for (const auto& [n, v] : pairs) {
        if (out.length) out.AppendChar('&');
        LAppendUrlEncodedA(out, n.c_str());
        out.AppendChar('=');
        LAppendUrlEncodedA(out, v.c_str());
    }
    return std::string(out.View());
}

LWebAccountPairs LWebAccountDecode(const std::string& text) {
    LWebAccountPairs pairs;
    const char* p = text.c_str();
    while (*p) {
        LStringA name, value;
        p += LUrlDecodeQueryKey(p, name);
        if (*p == '=') p += 1 + LUrlDecodeQueryValue(p + 1, value);
        if (*p == '&') ++p;
        if (name.length && name.length <= 63)
            LWebAccountSet(pairs, std::string(name.View()), std::string(value.View()));
    }
    return pairs;
}

bool LWebAccountUpdate(const std::string& user, const std::function<bool(LWebAccountPairs&)>& change) {
    std::string path = LWebAccountFilePath(user);
    if (path.empty()) return false;
    FolderLock lock;
    if (!lock.Held()) return false;
    Fd in(open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    struct stat st;
    std::string text;
    if (in.fd < 0 || fstat(in.fd, &st) != 0 || !S_ISREG(st.st_mode) || !ReadAll(in.fd, text)) return false;
    LWebAccountPairs pairs = LWebAccountDecode(text);
    if (!change(pairs)) return true;
    return ReplaceFile(path, LWebAccountEncode(pairs));
}

bool LWebAccountWrite(const std::string& user, const LWebAccountPairs& pairs) {
    std::string path = LWebAccountFilePath(user);
    if (path.empty()) return false;
    FolderLock lock;
    return lock.Held() && ReplaceFile(path, LWebAccountEncode(pairs));
}

bool LWebSecretEqual(const std::string& a, const std::string& b) {
    // The lengths are compared in the open: only the contents are secret.
    return a.size() == b.size() && CRYPTO_memcmp(a.data(), b.data(), a.size()) == 0;
}

int LWebUserCheckPassword(LWebAccountPairs& account, const std::string& password, time_t now) {
    time_t last = static_cast<time_t>(std::strtoll(LWebAccountGet(account, "LogonFailTime").c_str(), nullptr, 10));
    int failures = std::atoi(LWebAccountGet(account, "LogonFailures").c_str());
    bool recent = now - last < kFailWindow;
    if (recent && failures > kFailuresBeforeLock) return 3;
    if (LWebSecretEqual(password, LWebAccountGet(account, "Password"))) {
        LWebAccountSet(account, "LogonFailTime", "0");
        LWebAccountSet(account, "LogonFailures", "0");
        return 0;
    }
    LWebAccountSet(account, "LogonFailures", std::to_string(1 + (recent ? failures : 0)));
    LWebAccountSet(account, "LogonFailTime", std::to_string(static_cast<long long>(now)));
    return 1;
}

int LWebCheckLogon(const std::string& user, const std::string& password) {
    int result = 2;
    LWebAccountUpdate(user, [&](LWebAccountPairs& account) {
        result = LWebUserCheckPassword(account, password, LNow());
        return result != 3;
    });
    return result;
}
