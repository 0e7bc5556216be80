#include <gtest/gtest.h>

#include <string>

#include "net/http/http_client_text.h"

namespace {

TEST(HttpClientText, SplitUrl) {
    struct Case {
        const char* url;
        const char* host;
        const char* path;
    } cases[] = {
        {"http://example.org/a/b?x=1", "example.org", "/a/b?x=1"},
        {"https://example.org:8443/p", "example.org:8443", "/p"},
        {"http://example.org", "example.org", ""},
        {"example.org/p", "example.org", "/p"},
    };
    for (const Case& c : cases) {
        char host[260], path[64];
        LHttpSplitUrl(c.url, host, path, sizeof path);
        EXPECT_STREQ(host, c.host) << c.url;
        EXPECT_STREQ(path, c.path) << c.url;
    }
    char host[260], path[5];
    LHttpSplitUrl("http://h/abcdefgh", host, path, sizeof path);
    EXPECT_STREQ(path, "/abc");
}

TEST(HttpClientText, RequestHeads) {
    LStringA s;
    LHttpFormatGetHead(s, "/x?y=1", "example.org:8080");
    EXPECT_EQ(s.Str(), "GET /x?y=1 HTTP/1.0\r\nHost: example.org:8080\r\n\r\n");
    LHttpFormatGetHead(s, "", "example.org");
    EXPECT_EQ(s.Str(), "GET / HTTP/1.0\r\nHost: example.org\r\n\r\n");

    LHttpFormatPostHead(s, "/rpc", "h", 12, nullptr);
    EXPECT_EQ(s.Str(), "POST /rpc HTTP/1.0\r\nHost: h\r\nContent-Length: 12\r\n\r\n");
    LHttpFormatPostHead(s, "/rpc", "h", 12, "Content-Type: application/json");
    EXPECT_EQ(s.Str(), "POST /rpc HTTP/1.0\r\nHost: h\r\nContent-Length: 12\r\nContent-Type: application/json\r\n\r\n");

    LHttpFormatFormPostHead(s, "/cgi-bin/report.exe", "h", 7);
    EXPECT_EQ(s.Str(),
              "POST /cgi-bin/report.exe HTTP/1.0\r\nHost: h\r\nContent-Type: application/x-www-form-urlencoded\r\n"
              "Content-Length: 7\r\n\r\n");
    LHttpFormatUploadHead(s, "/minidumpupload", "h:81", "B", 5000000000ull);
    EXPECT_EQ(s.Str(),
              "POST /minidumpupload HTTP/1.0\r\nHost: h:81\r\nContent-Type: multipart/form-data; boundary=B\r\n"
              "Content-Length: 5000000000\r\n\r\n");
    LHttpFormatTunnelHead(s, "example.org", 443);
    EXPECT_EQ(s.Str(), "CONNECT example.org:443 HTTP/1.0\r\n\r\n");
}

TEST(HttpClientText, StatusLines) {
    EXPECT_EQ(LHttpParseStatus("HTTP/1.1 200 Connection established"), 200);
    EXPECT_EQ(LHttpParseStatus("HTTP/1.0 407 Proxy Authentication Required"), 407);
    EXPECT_EQ(LHttpParseStatus("HTTP/2 200"), 0);
    EXPECT_EQ(LHttpParseStatus("garbage"), 0);

    int code;
    EXPECT_TRUE(LHttpScanStatusLine("HTTP/1.0 200 OK", &code));
    EXPECT_EQ(code, 200);
    EXPECT_TRUE(LHttpScanStatusLine("HTTP/1.1 404", &code));
    EXPECT_EQ(code, 404);
    EXPECT_FALSE(LHttpScanStatusLine("ICY 200 OK", &code));

    EXPECT_TRUE(LHttpDownloadStatus("http/1.1 302 Found", &code));
    EXPECT_EQ(code, 302);
    EXPECT_FALSE(LHttpDownloadStatus("SMTP/1.1 200 OK", &code));
    EXPECT_FALSE(LHttpDownloadStatus("HTTP/1.1 2", &code));
}

TEST(HttpClientText, ContentLength) {
    struct Case {
        const char* line;
        bool ok;
        uint64_t length;
    } cases[] = {
        {"Content-Length: 123", true, 123},
        {"content-length:123", true, 123},
        {"CONTENT-LENGTH:   0", true, 0},
        {"Content-Length: 18446744073709551615", true, UINT64_MAX},
        {"Content-Length: 18446744073709551616", false, 0},
        {"Content-Length: -1", false, 0},
        {"Content-Length: 12abc", false, 0},
        {"Content-Length:", false, 0},
        {"Content-Type: 12", false, 0},
        {"X-Content-Length: 12", false, 0},
    };
    for (const Case& c : cases) {
        uint64_t n = 0;
        EXPECT_EQ(LParseContentLength(c.line, &n), c.ok) << c.line;
        if (c.ok) {
            EXPECT_EQ(n, c.length) << c.line;
        }
    }
}

}  // namespace
