// "main": where the page header, every "Main" link, Cancel and a dialog's
// default target send the browser. The home page is a file of the web
// folder; the redirect keeps one name for it in the server-made pages.
#include "web/http/routes.h"
#include "web/http/weblet.h"

namespace {

void LWebMain(Weblet& request, LWebletRoute*, uint64_t) {
    // 302, not 301: a browser keeps a permanent redirect for good, and the
    // home page's name is the interface's to change.
    request.Printf("HTTP/1.1 302 Found\r\nLocation: %s\r\nContent-Length: 0\r\n\r\n", "index.html");
}

[[maybe_unused]] const LWebletRoute* g_route = LWebletRegisterRoute(u"main", LWebMain, 0);

}  // namespace
