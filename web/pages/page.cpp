// The plain page: head, content, script, tail; and the request's page
// operations (HTML head, redirects).
#include "web/pages/page.h"

#include "foundation/format.h"
#include "foundation/utf8.h"
#include "web/http/weblet.h"
#include "web/pages/page_text.h"

namespace {

// LAddEventListener: addEventListener where the browser has it, else
// attachEvent; a leading "on" of the event name is dropped; a text handler
// is run with eval, a function handler gets the event.
constexpr const char* kEventListenerScript =
    "<script type='text/javascript'><!--\n"
    "function LAddEventListener(obj, evName, handler) {\n"
    "if (evName.substr(0, 2) == 'on') evName = evName.substr(2);\n"
    "var fn = (typeof handler == 'string') ? function() { eval(handler); } : "
    "function(e) { handler(e ? e : window.event); };\n"
    "if (obj.addEventListener) obj.addEventListener(evName, fn, false); "
    "else if (obj.attachEvent) obj.attachEvent('on' + evName, fn);\n"
    "}\n//-->\n</script>";

}  // namespace

bool LWebletBeginHtmlPage(Weblet& request, const std::string& nav_links, const std::string& title,
                          const std::string& user, const std::string& css) {
    request.keep_alive = false;
    LStringA head;
    head.Append("HTTP/1.1 200 OK\r\nConnection: close\r\nCache-Control: no-cache\r\nContent-Type: text/html; "
                "charset=utf-8\r\n\r\n<html><head><title>Porlinex");
    if (!title.empty()) head.AppendFormat(" - %H", title.c_str());
    head.Append("</title><link href=s.css type='text/css' rel=stylesheet><link href=print.css type='text/css' "
                "media=print rel=stylesheet>");
    if (!css.empty()) head.AppendFormat("<style type='text/css'>%s</style>", css.c_str());
    if (LWebIsMobileClient(request)) {
        head.Append("<meta name='viewport' content='width=device-width'></head><body>");
        if (!nav_links.empty())
            head.AppendFormat("<div class=headernavlinks style='font-size: 16pt; line-height: 44px; margin-top: "
                              "3px'>%s</div>",
                              nav_links.c_str());
    } else {
        head.AppendFormat("</head><body><table class=headertable border=0><tr class=headerrow1 style='height: %spx'>"
                          "<td class=headerapp style='font-size: %spt; cursor: pointer; cursor: hand' "
                          "onclick=\"document.location='main'\" title='Click to go to the Main Page'>%H</td>",
                          "44", "16", "Porlinex");
        head.AppendFormat("<td class=headertitle>%H</td>", title.c_str());
        if (!nav_links.empty()) head.AppendFormat("<td class=headernavlinks>%s</td>", nav_links.c_str());
        head.Append("</tr><tr class=headerrow2><td class=headerversion colspan=2>Porlinex local mail mirror</td>");
        if (!user.empty()) head.AppendFormat("<td class=headeruser colspan=3>Logged on as %H</td>", user.c_str());
        head.Append("</tr></table><br>");
    }
    return request.Send(head.c_str(), head.length, 20000);
}

bool LWebletEndHtmlPage(Weblet& request) { return request.Send("</body></html>", 14, 600000); }

bool LWebletRedirectTo(Weblet& request, const std::string& target) {
    // Only local targets reach the Location header: no other host, and no
    // line break that would start a header of the caller's choosing.
    const std::string& to = LWebIsLocalTarget(target) ? target : std::string("main");
    return request.Printf("HTTP/1.1 302 Found\r\nLocation: %s\r\nContent-Length: 0\r\n\r\n", to.c_str());
}

bool LWebletRedirectToLogon(Weblet& request) {
    std::string_view uri = request.raw_uri.View();
    size_t q = uri.find('?');
    std::string back = LToUtf8(request.route_key);
    if (q != std::string_view::npos && q + 1 < uri.size()) {
        back += "?";
        back += uri.substr(q + 1);
    }
    if (back.size() >= 260 || !LWebIsLocalTarget(back)) return LWebletRedirectTo(request, "logon");
    LStringA target;
    target.Append("logon?onok=");
    LAppendUrlEncodedA(target, back.c_str());
    return LWebletRedirectTo(request, std::string(target.View()));
}

LWebPage::LWebPage(Weblet& r) : request(r) {}

std::string LWebPage::RouteName() const { return LToUtf8(request.route_key); }

void LWebPage::Out(const std::string& text) { request.Send(text.data(), text.size(), 600000); }

void LWebPage::Run() {
    if (!CheckAccess() || HandleControlAjax()) return;
    RenderHeader();
    WriteContent();
    LWebletEndHtmlPage(request);
}

bool LWebPage::CheckAccess() {
    if (request.session.HasSession()) return true;
    LWebletRedirectToLogon(request);
    return false;
}

void LWebPage::Redirect(const std::string& target) { LWebletRedirectTo(request, target); }

void LWebPage::RenderHeader() {
    std::string user = request.session.HasSession() ? LToUtf8(request.session.user_email) : std::string();
    LWebletBeginHtmlPage(request, nav_links, title, user, css);
    Out(kEventListenerScript);
}

void LWebPage::SetNavigationLinks(const LWebNavLink* links) {
    LStringA html;
    for (const LWebNavLink* l = links; l && l->text; ++l)
        html.AppendFormat("<a href='%H' class=toptext%s>%H</a>&nbsp;&nbsp;", l->href,
                          l->new_window ? " target=_blank" : "", l->text);
    nav_links = std::string(html.View());
}

void LWebPage::AddScript(const std::string& snippet) {
    if (script.find(snippet) == std::string::npos) script += snippet;
}

void LWebPage::IncludeAjaxScript() {
    for (const std::string& f : included)
        if (f == "ajax.js") return;
    included.emplace_back("ajax.js");
    Out("<script type='text/javascript' src='ajax.js'></script>");
}

void LWebPage::WriteContent() {
    std::string agent = LToUtf8(request.HeaderText(u"User-Agent"));
    Outf("<div class=contenttable%s%s>", agent.find("MSIE") != std::string::npos ? " style='margin:0px'" : "",
         LWebIsMobileClient(request) ? " style='width:100%;'" : "");
    RenderContent();
    Out("</div>");
    WriteScripts();
}

void LWebPage::WriteScripts() {
    if (script.empty()) return;
    Out("<script type='text/javascript'><!--\n" + script + "\n//-->\n</script>");
}

bool LWebPage::HandleControlAjax() {
    const char16_t* ajax = request.Field(u"isComAJAX");
    const char16_t* control = request.Field(u"MainControlId");
    if (!ajax || ajax[0] != u'1' || !control || !*control) return false;
    request.keep_alive = false;
    Out("HTTP/1.1 200 OK\r\nConnection: close\r\nCache-Control: no-cache\r\nContent-Type: text/plain\r\n\r\n");
    return true;
}

void LWebPage::SetSessionCookieScript(const std::string& target) {
    LStringA js;
    js.Append("window.location = '");
    LWebAppendJsString(js, LWebIsLocalTarget(target) ? target : "main");
    js.Append("';\n");
    Out(std::string(js.View()));
    if (in_submit) reply_done = true;
}

void LWebPage::EndCell() {
    if (columns == 0) {
        Out("</td></tr>");
    } else {
        Out("</td>");
    }
}
