// The web server from outside: curl (and raw sockets where curl would
// tidy a request up) against the listeners in-process.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <thread>

#include "foundation/reg_settings.h"
#include "foundation/wait.h"
#include "net/rate_limit.h"
#include "web/http/file_miss_clock.h"
#include "web/http/gzip_file.h"
#include "foundation/time_source.h"
#include "web/http/routes.h"
#include "web/http/tests/http_harness.h"
#include "web/http/weblet.h"

namespace {

std::atomic<int> g_echo_calls{0};

// A JSON route that answers with its body's size, to see whether and how a
// handler ran.
void EchoRoute(Weblet& request, LJsonValue&) {
    ++g_echo_calls;
    request.SendJsonf("{\"received\":%I64u}", request.bytes_received);
}
[[maybe_unused]] const LWebletRoute* g_echo = LWebletRegisterJsonRoute(u"test/echo", EchoRoute, 0);

std::string StatusLine(const std::string& reply) { return reply.substr(0, reply.find("\r\n")); }

std::string HeaderValue(const std::string& reply, const std::string& name) {
    std::smatch m;
    std::regex re("\r\n" + name + ": ([^\r]*)\r\n", std::regex::icase);
    return std::regex_search(reply, m, re) ? m[1].str() : "";
}

std::string Body(const std::string& reply) {
    size_t p = reply.find("\r\n\r\n");
    return p == std::string::npos ? "" : reply.substr(p + 4);
}

class WebServer : public ::testing::Test {
protected:
    void SetUp() override {
        web.WriteWebFile("index.html", "<html>hello</html>");
        web.WriteWebFile("ten.bin", "0123456789");
        web.WriteWebFile("empty.txt", "");
        web.WriteWebFile("page.html", "<p>page</p>");
        web.WriteWebFile("sub/index.html", "sub");
        web.WriteWebFile("app.js", std::string(5000, 'x'));
        ASSERT_TRUE(web.Start(secure));
    }
    bool secure = false;
    LTestWebServer web;
};

TEST_F(WebServer, MethodsMissingFilesAndRedirects) {
    LTestCurlResult r = web.Curl({"-X", "PUT"}, "/");
    EXPECT_EQ(StatusLine(r.output), "HTTP/1.1 501 Not Implemented");
    EXPECT_EQ(HeaderValue(r.output, "Connection"), "close");

    r = web.Curl({}, "/missing.html");
    EXPECT_EQ(StatusLine(r.output), "HTTP/1.1 404 Not Found");
    EXPECT_EQ(HeaderValue(r.output, "Content-Length"), "0");

    r = web.Curl({}, "/");
    EXPECT_EQ(StatusLine(r.output), "HTTP/1.1 301 Moved Permanently");
    EXPECT_EQ(HeaderValue(r.output, "Location"), "/index.html");

    r = web.Curl({}, "/sub/?x=1");
    EXPECT_EQ(HeaderValue(r.output, "Location"), "/sub/index.html?x=1");

    r = web.Curl({}, "/page");
    EXPECT_EQ(HeaderValue(r.output, "Location"), "/page.html");

    // Every "Main" link, Cancel and a dialog's default target end on the home page.
    r = web.Curl({}, "/main");
    EXPECT_EQ(StatusLine(r.output), "HTTP/1.1 302 Found");
    EXPECT_EQ(HeaderValue(r.output, "Location"), "index.html");
    r = web.Curl({"-L", "-o", "/dev/null", "-w", "%{url_effective} %{http_code}"}, "/main");
    EXPECT_EQ(r.output, web.Url("/index.html") + " 200");

    // loglist is a JSON route: a GET is a static miss.
    r = web.Curl({}, "/loglist?category=all");
    EXPECT_EQ(StatusLine(r.output), "HTTP/1.1 404 Not Found");
}

TEST_F(WebServer, ValidatorsAnd304) {
    LTestCurlResult r = web.Curl({}, "/index.html");
    ASSERT_EQ(StatusLine(r.output), "HTTP/1.1 200 OK");
    EXPECT_EQ(HeaderValue(r.output, "Content-Type"), "text/html");
    EXPECT_EQ(HeaderValue(r.output, "Cache-Control"), "max-age=3600");
    EXPECT_EQ(HeaderValue(r.output, "Content-Security-Policy"), "frame-ancestors 'none';");
    EXPECT_EQ(Body(r.output), "<html>hello</html>");
    std::string etag = HeaderValue(r.output, "ETag");
    std::string modified = HeaderValue(r.output, "Last-Modified");
    ASSERT_FALSE(etag.empty());
    r = web.Curl({"-H", "If-None-Match: \"a\", " + etag}, "/index.html");
    EXPECT_EQ(StatusLine(r.output), "HTTP/1.1 304 Not Modified");
    EXPECT_EQ(Body(r.output), "");
    r = web.Curl({"-H", "If-Modified-Since: " + modified}, "/index.html");
    EXPECT_EQ(StatusLine(r.output), "HTTP/1.1 304 Not Modified");
}

TEST_F(WebServer, RangesAnd416) {
    LTestCurlResult r = web.Curl({"-H", "Range: bytes=0-0"}, "/ten.bin");
    EXPECT_EQ(StatusLine(r.output), "HTTP/1.1 206 Partial Content");
    EXPECT_EQ(HeaderValue(r.output, "Content-Range"), "bytes 0-0/10");
    EXPECT_EQ(Body(r.output), "0");
    r = web.Curl({"-H", "Range: bytes=-3"}, "/ten.bin");
    EXPECT_EQ(Body(r.output), "789");
    r = web.Curl({"-H", "Range: bytes=5-2"}, "/ten.bin");
    EXPECT_EQ(StatusLine(r.output), "HTTP/1.1 416 Requested Range Not Satisfiable");
    EXPECT_EQ(HeaderValue(r.output, "Content-Range"), "bytes */10");
    r = web.Curl({"-H", "Range: bytes=0-"}, "/empty.txt");
    EXPECT_EQ(StatusLine(r.output), "HTTP/1.1 416 Requested Range Not Satisfiable");
    EXPECT_EQ(HeaderValue(r.output, "Content-Range"), "bytes */0");
    r = web.Curl({"-H", "Range: bytes=x-y"}, "/ten.bin");
    EXPECT_EQ(StatusLine(r.output), "HTTP/1.1 200 OK");
    EXPECT_EQ(Body(r.output), "0123456789");
    // Outside the table: a download, never inline.
    EXPECT_EQ(HeaderValue(r.output, "Content-Disposition"), "attachment; filename=\"ten.bin\"; filename*=UTF-8''ten.bin");
}

TEST_F(WebServer, TraversalAndLinksStayInside) {
    web.WriteWebFile("../outside.txt", "secret");
    std::error_code ec;
    std::filesystem::create_symlink(web.root.DataFolder() + "/outside.txt", web.WebFolder() + "/link.txt", ec);
    std::filesystem::create_symlink("/etc", web.WebFolder() + "/etc", ec);
    for (const char* path : {"/../outside.txt", "/%2e%2e/outside.txt", "/sub/..%2f..%2foutside.txt"}) {
        LTestCurlResult r = web.Curl({"--path-as-is"}, path);
        EXPECT_EQ(StatusLine(r.output), "HTTP/1.1 404 Not Found") << path;
        EXPECT_EQ(r.output.find("secret"), std::string::npos) << path;
    }
    for (const char* path : {"/link.txt", "/etc/passwd"}) {
        LTestCurlResult r = web.Curl({}, path);
        EXPECT_EQ(StatusLine(r.output), "HTTP/1.1 404 Not Found") << path;
        EXPECT_EQ(r.output.find("root:"), std::string::npos) << path;
    }
}

TEST_F(WebServer, BotProbesAreRefused) {
    for (const char* path : {"/wp-admin", "/x/index.PHP"}) {
        LTestCurlResult r = web.Curl({}, path);
        EXPECT_EQ(StatusLine(r.output), "HTTP/1.1 404 Not Found");
        EXPECT_EQ(HeaderValue(r.output, "Connection"), "close");
    }
}

TEST_F(WebServer, HeadBoundsAnswer400Or414) {
    std::string long_header = "GET /index.html HTTP/1.1\r\nX-Long: " + std::string(9000, 'a') + "\r\n\r\n";
    EXPECT_EQ(StatusLine(web.Raw(long_header)), "HTTP/1.1 400 Bad Request");
    std::string many = "GET /index.html HTTP/1.1\r\n";
    for (int i = 0; i < 101; ++i) many += "X-H" + std::to_string(i) + ": v\r\n";
    EXPECT_EQ(StatusLine(web.Raw(many + "\r\n")), "HTTP/1.1 400 Bad Request");
    std::string big = "GET /index.html HTTP/1.1\r\n";
    for (int i = 0; i < 20; ++i) big += "X-H" + std::to_string(i) + ": " + std::string(4000, 'b') + "\r\n";
    EXPECT_EQ(StatusLine(web.Raw(big + "\r\n")), "HTTP/1.1 400 Bad Request");
    std::string long_line = "GET /" + std::string(9000, 'c') + " HTTP/1.1\r\n\r\n";
    EXPECT_EQ(StatusLine(web.Raw(long_line)), "HTTP/1.1 414 URI Too Long");
}

TEST_F(WebServer, BodyLengthsOfJsonPosts) {
    g_echo_calls = 0;
    const std::string head = "POST /test/echo HTTP/1.1\r\nHost: x\r\n";
    EXPECT_EQ(StatusLine(web.Raw(head + "Content-Length: -5\r\n\r\n")), "HTTP/1.1 400 Bad Request");
    EXPECT_EQ(StatusLine(web.Raw(head + "Content-Length: 12x\r\n\r\n")), "HTTP/1.1 400 Bad Request");
    EXPECT_EQ(StatusLine(web.Raw(head + "Transfer-Encoding: chunked\r\n\r\n2\r\n{}\r\n0\r\n\r\n")),
              "HTTP/1.1 400 Bad Request");
    std::string too_long = web.Raw(head + "Content-Length: 3000001\r\n\r\n", 10000, nullptr, true);
    EXPECT_EQ(StatusLine(too_long), "HTTP/1.1 413 Content Too Large");
    EXPECT_EQ(HeaderValue(too_long, "Connection"), "close");
    // A client still sending its too large body reads the answer, not a
    // reset.
    std::string big_file = web.root.Path() + "/big.json";
    std::ofstream(big_file, std::ios::binary) << std::string(3500000, ' ');
    LTestCurlResult big = web.Curl({"-H", "Expect:", "--data-binary", "@" + big_file}, "/test/echo");
    EXPECT_EQ(big.exit_code, 0) << big.output;
    EXPECT_EQ(StatusLine(big.output), "HTTP/1.1 413 Content Too Large") << big.output;
    EXPECT_EQ(g_echo_calls.load(), 0);
    // Half a body, then the peer goes: no handler runs.
    EXPECT_EQ(web.Raw(head + "Content-Length: 10\r\n\r\n{\"a\"", 10000, nullptr, true), "");
    EXPECT_EQ(g_echo_calls.load(), 0);
    // No length: the body runs to the end of the peer's side, and that
    // connection serves nothing after it.
    std::string open_end = web.Raw(head + "\r\n{\"a\":1}", 10000, nullptr, true);
    EXPECT_NE(open_end.find("{\"received\":7}"), std::string::npos);
    EXPECT_EQ(g_echo_calls.load(), 1);
    // A smuggled second request after a valid body is served as its own
    // request, never as part of the first.
    std::string two = web.Raw(head + "Content-Length: 2\r\n\r\n{}" + "GET /index.html HTTP/1.1\r\nConnection: close\r\n\r\n");
    EXPECT_EQ(two.find("HTTP/1.1 200 OK"), 0u);
    EXPECT_NE(two.find("<html>hello</html>"), std::string::npos);
}

TEST_F(WebServer, KeepAliveOnRoutesCloseOnFiles) {
    std::string both = web.Raw(
        "POST /test/echo HTTP/1.1\r\nContent-Length: 2\r\n\r\n{}"
        "POST /test/echo HTTP/1.1\r\nContent-Length: 2\r\nConnection: close\r\n\r\n{}");
    size_t first = both.find("{\"received\":2}");
    ASSERT_NE(first, std::string::npos);
    EXPECT_NE(both.find("{\"received\":2}", first + 1), std::string::npos);
    std::string files = web.Raw("GET /ten.bin HTTP/1.1\r\n\r\nGET /ten.bin HTTP/1.1\r\n\r\n");
    EXPECT_EQ(files.find("HTTP/1.1", 1), std::string::npos);
}

TEST_F(WebServer, CsrfAndSessionRefusals) {
    LTestCurlResult r = web.Curl({"-X", "POST", "-d", "{}"}, "/loglist");
    EXPECT_EQ(Body(r.output), "{\"errorcode\":403,\"errormsg\":\"CSRF validation failed\"}");
    EXPECT_EQ(StatusLine(r.output), "HTTP/1.1 200 OK");
    r = web.Curl({"-X", "POST", "-d", "{}", "-H", "X-AJAX: 1"}, "/loglist");
    EXPECT_EQ(Body(r.output), "{\"errorcode\":401,\"errormsg\":\"Not logged in.\"}");
    r = web.Curl({}, "/logcontent?file=2026-12-09.csv");
    EXPECT_EQ(StatusLine(r.output), "HTTP/1.1 401 Not Authorized");
    std::string session = web.MakeSession();
    r = web.Curl({"-b", "porlinex_sess=" + session}, "/logcontent?file=../main.db");
    EXPECT_EQ(StatusLine(r.output), "HTTP/1.1 400 Invalid log file.");
    std::string host = "127.0.0.1:" + std::to_string(web.port);
    r = web.Curl({"-X", "POST", "-d", "{\"category\":\"SYNC\"}", "-b", "porlinex_sess=" + session, "-H",
                  "Referer: http://" + host + "/index.html"},
                 "/loglist");
    EXPECT_EQ(Body(r.output), "{\"errorcode\":400,\"errormsg\":\"Invalid log category.\"}");
}

TEST_F(WebServer, StartRouteMakesTheOnlySessions) {
    auto store = [](const char16_t* token, int64_t age) {
        LRegSettingsSet(u"MainWindowWebApp", u"LaunchToken", token);
        std::u16string t;
        for (char c : std::to_string(static_cast<int64_t>(LNow()) - age)) t += static_cast<char16_t>(c);
        LRegSettingsSet(u"MainWindowWebApp", u"LaunchTokenTime", t.c_str());
    };
    store(u"Tok3nTok3nTok3nTok3nTok3nTok3nTok3nTok3n", 0);
    LTestCurlResult r = web.Curl({}, "/start?token=Tok3nTok3nTok3nTok3nTok3nTok3nTok3nTok3n");
    ASSERT_EQ(StatusLine(r.output), "HTTP/1.1 302 Found");
    EXPECT_EQ(HeaderValue(r.output, "Location"), "index.html");
    std::string cookie = HeaderValue(r.output, "Set-Cookie");
    EXPECT_TRUE(std::regex_match(cookie, std::regex("porlinex_sess=[0-9a-z]{10}[a-z]{8}; path=/; HttpOnly; SameSite=Strict")))
        << cookie;
    // The cookie opens the session routes.
    std::string id = cookie.substr(14, 18);
    r = web.Curl({"-b", "porlinex_sess=" + id}, "/logcontent?file=2026-12-09.csv");
    EXPECT_EQ(StatusLine(r.output), "HTTP/1.1 404 Log file not found.");

    r = web.Curl({}, "/start?token=Tok3nTok3nTok3nTok3nTok3nTok3nTok3nTok3n");
    EXPECT_EQ(StatusLine(r.output), "HTTP/1.1 401 Not Authorized");

    store(u"OldTokenOldTokenOldTokenOldTokenOldToken", 301);
    r = web.Curl({}, "/start?token=OldTokenOldTokenOldTokenOldTokenOldToken");
    EXPECT_EQ(StatusLine(r.output), "HTTP/1.1 401 Not Authorized");

    // Any 127.x peer is local; the machine's own outside address is not,
    // and it does not use up the token.
    store(u"FarTokenFarTokenFarTokenFarTokenFarToken", 0);
    std::string outside = LTestOwnNonLoopbackAddress();
    if (!outside.empty()) {
        LTestCurlResult far = LTestRunCaptured({"curl", "-s", "-i", "--max-time", "15",
                                                "http://" + outside + ":" + std::to_string(web.port) +
                                                    "/start?token=FarTokenFarTokenFarTokenFarTokenFarToken"});
        EXPECT_EQ(StatusLine(far.output), "HTTP/1.1 401 Not Authorized");
    }
    r = web.Curl({}, "/start?token=FarTokenFarTokenFarTokenFarTokenFarToken");
    EXPECT_EQ(StatusLine(r.output), "HTTP/1.1 302 Found");
}

// Anybody can ask for missing files: the settings file is written for the
// first miss and then at most once a minute, and the last miss when the web
// server stops.
TEST_F(WebServer, MissingFilesDoNotRewriteTheSettingsEachTime) {
    const std::string hive = web.root.Path() + "/etc/porlinex/machine.reg";
    auto inode = [&] {
        struct stat st;
        return stat(hive.c_str(), &st) == 0 ? st.st_ino : 0;
    };
    ASSERT_EQ(StatusLine(web.Raw("GET /missing-0.png HTTP/1.0\r\n\r\n")), "HTTP/1.1 404 Not Found");
    char16_t first[260];
    ASSERT_TRUE(LRegSettingsGet(u"Settings", u"LastWebletErrorFileNotFound", u"", first));
    ASSERT_NE(first[0], 0);
    auto written = inode();  // each write puts a new file in place
    for (int i = 1; i <= 30; ++i)
        ASSERT_EQ(StatusLine(web.Raw("GET /missing-" + std::to_string(i) + ".png HTTP/1.0\r\n\r\n")),
                  "HTTP/1.1 404 Not Found");
    EXPECT_EQ(inode(), written);
    LWebStoreFileMissTime();  // as the web server's stop does
    EXPECT_NE(inode(), written);
    char16_t last[260];
    LRegSettingsGet(u"Settings", u"LastWebletErrorFileNotFound", u"", last);
    EXPECT_GE(std::stoll(LToUtf8(last)), std::stoll(LToUtf8(first)));
}

// A TCP connection to the machine's own outside address, so that the
// server sees a peer that is not loopback; -1 when it fails.
int ConnectOutside(const std::string& address, int port) {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(static_cast<uint16_t>(port));
    if (fd < 0 || inet_pton(AF_INET, address.c_str(), &to.sin_addr) != 1 ||
        connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0) {
        if (fd >= 0) close(fd);
        return -1;
    }
    return fd;
}

// The outside address starts over: no count, and not remembered as good
// (other tests of this program sign in from it, which raises its limit).
// Done before and after, so that the other tests are not refused either.
void ForgetConnections(const std::string& address) {
    in_addr a{};
    inet_pton(AF_INET, address.c_str(), &a);
    uint32_t bucket = LIPRateLimit::BucketOf(a.s_addr);
    LIPRateLimitEntry& e = gIPRateLimitConnections.FindEntry(bucket, a.s_addr);
    e.short_count = 0;
    e.long_count = 0;
    for (LIPRateLimitGood& g : gIPRateLimitConnections.buckets[bucket].good)
        if (g.key == a.s_addr) g.key = 0;
}

TEST_F(WebServer, The76thConnectionIsClosed) {
    // Loopback is not counted: any local page could lock the user out.
    const char* from = "127.0.200.76";
    for (int i = 0; i < 100; ++i)
        ASSERT_EQ(StatusLine(web.Raw("GET /ten.bin HTTP/1.0\r\n\r\n", 10000, from)), "HTTP/1.1 200 OK") << i;
    std::string outside = LTestOwnNonLoopbackAddress();
    ASSERT_FALSE(outside.empty()) << "the machine has no address outside 127.0.0.0/8";
    ForgetConnections(outside);
    auto get = [&] {
        int fd = ConnectOutside(outside, web.port);
        if (fd < 0) return std::string("no connection");
        const char request[] = "GET /ten.bin HTTP/1.0\r\n\r\n";
        std::string reply;
        if (send(fd, request, sizeof request - 1, MSG_NOSIGNAL) == static_cast<ssize_t>(sizeof request - 1)) {
            char buf[4096];
            for (ssize_t n; (n = recv(fd, buf, sizeof buf, 0)) > 0;) reply.append(buf, static_cast<size_t>(n));
        }
        close(fd);
        return reply;
    };
    for (int i = 0; i < 75; ++i) ASSERT_EQ(StatusLine(get()), "HTTP/1.1 200 OK") << i;
    EXPECT_EQ(get(), "");
    ForgetConnections(outside);
}

}  // namespace

