#pragma once
// The request object that the web server hands to every route handler, and
// the connection interface underneath it. A Weblet lives on the connection
// thread's stack for one request; handlers write their whole reply through
// its writers and return nothing.
#include <cstdint>
#include <mutex>
#include <string>

#include "foundation/database.h"
#include "foundation/lstring.h"
#include "foundation/string_map.h"
#include "foundation/task_progress.h"
#include "web/http/request_reader.h"
#include "web/http/session_store.h"

struct LWebletRoute;

// One connection as requests see it: bytes in (through the reader), bytes
// out, whether TLS carries it, and the progress context its waits use.
class LWebletConnection : public LWebByteSource {
public:
    // 0 sent, 1 stop requested, 2 failed or timed out.
    virtual uint32_t Send(const void* data, size_t n, uint32_t timeout_ms) = 0;
    virtual bool IsSecure() const = 0;
    virtual LTaskProgress& Progress() = 0;
    // Pushes out anything the transport still holds back (keep-alive).
    virtual void Flush() {}
    // The last error text of the connection (a JSON parse error, say).
    virtual void SetLastError(const char16_t*) {}

    // The request in progress, for the metrics pages: set and cleared under
    // the lock.
    std::mutex current_lock;
    const char16_t* current_route = nullptr;
    uint64_t current_tick = 0;
};

class Weblet {
public:
    Weblet(LWebletConnection& connection, uint32_t peer_ip);
    Weblet(const Weblet&) = delete;
    Weblet& operator=(const Weblet&) = delete;

    LWebletConnection& connection;
    // Query and form fields, cookies (exact names) and headers (names
    // without regard to case; a repeated header keeps its last value).
    LStringMap fields;
    LStringMap cookies;
    LStringMap headers;
    char16_t route_key[260] = {0};
    uint32_t peer_ip;  // first octet in the lowest byte
    LStringA raw_uri;
    LWebletSessionDataDBBased session;
    LAppDatabaseAccount database{LAppDatabaseAccount::Deferred{}, false};
    bool keep_alive = false;
    uint64_t bytes_received = 0;
    uint64_t bytes_sent = 0;

    // Null when missing.
    const char16_t* Header(const char16_t* name) const;
    const char16_t* Field(const char16_t* name) const;
    const char16_t* Cookie(const char16_t* name) const;
    void SetHeader(const char16_t* name, const char16_t* value);
    void SetCookie(const char16_t* name, const char16_t* value) { cookies.Set(name, value); }
    // Adds the fields of URL-encoded UTF-8 text (a query or a form body).
    void ParseForm(const char* text);
    // The header's value, or "" when missing.
    const char16_t* HeaderText(const char16_t* name) const;
    // "a.b.c.d" of the peer.
    void PeerText(char out[32]) const;
    bool IsLoopbackPeer() const { return (peer_ip & 0xFF) == 127; }

    // Opens the request's database (read-write) and ties the session to it.
    bool OpenDatabase();

    // Raw writers: each adds what it sent to bytes_sent; false on failure.
    bool Send(const void* data, size_t n, uint32_t timeout_ms);
    template <class... A>
    bool Printf(const char* fmt, const A&... a) {
        LStringA text;
        text.Format(fmt, a...);
        return Send(text.c_str(), text.length, static_cast<uint32_t>(text.length + 20000));
    }
    template <class... A>
    bool PrintfW(const char16_t* fmt, const A&... a) {
        LString text;
        text.Format(fmt, a...);
        LStringA utf8;
        utf8.SetUtf8FromWide(text.c_str(), text.length);
        return Send(utf8.c_str(), utf8.length, static_cast<uint32_t>(utf8.length + 60000));
    }
    // "HTTP/1.1 <code> <reason>\r\nContent-Length: 0\r\n\r\n".
    bool SendStatus(int code, const char* reason);

    // JSON replies: always status 200 with the JSON header.
    bool SendJson(const void* body, size_t n);
    bool SendJsonText(const char* utf8) { return SendJson(utf8, LTextLength(utf8)); }
    bool SendJsonOk() { return SendJsonText("{\"errorcode\":200,\"errormsg\":\"OK\"}"); }
    template <class... A>
    bool SendJsonf(const char* fmt, const A&... a) {
        LStringA body;
        body.Format(fmt, a...);
        return SendJson(body.c_str(), body.length);
    }
    bool IsCSRFSafe();
    // False (after sending the refusal) when the call may not change state.
    bool CheckCSRF();

    // 301 to the request path (query cut, one trailing "/" dropped) + the
    // suffix + the query.
    bool RedirectAppend(const char* suffix);
    // One line of the daily "HTTP Error" log; the URI defaults to the raw URI.
    void LogHttpError(int code, const char* message, const char* uri = nullptr);
    // One line of the daily "HTTP" access log.
    void LogAccess();

    void MarkRequestStart(uint64_t tick);
    void MarkRequestEnd();
};

// "HTTP/1.1 301 Moved Permanently" to a location (nothing for an empty one).
bool LWebletSendRedirect(Weblet& request, const char* location);
// Calls a page handler and keeps its statistics; with no node it only
// clears the current-request mark.
void LWebletInvokeRoute(Weblet& request, LWebletRoute* route, uint64_t start_tick);
// Adds one call's figures to a route node.
void LWebletRouteAddStats(LWebletRoute* route, uint64_t elapsed_ms, const Weblet& request);
