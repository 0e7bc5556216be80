// The metrics pages: every route's calls, time and bytes; the requests
// running now; the reset of the counters; and downloads from "Lang". All
// need a session: they show how the server is used, and the reset changes
// state.
#include <sys/stat.h>

#include <string>

#include "foundation/data_folder.h"
#include "foundation/time_source.h"
#include "foundation/utf8.h"
#include "web/http/routes.h"
#include "web/http/static_file.h"
#include "web/http/weblet.h"
#include "web/pages/page.h"
#include "web/server/web_server.h"

namespace {

constexpr const char* kHead =
    "HTTP/1.1 200 OK\r\nConnection: close\r\nCache-Control: no-cache\r\nContent-Type: text/html; charset=utf-8\r\n\r\n"
    "<html><head><title>%H</title><link href=s.css type='text/css' rel=stylesheet>"
    "<script type='text/javascript'>function LAddEventListener(obj, evName, handler) {"
    "if (evName.substr(0, 2) == 'on') evName = evName.substr(2);"
    "var fn = (typeof handler == 'string') ? function() { eval(handler); } : "
    "function(e) { handler(e ? e : window.event); };"
    "if (obj.addEventListener) obj.addEventListener(evName, fn, false); "
    "else if (obj.attachEvent) obj.attachEvent('on' + evName, fn);}</script>"
    "<script type='text/javascript' src='table.js'></script></head><body>"
    "<table class=headertable><tr><td class=headerapp>Porlinex</td><td class=headertitle>%H</td></tr></table>"
    "<table class=hltbl style='margin:0.8em;' data-sortcolumn=%d data-asc=%d><tr class=hlhtr>";
constexpr const char* kSortScript =
    "</table><script>LAddEventListener(window, 'onload', function(event) { "
    "document.getElementById(\"WMSortColumnDefault\").click(); });</script><p>";

bool Admitted(Weblet& request) {
    if (request.session.HasSession()) return true;
    LWebletRedirectToLogon(request);
    return false;
}

void HeaderCells(Weblet& request, const char* const* names, int n, int default_column) {
    for (int i = 0; i < n; ++i)
        request.Printf("<th data-sort=true style='cursor:pointer'%s><span class=hlhtd>%H</span></th>",
                       i == default_column ? " id='WMSortColumnDefault'" : "", names[i]);
    request.Printf("</tr>");
}

std::string Average(uint64_t total, uint64_t n) { return n ? std::to_string(total / n) : std::string(); }

void WriteMetricsRow(Weblet& request, const LWebletRoute& route) {
    uint64_t n = route.call_count.load(std::memory_order_relaxed);
    uint64_t ms = route.total_ms.load(std::memory_order_relaxed);
    uint64_t in = route.bytes_in.load(std::memory_order_relaxed);
    uint64_t out = route.bytes_out.load(std::memory_order_relaxed);
    std::string name = LToUtf8(route.name);
    std::string avg_ms = Average(ms, n), avg_in = Average(in, n), avg_out = Average(out, n);
    request.Printf("<tr><td class=hltd style='text-align:left;' data-order='%H'>%H</td>"
                   "<td class=hltd data-order='%08I64u%H'>%I64u</td><td class=hltd data-order='%08I64u%H'>%I64u</td>"
                   "<td class=hltd data-order=%s>%s</td><td class=hltd data-order=%I64u>%I64u</td>"
                   "<td class=hltd data-order=%s>%s</td><td class=hltd data-order=%I64u>%I64u</td>"
                   "<td class=hltd data-order=%s>%s</td></tr>",
                   name.c_str(), name.c_str(), n, name.c_str(), n, ms, name.c_str(), ms, avg_ms.c_str(),
                   avg_ms.c_str(), in / 1024, in / 1024, avg_in.c_str(), avg_in.c_str(), out / 1024, out / 1024,
                   avg_out.c_str(), avg_out.c_str());
}

void LWebScriptMetrics(Weblet& request, LWebletRoute*, uint64_t) {
    if (!Admitted(request)) return;
    request.keep_alive = false;
    request.Printf(kHead, "Web Server Metrics", "Web Server Metrics", 1, 1);
    static const char* const kCells[] = {"Script",  "Count",                  "Time (ms)", "Average (ms)",
                                         "Posted KB", "Average Posted (Bytes)", "Sent KB",   "Average Sent (Bytes)"};
    HeaderCells(request, kCells, 8, 0);
    // Page routes first, then JSON routes, each in name order.
    for (bool json : {false, true}) {
        struct Pass {
            Weblet* request;
            bool json;
        } pass{&request, json};
        LWebletForEachRoute(
            [](LWebletRoute* route, bool is_json, void* context) {
                auto* p = static_cast<Pass*>(context);
                if (is_json == p->json) WriteMetricsRow(*p->request, *route);
            },
            &pass);
    }
    request.Printf("%s<a href=\"_webscriptmetrics\">REFRESH</a><br><a href=\"_webscriptmetrics_current\">CURRENT "
                   "RUNNING</a><br><a href=\"_webscriptmetrics_reset\">RESET</a><br><p></body></html>",
                   kSortScript);
}

void ListCurrent(const char* label, LTCPListener& listener, uint64_t now, LStringA& rows) {
    listener.pool.ForEach([&](LThread* thread) {
        auto* connection = dynamic_cast<LWebletConnection*>(thread);
        if (!connection) return;
        std::string route;
        uint64_t start = 0;
        {
            std::lock_guard<std::mutex> hold(connection->current_lock);
            if (connection->current_route) route = LToUtf8(connection->current_route);
            start = connection->current_tick;
        }
        if (route.empty() || start == 0) return;
        uint64_t elapsed = start < now ? now - start : 0;
        rows.AppendFormat("<tr><td class=hltd style='text-align:left;' data-order='%H'>%H</td><td class=hltd "
                          "style='text-align:left;' data-order='%H'>%H</td><td class=hltd "
                          "data-order='%08I64u%H'>%I64u</td></tr>",
                          label, label, route.c_str(), route.c_str(), elapsed, route.c_str(), elapsed);
    });
}

void LWebScriptMetricsCurrent(Weblet& request, LWebletRoute*, uint64_t) {
    if (!Admitted(request)) return;
    request.keep_alive = false;
    LStringA rows;
    uint64_t now = LWebTickMs();
    if (LWebServer* server = LWebServerCurrent()) {
        ListCurrent("HTTP", server->plain, now, rows);
        ListCurrent("HTTPS", server->secure, now, rows);
    }
    request.Printf(kHead, "Web Server Current Scripts", "Web Server Current Scripts", 2, 0);
    static const char* const kCells[] = {"Listener", "Script", "Running (ms)"};
    HeaderCells(request, kCells, 3, 1);
    if (rows.length) {
        request.Send(rows.c_str(), rows.length, 600000);
    } else {
        request.Printf("<tr><td class=hltd colspan=3>No scripts are running right now.</td></tr>");
    }
    request.Printf("%s<a href=\"_webscriptmetrics_current\">REFRESH</a><br><a href=\"_webscriptmetrics\">AVERAGE "
                   "METRICS</a><br><p></body></html>",
                   kSortScript);
}

void LWebScriptMetricsReset(Weblet& request, LWebletRoute*, uint64_t) {
    if (!Admitted(request)) return;
    LWebletForEachRoute(
        [](LWebletRoute* route, bool json, void*) {
            if (!json) route->ResetStats();
        },
        nullptr);
    LWebletRedirectTo(request, "_webscriptmetrics");
}

// Only a regular file directly in "Lang": the name is what follows the last
// "/" or "\", never "." or "..", and the file server resolves it beneath
// the folder without following links.
void LWebScriptLxaMapDownload(Weblet& request, LWebletRoute*, uint64_t) {
    if (!Admitted(request)) return;
    const char16_t* field = request.Field(u"file");
    std::string file = field ? LToUtf8(field) : std::string();
    size_t cut = file.find_last_of("/\\");
    std::string name = cut == std::string::npos ? file : file.substr(cut + 1);
    if (file.size() == 2 && file[1] == ':') name.clear();
    char16_t folder[260];
    LGetDataSubfolder(u"Lang", folder);
    std::string lang = LToUtf8(folder);
    mkdir(lang.c_str(), 0700);
    bool safe = !name.empty() && name != "." && name != ".." && name.size() <= 259;
    LWebFileResult result = safe ? LWebletSendFile(request, lang, name) : LWebFileResult::NotFound;
    if (result == LWebFileResult::NotFound || result == LWebFileResult::IsFolder) request.SendStatus(404, "Not Found");
}

[[maybe_unused]] const LWebletRoute* g_metrics = LWebletRegisterRoute(u"_webscriptmetrics", LWebScriptMetrics, 1);
[[maybe_unused]] const LWebletRoute* g_current =
    LWebletRegisterRoute(u"_webscriptmetrics_current", LWebScriptMetricsCurrent, 1);
[[maybe_unused]] const LWebletRoute* g_reset =
    LWebletRegisterRoute(u"_webscriptmetrics_reset", LWebScriptMetricsReset, 1);
[[maybe_unused]] const LWebletRoute* g_download =
    LWebletRegisterRoute(u"_webscriptlxamapdownload", LWebScriptLxaMapDownload, 1);

}  // namespace
