#include "web/http/weblet.h"

#include <cstring>
#include <ctime>

#include "foundation/log.h"
#include "foundation/text_scan.h"
#include "foundation/url_decode.h"
#include "foundation/time_source.h"
#include "foundation/utf8.h"
#include "web/http/activity_log.h"
#include "web/http/csrf.h"
#include "web/http/log_file.h"
#include "web/http/routes.h"

namespace {

void CsvField(LStringA& line, const char* text) { LCsvAppendField(line, text); }
void CsvQuotedField(LStringA& line, const char* text) { LCsvAppendQuotedField(line, text); }

void CsvQuotedHeader(LStringA& line, const Weblet& w, const char16_t* name) {
    char text[260];
    LWideToUTF8Buf(text, w.HeaderText(name));
    CsvQuotedField(line, text);
}

// Starts a line of the HTTP logs: UTC time and the peer; the file name
// gets the UTC date.
void BeginHttpLogLine(const Weblet& w, LStringA& line, char date[64]) {
    time_t t = LNow();
    struct tm g;
    gmtime_r(&t, &g);
    LFormatEscPathA(date, "%.4d-%.2d-%.2d", g.tm_year + 1900, g.tm_mon + 1, g.tm_mday);
    char clock[64], peer[32];
    LFormatEscPathA(clock, "%.4d-%.2d-%.2d %.2d:%.2d:%.2d", g.tm_year + 1900, g.tm_mon + 1, g.tm_mday, g.tm_hour,
                    g.tm_min, g.tm_sec);
    w.PeerText(peer);
    CsvField(line, clock);
    CsvField(line, peer);
}

}  // namespace

Weblet::Weblet(LWebletConnection& c, uint32_t peer) : connection(c), peer_ip(peer) { session.db = &database; }

const char16_t* Weblet::Header(const char16_t* name) const {
    const LString* v = headers.FindNoCase(name);
    return v ? v->c_str() : nullptr;
}
const char16_t* Weblet::Field(const char16_t* name) const {
    const LString* v = fields.Find(name);
    return v ? v->c_str() : nullptr;
}
const char16_t* Weblet::Cookie(const char16_t* name) const {
    const LString* v = cookies.Find(name);
    return v ? v->c_str() : nullptr;
}

void Weblet::SetHeader(const char16_t* name, const char16_t* value) {
    if (LString* existing = headers.FindNoCase(name)) {
        existing->Assign(value);
        return;
    }
    LString v(value);
    headers.AddPairNoCase(name, v);
}

void Weblet::ParseForm(const char* text) { LParseUrlEncodedForm(fields, text); }
const char16_t* Weblet::HeaderText(const char16_t* name) const {
    const char16_t* v = Header(name);
    return v ? v : u"";
}

void Weblet::PeerText(char out[32]) const {
    std::snprintf(out, 32, "%u.%u.%u.%u", peer_ip & 0xFF, (peer_ip >> 8) & 0xFF, (peer_ip >> 16) & 0xFF,
                  (peer_ip >> 24) & 0xFF);
}

bool Weblet::OpenDatabase() {
    if (!session.db_open) session.db_open = database.Open(database.path, false);
    return session.db_open;
}

bool Weblet::Send(const void* data, size_t n, uint32_t timeout_ms) {
    if (n == 0) return true;
    if (connection.Send(data, n, timeout_ms) != 0) return false;
    bytes_sent += n;
    return true;
}

bool Weblet::SendStatus(int code, const char* reason) {
    return Printf("HTTP/1.1 %d %s\r\nContent-Length: 0\r\n\r\n", code, reason);
}

bool Weblet::SendJson(const void* body, size_t n) {
    if (!Printf("HTTP/1.1 200 OK\r\nCache-Control: no-cache\r\nContent-Type: application/json\r\nContent-Length: "
                "%Iu\r\n\r\n",
                static_cast<uint64_t>(n)))
        return false;
    return Send(body, n, 600000);
}

