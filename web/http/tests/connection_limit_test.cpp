// Open connections per address and per listener: one address keeping its
// connections alive cannot take the server from everybody else.
#include <gtest/gtest.h>

#include <sys/socket.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "foundation/log.h"
#include "tests/support/test_root.h"
#include "web/http/connection_limit.h"
#include "web/http/tests/http_harness.h"

namespace {

std::string LogText(const LTestRoot& root) {
    std::string out;
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(root.DataFolder() + "/Logs", ec))
        if (e.path().filename().string().find("Log.txt") != std::string::npos) out += LTestReadFile(e.path());
    return out;
}

size_t Count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

TEST(ConnectionLimit, CountsOpenConnectionsPerAddressAndInAll) {
    LTestRoot root;
    LLogCloseFile();
    auto limit = std::make_shared<LWebConnectionLimit>(2, 3);
    const uint32_t a = 0x0100007F, b = 0x0200007F, c = 0x0300007F;
    {
        LWebConnectionSlot a1(limit, a), a2(limit, a);
        EXPECT_TRUE(a1 && a2);
        EXPECT_FALSE(LWebConnectionSlot(limit, a));  // the address holds its most
        EXPECT_FALSE(LWebConnectionSlot(limit, a));
        LWebConnectionSlot b1(limit, b);
        EXPECT_TRUE(b1);
        EXPECT_FALSE(LWebConnectionSlot(limit, c));  // the listener holds its most
        {
            LWebConnectionSlot moved = std::move(b1);
            EXPECT_FALSE(b1);
        }
        // b's connection went: c gets its place; then the listener is full
        // again, a second spell.
        LWebConnectionSlot c1(limit, c);
        EXPECT_TRUE(c1);
        EXPECT_FALSE(LWebConnectionSlot(limit, b));
    }
    // Everything given back.
    LWebConnectionSlot a1(limit, a), a2(limit, a), b1(limit, b);
    EXPECT_TRUE(a1 && a2 && b1);
    std::string log = LogText(root);
    // One line a spell, however many are refused in it.
    EXPECT_EQ(Count(log, "127.0.0.1 holds 2 open connections"), 1u) << log;
    EXPECT_EQ(Count(log, "3 connections are open"), 2u) << log;
}

// A connection that served one request and stays open for the next.
int KeptConnection(int port, const char* from, const std::string& request) {
    int fd = LTestConnectFrom(port, from);
    if (fd < 0) return -1;
    timeval tv{10, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    send(fd, request.data(), request.size(), MSG_NOSIGNAL);
    char buf[2048];
    ssize_t n = recv(fd, buf, sizeof buf, 0);
    if (n <= 0 || std::string(buf, static_cast<size_t>(n)).rfind("HTTP/1.1 200 OK", 0) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

TEST(ConnectionLimit, ASecondAddressIsServedWhileOneHoldsItsCap) {
    LTestWebServer web;
    ASSERT_TRUE(web.Start());
    // With a session the address counts as recently good, so the per-IP
    // limit of new connections lets it make far more than it may hold.
    std::string request = "POST /loglist HTTP/1.1\r\nHost: x\r\nX-AJAX: 1\r\nCookie: porlinex_sess=" +
                          web.MakeSession() + "\r\nContent-Length: 2\r\n\r\n{}";
    const char* hog = "127.0.204.1";
    std::vector<int> held;
    for (uint32_t i = 0; i < LWebMaxConnectionsPerAddress; ++i) {
        int fd = KeptConnection(web.port, hog, request);
        ASSERT_GE(fd, 0) << i;
        held.push_back(fd);
    }
    // One more from the same address is closed without a word.
    EXPECT_EQ(KeptConnection(web.port, hog, request), -1);
    int other = KeptConnection(web.port, "127.0.204.2", request);
    EXPECT_GE(other, 0);
    // Connections that end give their places back.
    close(held.back());
    held.pop_back();
    EXPECT_TRUE(LTestWaitFor(5000, [&] {
        int fd = KeptConnection(web.port, hog, request);
        if (fd < 0) return false;
        held.push_back(fd);
        return true;
    }));
    for (int fd : held) close(fd);
    if (other >= 0) close(other);
}

// Wrong session IDs from one address are guesses and lock it out for a
// while; requests without the cookie guess nothing (any local page can make
// the browser send them by the dozen) and must not lock the user out.
TEST(ConnectionLimit, OnlyWrongSessionIdsCountAgainstTheSessionLimit) {
    struct Case {
        const char* source;
        const char* cookie;  // sent `times` times before the real session
        int times;
        bool real_session_served;
    };
    // Past the limit every guess is slowed down, so the guesses stop just
    // past it: the whole run must stay inside the limit's window.
    const Case cases[] = {{"127.0.205.1", "", 60, true},
                          {"127.0.205.2", "Cookie: porlinex_sess=aaaaaaaaaaguessing\r\n", 38, false}};
    LTestWebServer web;
    ASSERT_TRUE(web.Start());
    const std::string session = web.MakeSession();
    // The log file route answers 401 without a session and 400 to a
    // session for a file name it does not know.
    auto get = [&](const std::string& cookie, const char* source) {
        std::string a = web.Raw("GET /logcontent?file=none HTTP/1.1\r\nHost: x\r\n" + cookie +
                                    "Connection: close\r\n\r\n",
                                10000, source);
        return a.substr(0, a.find("\r\n"));
    };
    for (const Case& c : cases) {
        for (int i = 0; i < c.times; ++i) EXPECT_EQ(get(c.cookie, c.source), "HTTP/1.1 401 Not Authorized");
        const std::string status = get("Cookie: porlinex_sess=" + session + "\r\n", c.source);
        EXPECT_EQ(status != "HTTP/1.1 401 Not Authorized", c.real_session_served) << c.source << ": " << status;
    }
}

}  // namespace
