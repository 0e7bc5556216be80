#include "web/http/request_loop.h"

#include <algorithm>
#include <cstring>
#include <thread>

#include "foundation/json_value.h"
#include "foundation/log.h"
#include "foundation/string_map.h"
#include "foundation/thread_table.h"
#include "foundation/url_decode.h"
#include "foundation/utf8.h"
#include "net/rate_limit.h"
#include "web/http/request_head.h"
#include "web/http/routes.h"
#include "web/http/static_file.h"

namespace {

constexpr const char* kClose404 = "HTTP/1.1 404 Not Found\r\nConnection: close\r\n\r\n";

void SendText(LWebletConnection& c, const char* text) { c.Send(text, std::strlen(text), 20000); }

// Over a bound of the head: the peer hears why, then the connection ends.
void RefuseHead(Weblet& w, int code, const char* reason) {
    char peer[32];
    w.PeerText(peer);
    LLogErrorF("Weblet: Request head refused (%d %s): %s", code, reason, peer);
    w.LogHttpError(code, reason);
    w.Printf("HTTP/1.1 %d %s\r\nConnection: close\r\nContent-Length: 0\r\n\r\n", code, reason);
}

// The path of the target: the part before "?" (at most 259 bytes),
// percent-decoded, as UTF-16 of at most 259 units.
void DecodePath(const LStringA& target, char16_t out[260]) {
    std::string_view t = target.View();
    size_t q = t.find('?');
    std::string part(t.substr(0, std::min<size_t>(q, 259)));
    LString wide;
    LUrlDecodeToWide(part.c_str(), wide);
    LCopyField(out, wide.c_str());
}

enum class HeadResult { Ok, Closed, Refused };

HeadResult ReadHeaders(Weblet& w, LWebConnectionReader& reader) {
    uint64_t deadline = LWebTickMs() + LWebHeadersTimeoutMs;
    size_t total = 0;
    LStringA line;
    LString name, value;
    for (uint32_t count = 0;; ++count) {
        LWebLineResult r = reader.ReadLine(line, LWebMaxLineBytes, deadline);
        if (r == LWebLineResult::Failed) return HeadResult::Closed;
        if (r == LWebLineResult::TooLong) {
            RefuseHead(w, 400, "Bad Request");
            return HeadResult::Refused;
        }
        if (line.IsEmpty()) return HeadResult::Ok;
        total += line.length + 2;
        if (count >= LWebMaxHeaderLines || total > LWebMaxHeadBytes) {
            RefuseHead(w, 400, "Bad Request");
            return HeadResult::Refused;
        }
        LString wide;
        wide.SetUtf8N(line.c_str(), line.length);
        LWebSplitHeaderLine(wide.c_str(), name, value);
        w.SetHeader(name.c_str(), value.c_str());
    }
}

// "a=1; b=2": names up to "=" or ";", values up to ";" (259 units at
// most), decoded as form text; the last of equal names wins.
void ParseCookies(Weblet& w) {
    const char16_t* p = w.Header(u"Cookie");
    if (!p) return;
    while (*p) {
        LString name;
        while (*p && *p != u'=' && *p != u';') name.AppendChar(*p++);
        if (*p == u'=') ++p;
        char16_t raw[260];
        size_t n = 0;
        while (*p && *p != u';') {
            if (n < 259) raw[n++] = *p;
            ++p;
        }
        raw[n] = 0;
        if (*p == u';') ++p;
        while (*p && *p <= u' ') ++p;
        if (name.IsEmpty()) continue;
        char16_t decoded[260];
        LFormatBuffer buffer(decoded);
        LUrlDecodeFormValueW(raw, buffer);
        buffer.Terminate();
        w.SetCookie(name.c_str(), decoded);
    }
}

void LoadSession(Weblet& w) {
    w.OpenDatabase();
    const char16_t* id = w.Cookie(u"porlinex_sess");
    // The limit stops the guessing of session IDs, and a request without the
    // cookie guesses nothing. Any local page can make the browser send such
    // requests by the dozen; counting them locked the user's own browser out.
    if (!id || !*id) {
        w.session.LoadSession(u"");
        return;
    }
    if (LIPRateLimit::IsOverLimit(gIPRateLimitSessions, w.peer_ip, LIPRateLimitSessionsShort,
                                  LIPRateLimitSessionsLong)) {
        gIPRateLimitSessions.CountHit(LIPRateLimit::BucketOf(w.peer_ip), w.peer_ip);
        char peer[32];
        w.PeerText(peer);
        LLogRateLimitedF(30, "IPRateLimit: Session login attempts exceeded the limit. Block IP  %s", peer);
        std::this_thread::sleep_for(std::chrono::milliseconds(550));
        return;
    }
    if (w.session.LoadSession(id)) {
        LIPRateLimit::MarkGood(gIPRateLimitConnections, w.peer_ip);
        LIPRateLimit::MarkGood(gIPRateLimitSessions, w.peer_ip);
    } else {
        gIPRateLimitSessions.CountHit(LIPRateLimit::BucketOf(w.peer_ip), w.peer_ip);
    }
}

// A body over the limit is read and dropped, up to four times the limit
// (bytes are not kept, so only time is spent), before the answer: closing on
// a client that is still sending makes the kernel reset the connection, and
// the client would see the reset instead of the 413. Then the connection
// ends.
constexpr uint64_t kDrainBytes = 4 * static_cast<uint64_t>(LWebMaxBodyBytes);

void RefuseTooLarge(Weblet& w, LWebConnectionReader& reader, uint64_t unread) {
    reader.Discard(std::min(unread, kDrainBytes), 20000);
    char peer[32];
    w.PeerText(peer);
    LUTF8FromWide route(w.route_key);
    LLogErrorF("Weblet: Content too long: %s %s", peer, route.text);
    w.LogHttpError(413, "Content Too Large");
    SendText(w.connection, "HTTP/1.1 413 Content Too Large\r\nConnection: close\r\nContent-Length: 0\r\n\r\n");
    w.keep_alive = false;
}

// A page route: a declared body of URL-encoded fields, then the handler.
// False when the connection must end.
bool ServePage(Weblet& w, LWebConnectionReader& reader, LWebletRoute* route, LWebBodyLength kind, int64_t length) {
    uint64_t start = LWebTickMs();
    w.MarkRequestStart(start);
    if (kind == LWebBodyLength::Length && length > LWebMaxBodyBytes) {
        RefuseTooLarge(w, reader, static_cast<uint64_t>(length));
        w.MarkRequestEnd();
        return false;
    }
    if (kind == LWebBodyLength::Length && length > 0) {
        LByteBuffer body;
        // A body that does not arrive whole is no request: the handler must
        // not run on half a form, and the connection cannot be resynchronised.
        if (reader.ReadExact(body, static_cast<size_t>(length), static_cast<uint32_t>(length + 40000)) != 0) {
            w.MarkRequestEnd();
            return false;
        }
        w.bytes_received += body.length;
        std::string text(reinterpret_cast<const char*>(body.buffer), body.length);
        w.ParseForm(text.c_str());
    }
    LWebletInvokeRoute(w, route, start);
    return true;
}

bool ServeJson(Weblet& w, LWebConnectionReader& reader, LWebletRoute* route, LWebBodyLength kind, int64_t length) {
    uint64_t start = LWebTickMs();
    w.MarkRequestStart(start);
    LByteBuffer body;
    if (kind == LWebBodyLength::Length) {
        if (length > LWebMaxBodyBytes) {
            RefuseTooLarge(w, reader, static_cast<uint64_t>(length));
            w.MarkRequestEnd();
            return false;
        }
        if (reader.ReadExact(body, static_cast<size_t>(length), 20000) != 0) {
            w.MarkRequestEnd();
            return false;
        }
    } else {
        // Without a length the body runs to the end of the peer's side, so
        // this connection serves no further request.
        bool over = false;
        reader.ReadUntilClosed(body, static_cast<size_t>(LWebMaxBodyBytes), 20000, &over);
        w.keep_alive = false;
        if (over) {
            RefuseTooLarge(w, reader, kDrainBytes);
            w.MarkRequestEnd();
            return false;
        }
    }
    if (w.connection.Progress().IsStopRequested()) {
        w.MarkRequestEnd();
        return false;
    }
    w.bytes_received += body.length;
    const char* bytes = reinterpret_cast<const char*>(body.buffer);
    if (route->raw_handler) {
        route->raw_handler(w, bytes ? bytes : "", body.length);
    } else {
        LJsonValue value;  // an empty object until the body fills it
        if (body.length > 0) {
            std::string text(bytes, body.length);
            if (value.ParseUtf8(&w.connection.Progress(), text.c_str(), text.size()) == 1) {
                w.MarkRequestEnd();
                return false;
            }
        }
        route->json_handler(w, value);
    }
    uint64_t elapsed = LWebTickMs() - start;
    w.MarkRequestEnd();
    LWebletRouteAddStats(route, elapsed, w);
    return true;
}

// Another method than POST on a raw POST route. A body that came with it is
// not read, so the connection ends after the answer.
bool RefuseMethod(Weblet& w) {
    SendText(w.connection, "HTTP/1.1 405 Method Not Allowed\r\nAllow: POST\r\nContent-Length: 0\r\n\r\n");
    int64_t length = 0;
    LWebBodyLength kind = LWebParseBodyLength(w.Header(u"Content-Length"), w.Header(u"Transfer-Encoding"), &length);
    return w.keep_alive && (kind == LWebBodyLength::None || (kind == LWebBodyLength::Length && length == 0));
}

// POST to a static path: the declared body is read and dropped, strictly.
bool DrainBody(Weblet& w, LWebConnectionReader& reader) {
    w.keep_alive = false;
    int64_t length = 0;
    LWebBodyLength kind = LWebParseBodyLength(w.Header(u"Content-Length"), w.Header(u"Transfer-Encoding"), &length);
    if (kind == LWebBodyLength::Invalid || length > LWebMaxBodyBytes) return false;
    if (!reader.Discard(static_cast<uint64_t>(length), 20000)) return false;
    return !reader.HasPendingBytes();
}

void ServeStatic(Weblet& w, LWebConnectionReader& reader, bool is_post, const std::string& web_folder) {
    if (is_post && !DrainBody(w, reader)) return;
    LUTF8FromWide key(w.route_key);
    char peer[32];
    w.PeerText(peer);
    if (std::strstr(key.text, "..")) {
        LLogErrorF("Weblet: Bad request: %s %s. If this is a bot, please add the filepath to gszaWebletURLPathGreyList.",
                   peer, key.text);
        LStringA message;
        message.Format("Bad request: %s", key.text);
        w.LogHttpError(404, message.c_str());
        SendText(w.connection, kClose404);
        return;
    }
    std::string relative = key.text;
    LWebFileResult r = LWebletSendFile(w, web_folder, relative);
    if (r == LWebFileResult::Sent || r == LWebFileResult::SendFailed) return;
    if (r == LWebFileResult::IsFolder &&
        LWebFileExists(web_folder, relative.empty() ? "index.html" : relative + "/index.html")) {
        w.RedirectAppend("/index.html");
        return;
    }
    if (relative.find('.') == std::string::npos && !relative.empty() && LWebFileExists(web_folder, relative + ".html")) {
        w.RedirectAppend(".html");
        return;
    }
    w.LogHttpError(404, "Not Found");
    SendText(w.connection, "HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n");
}

// One request; true when the connection serves another.
bool ServeRequest(LWebletConnection& c, LWebConnectionReader& reader, uint32_t peer_ip, const std::string& web_folder) {
    LStringA line;
    LWebLineResult lr = reader.ReadLine(line, LWebMaxLineBytes, LWebTickMs() + LWebRequestLineTimeoutMs);
    if (lr == LWebLineResult::Failed) return false;
    Weblet w(c, peer_ip);
    if (lr == LWebLineResult::TooLong) {
        RefuseHead(w, 414, "URI Too Long");
        return false;
    }
    LWebRequestLine rl;
    LWebParseRequestLine(line.c_str(), &rl);
    bool is_post = std::strcmp(rl.method, "POST") == 0;
    bool is_get = std::strcmp(rl.method, "GET") == 0;
    char16_t path[260];
    DecodePath(rl.target, path);
    // A raw POST route names the methods it takes; elsewhere only GET and
    // POST are served.
    if (!is_post && !is_get && (path[0] != u'/' || !LWebletFindRawPostRoute(path + 1))) {
        SendText(c, "HTTP/1.1 501 Not Implemented\r\nConnection: close\r\n\r\n");
        return false;
    }
    w.raw_uri.AppendString(rl.target);
    if (const char* q = std::strchr(rl.target.c_str(), '?')) w.ParseForm(q + 1);
    char peer[32];
    w.PeerText(peer);
    if (path[0] != u'/') {
        LUTF8FromWide p(path);
        LLogErrorF("Weblet: Invalid Request URI: %s %s", peer, p.text);
        w.LogHttpError(404, "Invalid Request URI");
        SendText(c, kClose404);
        return false;
    }
    if (LWebIsBotProbe(path)) {
        LIPRateLimitBotPenalty(gIPRateLimitConnections, peer_ip);
        LUTF8FromWide p(path);
        LLogInfoF("Weblet: Bot access request URI: %s %s", peer, p.text);
        w.LogHttpError(404, "Bot access request URI");
        SendText(c, kClose404);
        return false;
    }
    LCopyField(w.route_key, path + 1);
    HeadResult hr = ReadHeaders(w, reader);
    if (hr != HeadResult::Ok) return false;
    w.keep_alive = LWebKeepAlive(rl.version, w.Header(u"Connection"));
    w.LogAccess();

    LWebletRoute* route = LWebletFindRoute(w.route_key, is_post);
    if (!is_post && !(is_get && route) && LWebletFindRawPostRoute(w.route_key)) {
        bool go_on = RefuseMethod(w);
        if (go_on) c.Flush();
        return go_on;
    }
    if (!route) {
        ServeStatic(w, reader, is_post, web_folder);
        return false;
    }
    int64_t length = 0;
    LWebBodyLength kind = LWebParseBodyLength(w.Header(u"Content-Length"), w.Header(u"Transfer-Encoding"), &length);
    if (kind == LWebBodyLength::Invalid) {
        // A length this server cannot read leaves it no way to find the next
        // request: answer and end the connection.
        RefuseHead(w, 400, "Bad Request");
        return false;
    }
    LUTF8FromWide key(w.route_key);
    LStringA tag;
    tag.Format("WEB-%s", key.text);
    LThreadSetTag(tag.c_str());
    ParseCookies(w);
    if (route->load_session) LoadSession(w);
    bool go_on = route->json_handler || route->raw_handler ? ServeJson(w, reader, route, kind, length)
                                     : ServePage(w, reader, route, kind, length);
    LThreadSetTag("WEBC");
    if (!go_on || !w.keep_alive) return false;
    c.Flush();
    return true;
}

}  // namespace

void LWebletServeConnection(LWebletConnection& c, uint32_t peer_ip, const std::string& web_folder) {
    LWebConnectionReader reader(c);
    while (ServeRequest(c, reader, peer_ip, web_folder)) {
    }
}