bool Weblet::IsCSRFSafe() {
    if (LWebCsrfAccepts(connection.IsSecure(), Header(u"Host"), Header(u"Referer"), Header(u"Origin"),
                        Header(u"X-AJAX")))
        return true;
    char peer[32];
    PeerText(peer);
    LUTF8FromWide route(route_key), origin(HeaderText(u"Origin")), referer(HeaderText(u"Referer")),
        host(HeaderText(u"Host")), agent(HeaderText(u"User-Agent"));
    LStringA line;
    line.Format("Weblet::IsCSRFSafe Host not matched on origin and referrer: %s %s Origin:%s Referrer:%s Host:%s \"%s\"",
                peer, route.text, origin.text, referer.text, host.text, agent.text);
    LLog(line.c_str(), LLogError);
    return false;
}

bool Weblet::CheckCSRF() {
    if (IsCSRFSafe()) return true;
    SendJsonText("{\"errorcode\":403,\"errormsg\":\"CSRF validation failed\"}");
    return false;
}

bool LWebletSendRedirect(Weblet& request, const char* location) {
    if (!location || !*location) return false;
    LStringA text;
    text.Format("HTTP/1.1 301 Moved Permanently\r\nLocation: %s\r\nContent-Length: 0\r\n\r\n", location);
    // A header block is never longer than this, whatever the URI.
    if (text.length > 8258) return false;
    return request.Send(text.c_str(), text.length, 60000);
}

bool Weblet::RedirectAppend(const char* suffix) {
    std::string_view uri = raw_uri.View().substr(0, 8193);
    size_t q = uri.find('?');
    std::string_view path = uri.substr(0, q);
    if (!path.empty() && path.back() == '/') path.remove_suffix(1);
    std::string location(path);
    location += suffix;
    if (q != std::string_view::npos) location += uri.substr(q);
    return LWebletSendRedirect(*this, location.c_str());
}

void Weblet::LogAccess() {
    LStringA line;
    char date[64];
    BeginHttpLogLine(*this, line, date);
    CsvQuotedHeader(line, *this, u"Host");
    char uri[260];
    LCopyFieldA(uri, raw_uri.c_str());
    CsvQuotedField(line, uri);
    CsvQuotedHeader(line, *this, u"Referer");
    CsvQuotedHeader(line, *this, u"User-Agent");
    line.Append("\r\n");
    LWebAccessLogFile().Append(LActivityLogFolder() + "/HTTP " + date + ".csv", line.c_str(), line.length);
}

void Weblet::LogHttpError(int code, const char* message, const char* uri) {
    LStringA line;
    char date[64];
    BeginHttpLogLine(*this, line, date);
    CsvQuotedHeader(line, *this, u"Host");
    CsvQuotedField(line, uri ? uri : raw_uri.c_str());
    char number[32];
    std::snprintf(number, sizeof number, "%d", code);
    CsvField(line, number);
    CsvQuotedField(line, message ? message : "");
    CsvQuotedHeader(line, *this, u"Referer");
    CsvQuotedHeader(line, *this, u"User-Agent");
    line.Append("\r\n");
    LWebHttpErrorLogFile().Append(LActivityLogFolder() + "/HTTP Error " + date + ".csv", line.c_str(),
                                  line.length);
}

void Weblet::MarkRequestStart(uint64_t tick) {
    std::lock_guard<std::mutex> lock(connection.current_lock);
    connection.current_route = route_key;
    connection.current_tick = tick;
}

void Weblet::MarkRequestEnd() {
    std::lock_guard<std::mutex> lock(connection.current_lock);
    connection.current_route = nullptr;
    connection.current_tick = 0;
}

void LWebletRouteAddStats(LWebletRoute* route, uint64_t elapsed_ms, const Weblet& request) {
    route->call_count.fetch_add(1, std::memory_order_relaxed);
    route->total_ms.fetch_add(elapsed_ms, std::memory_order_relaxed);
    route->bytes_in.fetch_add(request.bytes_received, std::memory_order_relaxed);
    route->bytes_out.fetch_add(request.bytes_sent, std::memory_order_relaxed);
}

void LWebletInvokeRoute(Weblet& request, LWebletRoute* route, uint64_t start_tick) {
    if (!route) {
        request.MarkRequestEnd();
        return;
    }
    route->page_handler(request, route, start_tick);
    uint64_t elapsed = LWebTickMs() - start_tick;
    request.MarkRequestEnd();
    LWebletRouteAddStats(route, elapsed, request);
}
