// The dialog page: a form drawn by a GET, submitted by script, answered
// with a short script that the browser runs.
#include <cstring>

#include "foundation/utf8.h"
#include "web/http/weblet.h"
#include "web/pages/page.h"
#include "web/pages/page_text.h"

namespace {

constexpr const char* kTextHead =
    "HTTP/1.1 200 OK\r\nConnection: close\r\nCache-Control: no-cache\r\nContent-Type: text/plain\r\n\r\n";

std::string Trimmed(const std::string& s) {
    size_t a = s.find_first_not_of(" \t\r\n");
    if (a == std::string::npos) return {};
    size_t b = s.find_last_not_of(" \t\r\n");
    return s.substr(a, b - a + 1);
}

std::string JsString(const std::string& text) {
    LStringA out;
    LWebAppendJsString(out, text);
    return std::string(out.View());
}

}  // namespace

LWebDialogPage::LWebDialogPage(Weblet& r) : LWebPage(r) {
    AddScript("function CmSubmit() {window.onbeforeunload = null;DisableSubmits(true);SimpleAjaxCall('" +
              JsString(RouteName()) +
              "', GetParams('dialogform') + 'submit=' + encodeURIComponent(document.pressed), HandleAjaxJSReturn, "
              "function() { DisableSubmits(false); }, function() { DisableSubmits(false); }, 1200000);return false;}");
    AddScript("function DisableSubmits(bDisable) {submits = document.getElementsByName('submit');for (i = 0; i < "
              "submits.length; i++) {submits[i].disabled = bDisable;}}");
}

std::string LWebDialogPage::GetControlValue(int id) const {
    char16_t name[16];
    std::string n = std::to_string(id);
    for (size_t i = 0; i <= n.size(); ++i) name[i] = static_cast<char16_t>(n.c_str()[i]);
    const char16_t* v = request.Field(name);
    return v ? LToUtf8(v) : std::string();
}

std::string LWebDialogPage::GetControlText(int id) const { return Trimmed(GetControlValue(id)); }

std::string LWebDialogPage::GetControlTitle(int id) const {
    auto it = titles.find(id);
    return it == titles.end() ? std::string() : it->second;
}

std::string LWebDialogPage::OnOk() {
    std::string fallback = LWebLocalReferer(request);
    return LWebLocalTargetField(request, u"onok", fallback.empty() ? default_onok : fallback);
}

std::string LWebDialogPage::OnCancel() {
    return LWebLocalTargetField(request, u"oncancel", default_oncancel.empty() ? OnOk() : default_oncancel);
}

void LWebDialogPage::Redirect(const std::string& target) {
    if (!in_submit) return LWebPage::Redirect(target);
    SetSessionCookieScript(target);
}

void LWebDialogPage::RunDialog() {
    if (!CheckAccess() || HandleControlAjax()) return;
    const char16_t* submit = request.Field(u"submit");
    if (!submit || !*submit) submit = request.Field(u"submitdef");
    if (!submit || !*submit) {
        OnInit();
        RenderDialog();
        return;
    }
    // A submit changes state (a password, a reset letter): only our own
    // pages may send one.
    if (!request.IsCSRFSafe()) {
        request.SendStatus(403, "Forbidden. Host not matched.");
        return;
    }
    request.keep_alive = false;
    Out(kTextHead);
    std::string v = LToUtf8(submit);
    in_submit = true;
    if (!ok_label.empty() && v == ok_label) {
        if (!CmOk()) {
            if (!reply_done) Out("DisableSubmits(false)");
        } else if (!reply_done) {
            SetSessionCookieScript(OnOk());
        }
    } else if (!cancel_label.empty() && v == cancel_label) {
        if (!reply_done) SetSessionCookieScript(OnCancel());
    }
}

void LWebDialogPage::RenderDialog() {
    if (title.empty()) title = heading;
    bool mobile = LWebIsMobileClient(request);
    RenderHeader();
    IncludeAjaxScript();
    const char* centre_style = !centred ? "" : mobile ? " style='width:100%;'" : " style='margin:auto; text-align:left'";
    if (centred) Out("<div class=centerwrapper>");
    if (mobile) {
        Outf("<div id=dialogcontainer%s>", centre_style);
    } else {
        Outf("<table id=dialogcontainer border=0%s><tr><td>", centre_style);
    }
    Outf("<form id=dialogform action='%H' method=post style='width:100%%' onsubmit='return (CmSubmit())'>",
         RouteName().c_str());
    if (mobile) {
        Out("<table id=controltable style='border:0px;'>");
    } else {
        std::string width = width_percent > 0 ? std::to_string(width_percent) + "%" : "auto";
        Outf("<table id=controltable style='border:#bbbbbb 1px solid; width:%s'>", width.c_str());
    }
    bool has_heading = !heading.empty() && !mobile;
    if (has_heading) Outf("<tr class=dc><td%s>%H</td>", top_buttons ? "" : " colspan=2", heading.c_str());
    if (top_buttons) WriteButtonRow("top");
    if (has_heading) Out("</tr>");
    Outf("<tr style='background-color:#fbfbfb;'><td colspan=2 style='%sborder-bottom: 1px solid #bbbbbb;'><table "
         "border=0>",
         top_buttons && !has_heading ? "border-top: 1px solid #bbbbbb; " : "");
    RenderContent();
    Out("</table></td></tr>");
    WriteButtonRow("bottom");
    Outf("<input type=hidden name=onok value='%H'><input type=hidden name=oncancel value='%H'>", OnOk().c_str(),
         OnCancel().c_str());
    Out("</td></tr></table></form>");
    Out(mobile ? "</div>" : "</td>");
    if (!mobile) Out("</tr></table>");
    if (centred) Out("</div>");
    if (focus_id)
        AddScript("LAddEventListener(window, 'onload', function() {setTimeout('document.getElementById(" +
                  std::to_string(focus_id) + ").focus();', 1)});");
    WriteScripts();
    LWebletEndHtmlPage(request);
}