namespace {

TEST(GzipFile, CopiesPassGzipAndUnpackToTheSource) {
    LTestRoot root;
    std::string folder = root.Path() + "/web";
    std::filesystem::create_directories(folder + "/deep");
    std::string text;
    for (int i = 0; i < 2000; ++i) text += "line " + std::to_string(i) + " of the page\n";
    std::ofstream(folder + "/deep/app.js") << text;
    std::ofstream(folder + "/empty.css") << "";
    std::ofstream(folder + "/image.png") << "png";
    LPlainWait wait;
    EXPECT_EQ(LWebCompressFolder(wait, folder), 2);
    EXPECT_FALSE(std::filesystem::exists(folder + "/image.png.gz"));
    for (const std::string& f : {folder + "/deep/app.js.gz", folder + "/empty.css.gz"}) {
        LTestCurlResult t = LTestRunCaptured({"gzip", "-t", f});
        EXPECT_EQ(t.exit_code, 0) << f << t.output;
    }
    LTestCurlResult unpacked = LTestRunCaptured({"gzip", "-dc", folder + "/deep/app.js.gz"});
    EXPECT_EQ(unpacked.output, text);
    // A second run makes the copies anew, never a copy of a copy.
    EXPECT_EQ(LWebCompressFolder(wait, folder), 2);
    EXPECT_FALSE(std::filesystem::exists(folder + "/deep/app.js.gz.gz"));
}

TEST_F(WebServer, GzipCopyOnlyForTheGzipToken) {
    LPlainWait wait;
    ASSERT_GE(LWebCompressFolder(wait, web.WebFolder()), 1);
    LTestCurlResult r = web.Curl({"-H", "Accept-Encoding: gzip, deflate"}, "/app.js");
    ASSERT_EQ(StatusLine(r.output), "HTTP/1.1 200 OK");
    EXPECT_EQ(HeaderValue(r.output, "Content-Encoding"), "gzip");
    EXPECT_EQ(HeaderValue(r.output, "Content-Type"), "text/javascript");
    EXPECT_EQ(HeaderValue(r.output, "Content-Length"),
              std::to_string(std::filesystem::file_size(web.WebFolder() + "/app.js.gz")));
    std::string plain_etag = HeaderValue(web.Curl({}, "/app.js").output, "ETag");
    EXPECT_EQ(HeaderValue(r.output, "ETag"), plain_etag);
    for (const char* other : {"x-gzip", "gzip;q=0", "deflate"}) {
        r = web.Curl({"-H", std::string("Accept-Encoding: ") + other}, "/app.js");
        EXPECT_EQ(HeaderValue(r.output, "Content-Encoding"), "") << other;
        EXPECT_EQ(Body(r.output), std::string(5000, 'x')) << other;
    }
    // What curl unpacks is the file itself.
    std::string out = web.root.Path() + "/unpacked.js";
    LTestCurlResult got = LTestRunCaptured({"curl", "-s", "--compressed", "--interface", web.source, "-o", out,
                                            web.Url("/app.js")});
    EXPECT_EQ(got.exit_code, 0);
    EXPECT_EQ(LTestReadFile(out), std::string(5000, 'x'));
}

class SecureWebServer : public WebServer {
protected:
    void SetUp() override {
        secure = true;
        WebServer::SetUp();
    }
};

TEST_F(SecureWebServer, SameAnswersOverTls) {
    LTestCurlResult r = web.Curl({}, "/index.html", true);
    ASSERT_EQ(StatusLine(r.output), "HTTP/1.1 200 OK") << r.output;
    EXPECT_EQ(Body(r.output), "<html>hello</html>");
    r = web.Curl({"-H", "Range: bytes=5-2"}, "/ten.bin", true);
    EXPECT_EQ(StatusLine(r.output), "HTTP/1.1 416 Requested Range Not Satisfiable");
    r = web.Curl({"-X", "PUT"}, "/", true);
    EXPECT_EQ(StatusLine(r.output), "HTTP/1.1 501 Not Implemented");
    r = web.Curl({}, "/", true);
    EXPECT_EQ(HeaderValue(r.output, "Location"), "/index.html");
    r = web.Curl({"--path-as-is"}, "/../outside.txt", true);
    EXPECT_EQ(StatusLine(r.output), "HTTP/1.1 404 Not Found");
    // CSRF: an Origin naming this server over https passes, over http not.
    std::string session = web.MakeSession();
    std::string host = "localhost:" + std::to_string(web.secure_port);
    r = web.Curl({"-X", "POST", "-d", "{}", "-b", "porlinex_sess=" + session, "-H", "Origin: https://" + host},
                 "/loglist", true);
    EXPECT_EQ(Body(r.output).rfind("{\"errorcode\":200,\"errormsg\":\"OK\",\"files\":[", 0), 0u) << r.output;
    r = web.Curl({"-X", "POST", "-d", "{}", "-b", "porlinex_sess=" + session, "-H", "Origin: http://" + host},
                 "/loglist", true);
    EXPECT_EQ(Body(r.output), "{\"errorcode\":403,\"errormsg\":\"CSRF validation failed\"}");
    // Keep-alive over TLS: two JSON calls on one connection.
    r = web.Curl({"-v", "-X", "POST", "-d", "{}", web.Url("/test/echo", true)}, "/test/echo", true);
    EXPECT_NE(r.output.find("Re-using existing connection"), std::string::npos) << r.output;
    // Without a session, 401.
    r = web.Curl({}, "/logcontent?file=2026-12-09.csv", true);
    EXPECT_EQ(StatusLine(r.output), "HTTP/1.1 401 Not Authorized");
    // Validators, ranges and the gzip copy.
    std::string etag = HeaderValue(web.Curl({}, "/index.html", true).output, "ETag");
    r = web.Curl({"-H", "If-None-Match: " + etag}, "/index.html", true);
    EXPECT_EQ(StatusLine(r.output), "HTTP/1.1 304 Not Modified");
    r = web.Curl({"-H", "Range: bytes=-3"}, "/ten.bin", true);
    EXPECT_EQ(StatusLine(r.output), "HTTP/1.1 206 Partial Content");
    EXPECT_EQ(Body(r.output), "789");
    LPlainWait wait;
    LWebCompressFolder(wait, web.WebFolder());
    r = web.Curl({"-H", "Accept-Encoding: gzip"}, "/app.js", true);
    EXPECT_EQ(HeaderValue(r.output, "Content-Encoding"), "gzip");
    // The start route over TLS: the cookie, then 401 on replay.
    LRegSettingsSet(u"MainWindowWebApp", u"LaunchToken", u"TlsTokenTlsTokenTlsTokenTlsTokenTlsToken");
    std::u16string now;
    for (char c : std::to_string(static_cast<int64_t>(LNow()))) now += static_cast<char16_t>(c);
    LRegSettingsSet(u"MainWindowWebApp", u"LaunchTokenTime", now.c_str());
    r = web.Curl({}, "/start?token=TlsTokenTlsTokenTlsTokenTlsTokenTlsToken", true);
    EXPECT_EQ(StatusLine(r.output), "HTTP/1.1 302 Found");
    EXPECT_TRUE(std::regex_match(HeaderValue(r.output, "Set-Cookie"),
                                 std::regex("porlinex_sess=[0-9a-z]{18}; path=/; HttpOnly; SameSite=Strict; Secure")))
        << HeaderValue(r.output, "Set-Cookie");
    r = web.Curl({}, "/start?token=TlsTokenTlsTokenTlsTokenTlsTokenTlsToken", true);
    EXPECT_EQ(StatusLine(r.output), "HTTP/1.1 401 Not Authorized");
}

}  // namespace

