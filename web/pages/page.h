#pragma once
// Server-made HTML pages. An LWebPage is built on a route handler's stack
// for one request and writes the standard head, its content, the page
// script and the tail straight to the connection. An LWebDialogPage adds a
// form whose buttons submit by script; the server's answer to a submit is a
// short script that the browser runs (ajax.js of the web folder).
#include <map>
#include <string>
#include <vector>

#include "foundation/lstring.h"

class Weblet;

struct LWebNavLink {
    const char* href;
    const char* text;  // null ends a list
    bool new_window;
};

// The 200 head of an HTML page (always "Connection: close").
bool LWebletBeginHtmlPage(Weblet& request, const std::string& nav_links, const std::string& title,
                          const std::string& user, const std::string& css);
bool LWebletEndHtmlPage(Weblet& request);
// 302 to a local target (see LWebIsLocalTarget); anything else goes to
// "main".
bool LWebletRedirectTo(Weblet& request, const std::string& target);
// To the log-on page with this page as the return target. Only the query of
// the request's own URI is carried, never posted fields: a password would
// land in the address bar and the logs.
bool LWebletRedirectToLogon(Weblet& request);

class LWebPage {
public:
    explicit LWebPage(Weblet& request);
    virtual ~LWebPage() = default;
    LWebPage(const LWebPage&) = delete;
    LWebPage& operator=(const LWebPage&) = delete;

    virtual void Run();
    // Default: a loaded session, else a redirect to the log-on page.
    virtual bool CheckAccess();
    virtual void RenderContent() {}
    virtual void Redirect(const std::string& target);
    virtual void RenderHeader();

    void SetNavigationLinks(const LWebNavLink* links);
    // Appends a snippet to the page script unless it is there already.
    void AddScript(const std::string& snippet);
    void IncludeAjaxScript();
    void WriteContent();
    void WriteScripts();
    bool HandleControlAjax();
    // Sends the browser on to a local target after a submit. The session
    // cookie is never set from script: it would lose HttpOnly.
    void SetSessionCookieScript(const std::string& target);
    void EndCell();
    // Sends UTF-8 text as it stands.
    void Out(const std::string& text);
    template <class... A>
    void Outf(const char* fmt, const A&... a) {
        LStringA text;
        text.Format(fmt, a...);
        Out(std::string(text.View()));
    }
    std::string RouteName() const;

    Weblet& request;
    std::string script;
    std::vector<std::string> included;
    std::string nav_links;
    std::string title;
    std::string css;
    int columns = 0;  // table columns written in the current control row
    bool in_submit = false;
    bool reply_done = false;
};

class LWebDialogPage : public LWebPage {
public:
    explicit LWebDialogPage(Weblet& request);

    void Redirect(const std::string& target) override;
    virtual void OnInit() {}
    virtual bool CmOk() { return true; }
    virtual void WriteButtonRow(const char* position);

    void RunDialog();
    void RenderDialog();
    void SetDefaultOnOk(const std::string& target) { default_onok = target; }
    void SetDefaultOnCancel(const std::string& target) { default_oncancel = target; }
    // The request field of control id, as UTF-8 (empty when missing).
    std::string GetControlValue(int id) const;
    // The same with blanks trimmed at both ends.
    std::string GetControlText(int id) const;
    std::string GetControlTitle(int id) const;
    void SetError(int id, const std::string& message);
    void BeginControlRow(int id, int span);
    void WriteTextControl(const std::string& label, int size);
    void WritePasswordControl(int id, const std::string& label, int size);
    // The checked targets the dialog answers with.
    std::string OnOk();
    std::string OnCancel();

    std::string ok_label = "  OK  ";
    std::string cancel_label = "Cancel";  // empty: no Cancel button
    std::map<int, std::string> titles;
    int error_id = -2;
    std::string error_message;
    int focus_id = 0;
    int checkbox_id = 0;
    std::string checkbox_label;
    std::string heading;
    int width_percent = 0;
    int indent = 0;
    bool centred = true;
    bool top_buttons = true;
    std::string default_onok = "main";
    std::string default_oncancel;
};