void LWebDialogPage::WriteButtonRow(const char* position) {
    bool top = std::strcmp(position, "top") == 0;
    if (top) Out("<tr>");
    if (ok_label.empty() && cancel_label.empty()) {
        Out("<td style='text-align:left;'>");
        return;
    }
    if (checkbox_id) {
        Outf("<tr><td style='font-size:x-small;'><label style='vertical-align: middle;'><input type=checkbox "
             "title='%H' id=%d%s name=%d%s style='vertical-align: middle;'/>%H</label></td><td "
             "style='text-align:right;'>",
             GetControlTitle(checkbox_id).c_str(), checkbox_id, position, checkbox_id,
             GetControlValue(checkbox_id).empty() ? "" : " checked", checkbox_label.c_str());
    } else {
        Out("<tr><td align=right>");
    }
    if (!ok_label.empty()) {
        Outf("<input type=submit name=submit value='%H' id=%d onclick='document.pressed=this.value' "
             "style='font-family: Arial,sans-serif; font-size: 10pt;'>",
             ok_label.c_str(), top ? 54545 : 54546);
        if (!top) Outf("<input type=hidden name=submitdef value='%H'>", ok_label.c_str());
    }
    if (!cancel_label.empty())
        Outf("&nbsp;<input type=submit name=submit value='%H' id=%d onclick='document.pressed=this.value' "
             "style='font-family: Arial,sans-serif; font-size: 10pt;'>",
             cancel_label.c_str(), top ? 54547 : 54548);
}

void LWebDialogPage::SetError(int id, const std::string& message) {
    error_id = id;
    focus_id = id;
    error_message = message;
    // The row goes before the control's own row; the message is text, never
    // markup, and each line feed becomes a line break.
    Out("(function(){var old=document.getElementById('invalidTag');"
        "if(old){var r=old;while(r&&r.tagName!='TR')r=r.parentNode;if(r)r.parentNode.removeChild(r);}"
        "var e=document.getElementById('" +
        std::to_string(id) +
        "');if(!e)return;var row=e;while(row&&row.tagName!='TR')row=row.parentNode;if(!row)return;"
        "var tr=document.createElement('tr'),td=document.createElement('td'),d=document.createElement('div');"
        "td.colSpan=2;d.id='invalidTag';d.style.color='#a00000';var lines='" +
        JsString(message) +
        "'.split('\\n');for(var i=0;i<lines.length;i++){if(i)d.appendChild(document.createElement('br'));"
        "d.appendChild(document.createTextNode(lines[i]));}td.appendChild(d);tr.appendChild(td);"
        "row.parentNode.insertBefore(tr,row);e.focus();})();\nwindow.scroll(0,0);\n");
}

void LWebDialogPage::BeginControlRow(int id, int span) {
    if (columns < 2) {
        if (id == error_id) {
            Outf("<tr><td colspan=2><font color=#a00000>%H</font></td></tr>", error_message.c_str());
            Out(span > 0 ? "<tr bgcolor=#ffe0e0><td colspan=2>" : "<tr><td>");
        } else {
            Out(span > 0 ? "<tr><td colspan=2>" : "<tr><td>");
        }
        for (int i = 0; i < indent; ++i) Out("&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;");
    } else {
        Out(span > 0 ? "<td colspan=2>" : "<td>");
        ++columns;
    }
}

void LWebDialogPage::WriteTextControl(const std::string& label, int size) {
    const int id = 101;
    Outf("<label for=%d>%H</label></td><td><input id=%d name=%d type=text value='%H' size=%d title='%H'>", id,
         label.c_str(), id, id, GetControlValue(id).c_str(), size, GetControlTitle(id).c_str());
    EndCell();
}

void LWebDialogPage::WritePasswordControl(int id, const std::string& label, int size) {
    // A password is never sent back into the page.
    Outf("<label for=%d>%H</label></td><td><input id=%d name=%d type=password value='' size=%d title='%H'>", id,
         label.c_str(), id, id, size, GetControlTitle(id).c_str());
    EndCell();
}
