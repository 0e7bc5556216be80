// The access policy: names as the settings page sends them, the two routes
// through curl (who may call them at all), and the ACLs a save leaves on
// the data folder as getfacl shows them.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "foundation/database.h"
#include "platform/folder_acl.h"
#include "platform/system_info.h"
#include "web/http/access_policy.h"
#include "web/http/tests/http_harness.h"

namespace {

namespace fs = std::filesystem;

std::string Computer() {
    std::string host = LPlatformHostName();
    return host.substr(0, host.find('.'));
}

std::string Body(const LTestCurlResult& r) {
    size_t at = r.output.find("\r\n\r\n");
    return at == std::string::npos ? std::string() : r.output.substr(at + 4);
}

std::string StatusLine(const LTestCurlResult& r) { return r.output.substr(0, r.output.find("\r\n")); }

std::string Facl(const std::string& path) { return LTestRunCaptured({"getfacl", "-cp", path}).output; }

// A JSON call of a route with a session cookie (empty: none) and more curl
// arguments.
LTestCurlResult Call(LTestWebServer& web, const std::string& route, const std::string& json,
                     const std::string& session, std::vector<std::string> extra = {}) {
    std::vector<std::string> args = {"-H", "Content-Type: application/json", "-H", "X-AJAX: 1", "--data", json};
    if (!session.empty()) args.insert(args.end(), {"-b", "porlinex_sess=" + session});
    args.insert(args.end(), extra.begin(), extra.end());
    return web.Curl(args, "/" + route);
}

std::string StoredRow() {
    LAppDatabaseAccount db(true);
    LAppDatabaseCursor c;
    c.Query(db, u"SELECT ALL_USERS || '|' || USERS FROM main.PORLINEX_ACCESS WHERE ID=1;");
    LStringA row;
    c.GetColumnTextA(0, row);
    return std::string(row.View());
}

// The temporary root is made closed to others, as a home folder may be; a
// data folder under it is reached only once the root lets others pass.
void OpenTheWay(const LTestRoot& root) {
    fs::permissions(root.Path(), fs::perms::others_exec, fs::perm_options::add);
}

// Opens the file for reading and writing as the account (its own groups),
// in a child process: the kernel's own answer.
bool OpensAs(uid_t uid, const std::string& path) {
    passwd* pw = getpwuid(uid);
    if (!pw) return false;
    gid_t gid = pw->pw_gid;
    std::vector<gid_t> groups(64);
    int n = static_cast<int>(groups.size());
    if (getgrouplist(pw->pw_name, gid, groups.data(), &n) < 0) return false;
    pid_t pid = fork();
    if (pid == 0) {
        if (setgroups(static_cast<size_t>(n), groups.data()) != 0 || setgid(gid) != 0 || setuid(uid) != 0) _exit(2);
        int fd = open(path.c_str(), O_RDWR);
        _exit(fd >= 0 ? 0 : 1);
    }
    int status = 0;
    return pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

TEST(AccessPolicy, NamesAreNormalisedOrRefused) {
    struct Case {
        const char* text;
        bool ok;
        const char* normal;
    };
    const Case cases[] = {
        {"PC\\alice\r\n\r\nPC\\bob", true, "PC\\alice\nPC\\bob"},
        {"PC\\alice\n\tPC\\bob\r PC\\carol", true, "PC\\alice\nPC\\bob\nPC\\carol"},
        {"", true, ""},
        {"\r\n\r\n", true, ""},
        {"alice", false, ""},
        {"\\alice", false, ""},
        {"PC\\", false, ""},
        {"PC\\a\\b", false, ""},
        {"PC\\a*b", false, ""},
        {"PC\\a:b", false, ""},
        {"PC\\a\"b", false, ""},
        {"PC\\a\x01" "b", false, ""},
        {"PC/a\\b", false, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        std::string out;
        EXPECT_EQ(LAccessNormalizeUsers(c.text, out), c.ok);
        if (c.ok) {
            EXPECT_EQ(out, c.normal);
        }
    }
}

TEST(AccessRoutes, OnlyASignedInPageOfThisMachineMayCallThem) {
    LTestWebServer web;
    ASSERT_TRUE(web.Start());
    std::string session = web.MakeSession();
    std::string host = "Host: 127.0.0.1:" + std::to_string(web.port);
    for (const char* route : {"settings/access-read", "settings/access-save"}) {
        SCOPED_TRACE(route);
        EXPECT_EQ(StatusLine(Call(web, route, "{}", "")), "HTTP/1.1 401 Not Authorized");
        // A page of another site, even one whose name resolves to this
        // machine, and a page that names this machine but comes from another.
        EXPECT_EQ(StatusLine(Call(web, route, "{}", session, {"-H", "Host: evil.example"})), "HTTP/1.1 403 Forbidden");
        EXPECT_EQ(StatusLine(Call(web, route, "{}", session, {"-H", "Origin: http://evil.example"})),
                  "HTTP/1.1 403 Forbidden");
        EXPECT_EQ(StatusLine(Call(web, route, "{}", session, {"-H", "Host: evil.example", "-H", "Origin: http://evil.example"})),
                  "HTTP/1.1 403 Forbidden");
    }
    std::string other = LTestOwnNonLoopbackAddress();
    if (!other.empty()) {
        LTestCurlResult r = LTestRunCaptured({"curl", "-s", "-i", "--max-time", "15", "--interface", other, "-H",
                                              "Content-Type: application/json", "-H", "X-AJAX: 1", "-b",
                                              "porlinex_sess=" + session, "--data", "{}", "-H", host,
                                              "http://" + other + ":" + std::to_string(web.port) +
                                                  "/settings/access-read"});
        EXPECT_EQ(StatusLine(r), "HTTP/1.1 403 Forbidden");
    }

    // Nothing stored yet: everyone, and the account the service runs as.
    EXPECT_EQ(Body(Call(web, "settings/access-read", "{}", session)),
              "{\"ok\":true,\"allUsers\":true,\"users\":\"" + Computer() + "\\\\" + LPlatformEffectiveUserName() + "\"}");
    // Only a JSON boolean decides.
    EXPECT_EQ(Body(Call(web, "settings/access-save", "{\"allUsers\":\"false\",\"users\":\"\"}", session)),
              "{\"ok\":false,\"error\":\"allUsers must be true or false\"}");
    EXPECT_EQ(Body(Call(web, "settings/access-save", "{\"allUsers\":false,\"users\":\"PC\\\\\"}", session)),
              "{\"ok\":false,\"error\":\"Invalid Windows user name\"}");
    EXPECT_EQ(Body(Call(web, "settings/access-save", "{\"allUsers\":false,\"users\":\"\\r\\n\"}", session)),
              "{\"ok\":false,\"error\":\"At least one Windows user is required\"}");
    EXPECT_EQ(StoredRow(), "");
    EXPECT_EQ(Body(Call(web, "settings/access-save", "{\"allUsers\":true}", session)), "{\"ok\":true}");
    EXPECT_EQ(StoredRow(), "1|");
}

TEST(AccessRoutes, SavedListsBecomeAclEntriesAndReplaceEachOther) {
    LTestWebServer web;
    ASSERT_TRUE(web.Start());
    std::string session = web.MakeSession();
    std::string data = web.root.DataFolder(), pc = Computer();
    OpenTheWay(web.root);
    fs::create_directories(data + "/Crypt");
    std::ofstream(data + "/Crypt/local-root-ca.p12") << "key";
    auto save = [&](const std::string& json) { return Body(Call(web, "settings/access-save", json, session)); };

    EXPECT_EQ(save("{\"allUsers\":false,\"users\":\"" + pc + "\\\\daemon\\r\\n\\r\\n" + pc + "\\\\bin\"}"),
              "{\"ok\":true}");
    EXPECT_EQ(StoredRow(), "0|" + pc + "\\daemon\n" + pc + "\\bin");
    std::string folder = Facl(data), db = Facl(data + "/main.db");
    for (const char* want : {"user:daemon:rwx", "user:bin:rwx", "default:user:daemon:rwx", "default:user:bin:rwx"})
        EXPECT_NE(folder.find(want), std::string::npos) << want << "\n" << folder;
    EXPECT_NE(db.find("user:daemon:rw-"), std::string::npos) << db;
    EXPECT_EQ(folder.find("group:users:"), std::string::npos) << folder;
    // The keys keep their own access.
    EXPECT_EQ(Facl(data + "/Crypt/local-root-ca.p12").find("user:daemon"), std::string::npos);
    EXPECT_EQ(Facl(data + "/Crypt").find("user:daemon"), std::string::npos);
    EXPECT_EQ(Body(Call(web, "settings/access-read", "{}", session)),
              "{\"ok\":true,\"allUsers\":false,\"users\":\"" + pc + "\\\\daemon\\n" + pc + "\\\\bin\"}");

    // The second list takes the first one's access away.
    EXPECT_EQ(save("{\"allUsers\":false,\"users\":\"" + pc + "\\\\nobody\"}"), "{\"ok\":true}");
    folder = Facl(data);
    EXPECT_EQ(folder.find("user:daemon:"), std::string::npos) << folder;
    EXPECT_EQ(folder.find("user:bin:"), std::string::npos) << folder;
    EXPECT_NE(folder.find("user:nobody:rwx"), std::string::npos) << folder;
    EXPECT_EQ(Facl(data + "/main.db").find("user:daemon:"), std::string::npos);

    // Accounts this machine does not have change nothing.
    for (const std::string& name : {pc + "\\\\no-such-account-x", std::string("OTHERPC\\\\daemon")}) {
        EXPECT_EQ(save("{\"allUsers\":false,\"users\":\"" + name + "\"}").rfind(
                      "{\"ok\":false,\"error\":\"Unable to apply the Porlinex shared-folder ACL: ", 0),
                  0u);
        EXPECT_EQ(StoredRow(), "0|" + pc + "\\nobody");
    }

    // Everyone: the group of ordinary users, and no named user left over.
    EXPECT_EQ(save("{\"allUsers\":true,\"users\":\"\"}"), "{\"ok\":true}");
    folder = Facl(data);
    EXPECT_EQ(folder.find("user:nobody:"), std::string::npos) << folder;
    EXPECT_NE(folder.find("group:users:rwx"), std::string::npos) << folder;
    EXPECT_EQ(folder.find("other::rwx"), std::string::npos) << folder;
    EXPECT_EQ(StoredRow(), "1|");
}

TEST(AccessRoutes, PlantedLinksLeaveTheirTargetsAlone) {
    if (geteuid() != 0) GTEST_SKIP() << "a link to a file of another owner matters only to a service run as root";
    LTestWebServer web;
    ASSERT_TRUE(web.Start());
    std::string session = web.MakeSession();
    std::string outside = web.root.Path() + "/outside";
    fs::create_directories(outside + "/folder");
    std::ofstream(outside + "/file") << "x";
    std::string data = web.root.DataFolder();
    OpenTheWay(web.root);
    fs::create_symlink(outside + "/file", data + "/link-to-file");
    fs::create_directory_symlink(outside + "/folder", data + "/link-to-folder");
    std::string body = "{\"allUsers\":false,\"users\":\"" + Computer() + "\\\\daemon\"}";
    EXPECT_EQ(Body(Call(web, "settings/access-save", body, session)), "{\"ok\":true}");
    EXPECT_NE(Facl(data).find("user:daemon:rwx"), std::string::npos);
    for (const char* target : {"/file", "/folder"})
        EXPECT_EQ(Facl(outside + target).find("user:daemon"), std::string::npos) << target;
}

// The maker's folder above the data folder is the program's own and closed
// to others: a granted account must get through it, must lose that with the
// list, and a save whose account still cannot reach the data fails.
TEST(AccessRoutes, GrantedAccountReachesTheDatabase) {
    if (geteuid() != 0) GTEST_SKIP() << "acting as another account needs root";
    const char* account = "porlinex-acl-test";
    if (!getpwnam(account)) {
        LTestCurlResult made =
            LTestRunCaptured({"useradd", "--system", "--no-create-home", "--shell", "/usr/sbin/nologin", account});
        ASSERT_EQ(made.exit_code, 0) << made.output;
    }
    passwd* pw = getpwnam(account);
    ASSERT_NE(pw, nullptr);
    uid_t uid = pw->pw_uid;
    LTestWebServer web;
    ASSERT_TRUE(web.Start());
    std::string session = web.MakeSession();
    std::string data = web.root.DataFolder(), maker = fs::path(data).parent_path().string();
    std::string db = data + "/main.db";
    auto save = [&](const std::string& users) {
        return Body(Call(web, "settings/access-save", "{\"allUsers\":false,\"users\":\"" + users + "\"}", session));
    };
    // As JSON writes it: one backslash, escaped.
    const std::string granted = Computer() + "\\\\" + account;

    // The temporary root stops the account: the save says so and changes
    // nothing.
    EXPECT_EQ(save(granted), "{\"ok\":false,\"error\":\"Unable to apply the Porlinex shared-folder ACL: " +
                                 granted + " still cannot reach " + web.root.Path() + "\"}");
    EXPECT_EQ(StoredRow(), "");
    EXPECT_EQ(Facl(data).find(account), std::string::npos) << Facl(data);

    OpenTheWay(web.root);
    ASSERT_FALSE(OpensAs(uid, db));
    EXPECT_EQ(save(granted), "{\"ok\":true}");
    EXPECT_TRUE(OpensAs(uid, db));
    std::string above = Facl(maker);
    EXPECT_NE(above.find(std::string("user:") + account + ":--x"), std::string::npos) << above;
    EXPECT_EQ(above.find("default:"), std::string::npos) << above;

    // Another list takes the way through away too.
    EXPECT_EQ(save(Computer() + "\\\\daemon"), "{\"ok\":true}");
    EXPECT_FALSE(OpensAs(uid, db));
    above = Facl(maker);
    EXPECT_EQ(above.find(account), std::string::npos) << above;
    EXPECT_NE(above.find("user:daemon:--x"), std::string::npos) << above;
}

}  // namespace
