// The window tree as JSON, what the tests compare with the accessibility
// tree and the X server's windows.
#include <cstdio>

#include "foundation/json_writer.h"
#include "toolkit/pango_measure.h"
#include "toolkit/window_record.h"

const char* LWindowRole(LHwnd h) {
    LWndRef w = LWndFind(h);
    if (!w) return "";
    auto is = [&](const char16_t* n) { return LClassIs(*w, n); };
    if (!(w->style & LWS_CHILD)) return is(u"tooltips_class32") ? "window" : w->is_dialog ? "dialog" : "frame";
    if (is(u"Button")) {
        switch (w->style & LBS_TYPEMASK) {
        case LBS_AUTOCHECKBOX:
        case LBS_CHECKBOX: return "check box";
        case LBS_AUTORADIOBUTTON: return "radio button";
        default: return "push button";
        }
    }
    if (is(u"Static")) {
        uint32_t t = w->style & LSS_TYPEMASK;
        if (t == LSS_ICON) return "icon";
        if (t == LSS_ETCHEDHORZ || t == LSS_ETCHEDFRAME) return "separator";
        return "label";
    }
    if (is(u"Edit")) return "text";
    if (is(u"ComboBox")) return "combo box";
    if (is(u"msctls_progress32")) return "progress bar";
    if (is(u"SysListView32")) return "scroll pane";
    if (is(u"SysTabControl32")) return "page tab list";
    return "drawing area";
}

static void DumpOne(LJsonWriter& j, LHwnd h) {
    LWndRef w = LWndFind(h);
    if (!w) return;
    LRect r = LGetWindowRect(h);
    j.BeginObject();
    j.Int("handle", static_cast<int>(h));
    j.StringUTF8("class", LUtf8Of(w->cls).c_str());
    j.StringUTF8("role", LWindowRole(h));
    j.StringUTF8("name", LUtf8Of(w->text).c_str());
    j.Int("id", static_cast<int>(w->id));
    j.Int("x", r.left);
    j.Int("y", r.top);
    j.Int("width", r.Width());
    j.Int("height", r.Height());
    j.Bool("visible", LIsWindowVisible(h));
    j.Bool("enabled", w->enabled);
    j.Int("checked", w->check);
    j.EndObject();
    for (LHwnd c : w->children) DumpOne(j, c);
}

std::string LDumpWindowTree(LHwnd root) {
    LStringA out;
    LJsonWriter j(out);
    j.BeginArray();
    DumpOne(j, root);
    j.EndArray();
    return std::string(out.View());
}