namespace {

size_t CountEntries(const char* folder) {
    size_t n = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(folder)) ++n;
    return n;
}

// Open descriptors, leaving out the HTTP logs: the process keeps those
// open between requests, as it does its daily log.
size_t CountDescriptors() {
    size_t n = 0;
    for (const auto& e : std::filesystem::directory_iterator("/proc/self/fd")) {
        std::error_code ec;
        std::string target = std::filesystem::read_symlink(e.path(), ec).string();
        if (target.find("/Logs/HTTP ") == std::string::npos) ++n;
    }
    return n;
}

int OpenKeptConnection(int port, const char* from) {
    int fd = LTestConnectFrom(port, from);
    const char req[] = "POST /test/echo HTTP/1.1\r\nContent-Length: 2\r\n\r\n{}";
    send(fd, req, sizeof req - 1, MSG_NOSIGNAL);
    char buf[512];
    recv(fd, buf, sizeof buf, 0);  // the reply; the connection stays
    return fd;
}

TEST(WebServerLifetime, ThreadsAndDescriptorsComeBack) {
    // A sanitizer's runtime may start a thread of its own at the first thread
    // creation; let that happen before the baseline is taken.
    std::thread([] {}).join();
    size_t threads = CountEntries("/proc/self/task");
    size_t fds = CountDescriptors();
    {
        LTestWebServer web;
        ASSERT_TRUE(web.Start());
        std::vector<int> clients;
        for (int i = 0; i < 30; ++i) clients.push_back(OpenKeptConnection(web.port, "127.0.201.1"));
        EXPECT_GE(CountEntries("/proc/self/task"), threads + 30);
        // Connections that end take their threads with them...
        for (int i = 0; i < 20; ++i) close(clients[i]);
        EXPECT_TRUE(LTestWaitFor(10000, [&] { return CountEntries("/proc/self/task") <= threads + 11; }));
        // ...and stopping the listener ends the rest.
        web.plain->StopWithConnections();
        EXPECT_TRUE(web.plain->pool.IsEmpty());
        for (int i = 20; i < 30; ++i) close(clients[i]);
    }
    EXPECT_TRUE(LTestWaitFor(10000, [&] { return CountEntries("/proc/self/task") <= threads; }));
    EXPECT_EQ(CountDescriptors(), fds);
}

}  // namespace

namespace {

// 0: the server closed it; 1: still open after a while.
int StillOpen(int fd) {
    timeval tv{2, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    char c;
    ssize_t n = recv(fd, &c, 1, 0);
    return n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK) ? 1 : 0;
}

TEST_F(SecureWebServer, The76thTlsConnectionIsClosed) {
    std::string outside = LTestOwnNonLoopbackAddress();
    ASSERT_FALSE(outside.empty()) << "the machine has no address outside 127.0.0.0/8";
    ForgetConnections(outside);
    std::vector<int> fds;
    for (int i = 0; i < 76; ++i) fds.push_back(ConnectOutside(outside, web.secure_port));
    EXPECT_EQ(StillOpen(fds[74]), 1);
    EXPECT_EQ(StillOpen(fds[75]), 0);
    for (int fd : fds) close(fd);
    ForgetConnections(outside);
}

}  // namespace
