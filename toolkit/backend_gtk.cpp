// The GTK 3 backend: a top-level window is a GtkWindow holding a GtkFixed,
// each control the matching GTK widget placed in it at the layer's
// rectangle. What the user does arrives as GTK signals, which become the
// layer's messages (posted, so window procedures only ever run from the
// layer's own loops).
#include <glib-unix.h>
#include <gtk/gtk.h>
#include <poll.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "foundation/log.h"
#include "toolkit/controls.h"
#include "toolkit/gtk_peer.h"
#include "toolkit/gtk_signals.h"
#include "toolkit/key_names.h"
#include "toolkit/pango_measure.h"
#include "toolkit/window_record.h"

namespace {

// Widgets get no padding of their own beyond what the layout gives them:
// the rectangles the layer computes are the rectangles on screen.
constexpr const char* kTightCss =
    "button { min-height: 0; min-width: 0; padding: 1px 4px; }"
    "checkbutton, radiobutton { min-height: 0; padding: 0; }"
    "entry { min-height: 0; padding: 0 4px; }"
    "progressbar trough, progressbar progress { min-height: 0; min-width: 0; }"
    "separator { min-height: 1px; min-width: 1px; margin: 0; }"
    ".porlinex-balloon { border: 1px solid #888; background-color: #ffffe1; }";

std::string Hex(LColor c) {
    char b[8];
    std::snprintf(b, sizeof b, "#%02x%02x%02x", c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF);
    return b;
}

bool IsClass(const LWnd& w, const char16_t* name) { return LClassIs(w, name); }

uint32_t ButtonType(const LWnd& w) { return w.style & LBS_TYPEMASK; }

// GTK asks a wrapped or ellipsized label for the width of its whole text
// on one line, and a window grows to that; the layout has already given
// every label its width, so a label asks for no more than one character.
void FitLabel(GtkLabel* label) { gtk_label_set_max_width_chars(label, 1); }

// A push button's text stays on one line and is cut with an ellipsis when
// its rectangle is too narrow (so the button never outgrows it); choice,
// check box and command link texts wrap.
void LabelButton(const LWnd& w, GtkLabel* label) {
    uint32_t type = ButtonType(w);
    if (type == LBS_AUTORADIOBUTTON || type == LBS_AUTOCHECKBOX || type == LBS_CHECKBOX || type == LBS_COMMANDLINK) {
        gtk_label_set_line_wrap(label, TRUE);
        gtk_label_set_line_wrap_mode(label, PANGO_WRAP_WORD_CHAR);
        gtk_label_set_xalign(label, 0);
    } else {
        gtk_label_set_ellipsize(label, PANGO_ELLIPSIZE_END);
    }
    FitLabel(label);
}

class GtkBackend : public LWindowBackend {
public:
    GtkBackend() {
        GtkCssProvider* css = gtk_css_provider_new();
        gtk_css_provider_load_from_data(css, kTightCss, -1, nullptr);
        gtk_style_context_add_provider_for_screen(gdk_screen_get_default(), GTK_STYLE_PROVIDER(css),
                                                  GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
        g_object_unref(css);
        context_ = gdk_pango_context_get_for_screen(gdk_screen_get_default());
    }
    ~GtkBackend() override {
        if (context_) g_object_unref(context_);
    }
    LBackendKind Kind() const override { return LBackendKind::Gtk; }

    void Created(LWnd& w) override {
        auto* p = new LGtkPeer;
        w.peer = p;
        if (!(w.style & LWS_CHILD)) CreateTopLevel(w, *p);
        else CreateControl(w, *p);
        if (p->widget) {
            g_object_ref_sink(p->widget);
            g_object_set_data(G_OBJECT(p->widget), "lhwnd", GUINT_TO_POINTER(static_cast<uint32_t>(w.handle)));
        }
        Changed(w, LChangeText | LChangeRect | LChangeFont | LChangeState | LChangeEnabled | LChangeStyle);
    }

    void Destroyed(LWnd& w) override {
        LGtkPeer* p = LGtkPeerOf(w);
        if (!p) return;
        if (p->pulse) g_source_remove(p->pulse);
        LGtkDestroyScrollBars(*p);
        if (p->widget) {
            g_object_set_data(G_OBJECT(p->widget), "lhwnd", nullptr);
            gtk_widget_destroy(p->widget);
            g_object_unref(p->widget);
        }
        if (p->css) g_object_unref(p->css);
        delete p;
        w.peer = nullptr;
    }

    void Changed(LWnd& w, uint32_t what) override {
        LGtkPeer* p = LGtkPeerOf(w);
        if (!p || !p->widget) return;
        if (what & LChangeText) SetText(w, *p);
        if (what & (LChangeFont | LChangeColors)) SetStyle(w, *p);
        // A self-painted control repaints on every invalidation.
        if ((what & LChangeColors) && GTK_IS_DRAWING_AREA(p->widget)) gtk_widget_queue_draw(p->widget);
        if (what & LChangeState) SetState(w, *p);
        if (what & LChangeTools) SetTools(w, *p);
        if (what & LChangeList) SetList(w, *p);
        if (what & LChangeScroll) {
            LGtkSyncScrollBars(w, *p);
            Place(w, *p);
            LGtkShowScrollBars(w, *p);
        }
        if ((what & (LChangeList | LChangeState)) && GTK_IS_COMBO_BOX_TEXT(p->widget))
            LGtkComboSync(p->widget, w, (what & LChangeList) != 0);
        if (what & LChangeRect) Place(w, *p);
        if (what & LChangeEnabled) gtk_widget_set_sensitive(p->widget, w.enabled);
        if (what & LChangeStyle && GTK_IS_WINDOW(p->widget)) {
            gtk_window_set_deletable(GTK_WINDOW(p->widget), (w.style & LWS_SYSMENU) != 0);
            gtk_window_set_keep_above(GTK_WINDOW(p->widget), (w.exstyle & LWS_EX_TOPMOST) != 0);
        }
        if (what & LChangeVisible) {
            if (w.visible) {
                if (GTK_IS_WINDOW(p->widget) && !IsClass(w, u"tooltips_class32")) {
                    gtk_widget_show_all(p->widget);
                    gtk_window_present(GTK_WINDOW(p->widget));
                } else {
                    gtk_widget_show(p->widget);
                }
                ShowDescendants(w, true);
            } else {
                gtk_widget_hide(p->widget);
                ShowDescendants(w, false);
            }
            LGtkShowScrollBars(w, *p);
        }
        // A scrolled edit or list takes the keys in its inner widget.
        if (what & LChangeFocus) gtk_widget_grab_focus(p->inner ? p->inner : p->widget);
    }

    LSize MeasureText(const LFontDesc& font, std::u16string_view text, int wrap_width) override {
        return LPangoMeasure(context_, font, text, wrap_width);
    }

    LFontDesc InterfaceFont() override {
        gchar* name = nullptr;
        g_object_get(gtk_settings_get_default(), "gtk-font-name", &name, nullptr);
        LFontDesc f;
        if (name) {
            PangoFontDescription* d = pango_font_description_from_string(name);
            if (const char* fam = pango_font_description_get_family(d)) f.family = fam;
            int size = pango_font_description_get_size(d);
            if (size > 0) f.points = static_cast<double>(size) / PANGO_SCALE;
            pango_font_description_free(d);
            g_free(name);
        }
        return f;
    }

    LRect DesktopRect() override {
        GdkRectangle all{0, 0, 0, 0};
        GdkDisplay* d = gdk_display_get_default();
        for (int i = 0; i < gdk_display_get_n_monitors(d); ++i) {
            GdkRectangle g;
            gdk_monitor_get_geometry(gdk_display_get_monitor(d, i), &g);
            gdk_rectangle_union(&all, &g, &all);
        }
        return {all.x, all.y, all.x + all.width, all.y + all.height};
    }

    LRect WorkAreaAt(LPoint p) override {
        GdkDisplay* d = gdk_display_get_default();
        GdkMonitor* m = gdk_display_get_monitor_at_point(d, p.x, p.y);
        if (!m) m = gdk_display_get_primary_monitor(d);
        if (!m) return DesktopRect();
        GdkRectangle r;
        gdk_monitor_get_workarea(m, &r);
        return {r.x, r.y, r.x + r.width, r.y + r.height};
    }

    // The window manager draws frames outside the client area it is given.
    LRect FrameInsets(const LWnd&) override { return {}; }

    int Wait(const int* fds, uint32_t n, uint32_t ms) override {
        if (n == 0) {
            while (g_main_context_iteration(nullptr, FALSE)) {
            }
            if (ms == 0) return LWaitTimeoutResult;
        }
        struct Flag {
            bool hit = false;
        } flag, timed_out;
        std::vector<guint> sources;
        for (uint32_t i = 0; i < n; ++i)
            sources.push_back(g_unix_fd_add(
                fds[i], static_cast<GIOCondition>(G_IO_IN | G_IO_HUP | G_IO_ERR),
                [](gint, GIOCondition, gpointer f) -> gboolean {
                    static_cast<Flag*>(f)->hit = true;
                    return G_SOURCE_CONTINUE;
                },
                &flag));
        if (ms != LInfinite)
            sources.push_back(g_timeout_add(ms, [](gpointer f) -> gboolean {
                static_cast<Flag*>(f)->hit = true;
                return G_SOURCE_REMOVE;
            }, &timed_out));
        int result = LWaitTimeoutResult;
        for (;;) {
            g_main_context_iteration(nullptr, TRUE);
            if (flag.hit) {
                int r = LowestReadable(fds, n);
                if (r >= 0) {
                    result = r;
                    break;
                }
                flag.hit = false;
            }
            if (timed_out.hit) break;
        }
        for (guint s : sources)
            if (!(s == sources.back() && ms != LInfinite && timed_out.hit)) g_source_remove(s);
        return result;
    }

    void Present(LWnd& w) override {
        // Bringing a window forward never shows one that is hidden (GTK's
        // present would map it).
        LGtkPeer* p = LGtkPeerOf(w);
        if (p && w.visible && GTK_IS_WINDOW(p->widget)) gtk_window_present(GTK_WINDOW(p->widget));
    }

    int ScrollBarSize() override {
        if (scroll_bar_size_ == 0) scroll_bar_size_ = LGtkMeasureScrollBar();
        return scroll_bar_size_;
    }

private:
    static int LowestReadable(const int* fds, uint32_t n) {
        for (uint32_t i = 0; i < n; ++i) {
            pollfd q{fds[i], POLLIN, 0};
            if (poll(&q, 1, 0) > 0 && (q.revents & (POLLIN | POLLHUP | POLLERR | POLLNVAL))) return static_cast<int>(i);
        }
        return -1;
    }

    void CreateTopLevel(LWnd& w, LGtkPeer& p) {
        if (IsClass(w, u"tooltips_class32")) {
            p.widget = gtk_window_new(GTK_WINDOW_POPUP);
            GtkWidget* box = gtk_box_new(GTK_ORIENTATION_VERTICAL, 4);
            GtkWidget* head = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 4);
            // The layer's size counts 8 pixels all round and the icon
            // beside the title; a popup window draws no padding of its own.
            gtk_container_set_border_width(GTK_CONTAINER(box), 8);
            p.icon = gtk_image_new();
            gtk_box_pack_start(GTK_BOX(head), p.icon, FALSE, FALSE, 0);
            p.title = gtk_label_new("");
            gtk_widget_set_halign(p.title, GTK_ALIGN_START);
            gtk_box_pack_start(GTK_BOX(head), p.title, TRUE, TRUE, 0);
            if (w.style & LTTS_CLOSE) {
                GtkWidget* close = gtk_button_new_from_icon_name("window-close-symbolic", GTK_ICON_SIZE_MENU);
                gtk_widget_set_tooltip_text(close, "Close");
                g_signal_connect(close, "clicked", G_CALLBACK(LGtkOnBalloonClose), nullptr);
                gtk_box_pack_end(GTK_BOX(head), close, FALSE, FALSE, 0);
            }
            p.inner = gtk_label_new("");
            gtk_label_set_line_wrap(GTK_LABEL(p.inner), TRUE);
            gtk_label_set_xalign(GTK_LABEL(p.inner), 0);
            gtk_box_pack_start(GTK_BOX(box), head, FALSE, FALSE, 0);
            gtk_box_pack_start(GTK_BOX(box), p.inner, FALSE, FALSE, 0);
            gtk_container_add(GTK_CONTAINER(p.widget), box);
            gtk_style_context_add_class(gtk_widget_get_style_context(p.widget), "porlinex-balloon");
            gtk_widget_show_all(box);
            gtk_widget_hide(p.icon);
            return;
        }
        p.widget = gtk_window_new(GTK_WINDOW_TOPLEVEL);
        GtkWindow* win = GTK_WINDOW(p.widget);
        if (w.is_dialog || IsClass(w, u"#32770")) {
            gtk_window_set_type_hint(win, GDK_WINDOW_TYPE_HINT_DIALOG);
            // Screen readers announce it as the dialog it is.
            atk_object_set_role(gtk_widget_get_accessible(p.widget), ATK_ROLE_DIALOG);
        }
        gtk_window_set_resizable(win, (w.style & LWS_THICKFRAME) != 0);
        if (LWndRef owner = LWndFind(w.owner))
            if (LGtkPeer* op = LGtkPeerOf(*owner); op && GTK_IS_WINDOW(op->widget)) gtk_window_set_transient_for(win, GTK_WINDOW(op->widget));
        p.inner = LGtkClientAreaNew();
        gtk_container_add(GTK_CONTAINER(p.widget), p.inner);
        g_signal_connect(p.inner, "draw", G_CALLBACK(LGtkOnEraseDraw), nullptr);
        gtk_widget_add_events(p.widget, GDK_BUTTON_PRESS_MASK | GDK_KEY_PRESS_MASK | GDK_KEY_RELEASE_MASK | GDK_STRUCTURE_MASK);
        g_signal_connect(p.widget, "key-press-event", G_CALLBACK(LGtkOnKey), nullptr);
        g_signal_connect(p.widget, "key-release-event", G_CALLBACK(LGtkOnKeyRelease), nullptr);
        g_signal_connect(p.widget, "button-press-event", G_CALLBACK(LGtkOnButtonPress), nullptr);
        g_signal_connect(p.widget, "delete-event", G_CALLBACK(LGtkOnDelete), nullptr);
        g_signal_connect(p.widget, "configure-event", G_CALLBACK(LGtkOnConfigure), nullptr);
        g_signal_connect(p.widget, "set-focus", G_CALLBACK(LGtkOnSetFocus), nullptr);
        LGtkConnectLinkPointer(p.widget);
        if (GdkPixbuf* icon = LGtkAppIcon(32)) {
            gtk_window_set_icon(win, icon);
            g_object_unref(icon);
        }
    }

    void CreateControl(LWnd& w, LGtkPeer& p) {
        if (IsClass(w, u"Button")) {
            switch (ButtonType(w)) {
            case LBS_AUTOCHECKBOX:
            case LBS_CHECKBOX: p.widget = gtk_check_button_new_with_label(""); break;
            case LBS_AUTORADIOBUTTON: {
                GtkRadioButton* group = nullptr;
                for (LHwnd r : LRadioGroup(w.handle)) {
                    LWndRef rw = LWndFind(r);
                    if (r != w.handle && rw && LGtkPeerOf(*rw) && GTK_IS_RADIO_BUTTON(LGtkPeerOf(*rw)->widget)) {
                        group = GTK_RADIO_BUTTON(LGtkPeerOf(*rw)->widget);
                        break;
                    }
                }
                if (!group) {
                    // GTK keeps one button of a group on, where the layer's
                    // group may have none checked: a hidden member of the
                    // group is on while no button is.
                    GtkWidget* none = gtk_radio_button_new(nullptr);
                    g_object_ref_sink(none);
                    p.widget = gtk_radio_button_new_with_label_from_widget(GTK_RADIO_BUTTON(none), "");
                    g_object_set_data_full(G_OBJECT(p.widget), "porlinex-none", none, g_object_unref);
                } else {
                    p.widget = gtk_radio_button_new_with_label_from_widget(group, "");
                }
                break;
            }
            default: p.widget = gtk_button_new_with_label(""); break;
            }
            if (GtkWidget* label = gtk_bin_get_child(GTK_BIN(p.widget))) {
                if (GTK_IS_LABEL(label)) LabelButton(w, GTK_LABEL(label));
            }
            g_signal_connect(p.widget, "clicked", G_CALLBACK(LGtkOnClicked), nullptr);
        } else if (IsClass(w, u"Static")) {
            uint32_t type = w.style & LSS_TYPEMASK;
            if (type == LSS_ICON) p.widget = gtk_image_new();
            else if (type == LSS_ETCHEDHORZ || type == LSS_ETCHEDFRAME) p.widget = gtk_separator_new(GTK_ORIENTATION_HORIZONTAL);
            else {
                p.widget = gtk_label_new("");
                gtk_label_set_line_wrap(GTK_LABEL(p.widget), TRUE);
                gtk_label_set_line_wrap_mode(GTK_LABEL(p.widget), PANGO_WRAP_WORD_CHAR);
                gtk_label_set_xalign(GTK_LABEL(p.widget), 0);
                gtk_label_set_yalign(GTK_LABEL(p.widget), 0);
                FitLabel(GTK_LABEL(p.widget));
            }
        } else if (IsClass(w, u"Edit") && (w.style & LES_MULTILINE)) {
            p.widget = gtk_scrolled_window_new(nullptr, nullptr);
            gtk_scrolled_window_set_policy(GTK_SCROLLED_WINDOW(p.widget), GTK_POLICY_NEVER,
                                           (w.style & LWS_VSCROLL) ? GTK_POLICY_AUTOMATIC : GTK_POLICY_NEVER);
            p.inner = gtk_text_view_new();
            gtk_text_view_set_wrap_mode(GTK_TEXT_VIEW(p.inner), GTK_WRAP_WORD_CHAR);
            gtk_text_view_set_editable(GTK_TEXT_VIEW(p.inner), !(w.style & LES_READONLY));
            g_signal_connect(gtk_text_view_get_buffer(GTK_TEXT_VIEW(p.inner)), "changed",
                             G_CALLBACK(LGtkOnTextBufferChanged), p.widget);
            gtk_container_add(GTK_CONTAINER(p.widget), p.inner);
            gtk_widget_show(p.inner);
        } else if (IsClass(w, u"SysTabControl32")) {
            p.widget = LGtkMakeTabs();
        } else if (IsClass(w, u"Edit")) {
            p.widget = gtk_entry_new();
            // As wide as its rectangle, not GTK's 150 pixels at least.
            gtk_entry_set_width_chars(GTK_ENTRY(p.widget), 1);
            g_signal_connect_after(p.widget, "draw", G_CALLBACK(LGtkDrawEntryPrompt), nullptr);
            g_signal_connect(p.widget, "changed", G_CALLBACK(LGtkOnEntryChanged), nullptr);
        } else if (IsClass(w, u"ComboBox")) {
            p.widget = LGtkComboCreate();
        } else if (IsClass(w, u"msctls_progress32")) {
            p.widget = gtk_progress_bar_new();
        } else if (IsClass(w, u"SysListView32")) {
            p.widget = gtk_scrolled_window_new(nullptr, nullptr);
            p.inner = gtk_tree_view_new();
            gtk_container_add(GTK_CONTAINER(p.widget), p.inner);
        } else {
            p.widget = gtk_drawing_area_new();
            LGtkConnectDrawingArea(p.widget);
        }
        LWndRef root = LWndFind(LGetAncestorRoot(w.handle));
        LGtkPeer* rp = root ? LGtkPeerOf(*root) : nullptr;
        if (rp && rp->inner && GTK_IS_FIXED(rp->inner)) gtk_fixed_put(GTK_FIXED(rp->inner), p.widget, 0, 0);
    }

    void Place(LWnd& w, LGtkPeer& p) {
        if (!(w.style & LWS_CHILD)) {
            if (!GTK_IS_WINDOW(p.widget)) return;
            gtk_window_move(GTK_WINDOW(p.widget), w.rect.left, w.rect.top);
            if (IsClass(w, u"tooltips_class32")) return;
            int cw = std::max(1, w.rect.Width()), ch = std::max(1, w.rect.Height());
            gtk_widget_set_size_request(p.inner, cw, ch);
            gtk_window_resize(GTK_WINDOW(p.widget), cw, ch);
            return;
        }
        LRect r = LGetWindowRect(w.handle);
        LRect root = LGetWindowRect(LGetAncestorRoot(w.handle));
        // The widget fills the client area; shown scroll bars sit beside it.
        LRect c = LGetClientRect(w.handle);
        int x = r.left - root.left, y = r.top - root.top;
        GtkWidget* parent = gtk_widget_get_parent(p.widget);
        if (parent && GTK_IS_FIXED(parent)) gtk_fixed_move(GTK_FIXED(parent), p.widget, x, y);
        gtk_widget_set_size_request(p.widget, std::max(0, c.Width()), std::max(0, c.Height()));
        LGtkPlaceScrollBars(p, x, y, c.Width(), c.Height(), ScrollBarSize());
    }

    void SetText(LWnd& w, LGtkPeer& p) {
        std::string t = LUtf8Of(w.text);
        if (GTK_IS_WINDOW(p.widget) && !IsClass(w, u"tooltips_class32")) {
            gtk_window_set_title(GTK_WINDOW(p.widget), t.c_str());
        } else if (GTK_IS_LABEL(p.widget)) {
            // A label's "&" marks an access key unless it asked for plain text.
            if (w.style & LSS_NOPREFIX) gtk_label_set_text(GTK_LABEL(p.widget), t.c_str());
            else gtk_label_set_text_with_mnemonic(GTK_LABEL(p.widget), LMnemonicText(w.text).c_str());
        } else if (p.inner && GTK_IS_TEXT_VIEW(p.inner)) {
            GtkTextBuffer* buffer = gtk_text_view_get_buffer(GTK_TEXT_VIEW(p.inner));
            g_signal_handlers_block_by_func(buffer, reinterpret_cast<gpointer>(LGtkOnTextBufferChanged), p.widget);
            gtk_text_buffer_set_text(buffer, t.c_str(), -1);
            g_signal_handlers_unblock_by_func(buffer, reinterpret_cast<gpointer>(LGtkOnTextBufferChanged), p.widget);
        } else if (GTK_IS_ENTRY(p.widget)) {
            if (t != gtk_entry_get_text(GTK_ENTRY(p.widget))) {
                g_signal_handlers_block_by_func(p.widget, reinterpret_cast<gpointer>(LGtkOnEntryChanged), nullptr);
                gtk_entry_set_text(GTK_ENTRY(p.widget), t.c_str());
                g_signal_handlers_unblock_by_func(p.widget, reinterpret_cast<gpointer>(LGtkOnEntryChanged), nullptr);
            }
        } else if (GTK_IS_BUTTON(p.widget)) {
            if (ButtonType(w) == LBS_COMMANDLINK) {
                // Our command link: the title in bold over its note.
                size_t nl = w.text.find(u'\n');
                std::string title = LMnemonicText(w.text.substr(0, nl));
                // The note is plain text: only its underscores need doubling.
                std::string note;
                if (nl != std::u16string::npos)
                    for (char c : LUtf8Of(w.text.substr(nl + 1))) note += c == '_' ? std::string("__") : std::string(1, c);
                gchar* markup = note.empty() ? g_markup_printf_escaped("<b>%s</b>", title.c_str())
                                             : g_markup_printf_escaped("<b>%s</b>\n%s", title.c_str(), note.c_str());
                GtkWidget* label = gtk_bin_get_child(GTK_BIN(p.widget));
                if (GTK_IS_LABEL(label)) gtk_label_set_markup_with_mnemonic(GTK_LABEL(label), markup);
                g_free(markup);
            } else {
                gtk_button_set_use_underline(GTK_BUTTON(p.widget), TRUE);
                gtk_button_set_label(GTK_BUTTON(p.widget), LMnemonicText(w.text).c_str());
                if (GtkWidget* label = gtk_bin_get_child(GTK_BIN(p.widget)); GTK_IS_LABEL(label))
                    LabelButton(w, GTK_LABEL(label));
            }
        }
    }

    void SetStyle(LWnd& w, LGtkPeer& p) {
        std::string css = "* {";
        LFontDesc f = w.font ? *w.font : InterfaceFont();
        css += " font-family: \"" + f.family + "\"; font-size: " + std::to_string(f.points) + "pt;";
        css += " font-weight: " + std::to_string(f.weight) + ";";
        if (f.italic) css += " font-style: italic;";
        if (f.underline) css += " text-decoration-line: underline;";
        if (w.colors.has_text) css += " color: " + Hex(w.colors.text) + ";";
        if (w.colors.has_background) css += " background-color: " + Hex(w.colors.background) + "; background-image: none;";
        css += " }";
        if (!p.css) {
            p.css = gtk_css_provider_new();
            gtk_style_context_add_provider(gtk_widget_get_style_context(p.widget), GTK_STYLE_PROVIDER(p.css),
                                           GTK_STYLE_PROVIDER_PRIORITY_APPLICATION + 1);
            if (GtkWidget* child = GTK_IS_BIN(p.widget) ? gtk_bin_get_child(GTK_BIN(p.widget)) : nullptr)
                gtk_style_context_add_provider(gtk_widget_get_style_context(child), GTK_STYLE_PROVIDER(p.css),
                                               GTK_STYLE_PROVIDER_PRIORITY_APPLICATION + 1);
        }
        gtk_css_provider_load_from_data(p.css, css.c_str(), -1, nullptr);
    }

    void SetState(LWnd& w, LGtkPeer& p) {
        if (GTK_IS_TOGGLE_BUTTON(p.widget)) {
            g_signal_handlers_block_by_func(p.widget, reinterpret_cast<gpointer>(LGtkOnClicked), nullptr);
            gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(p.widget), w.check != 0);
            // A radio button is turned off by turning on the group's hidden member.
            if (GTK_IS_RADIO_BUTTON(p.widget) && w.check == 0 && gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(p.widget)))
                for (GSList* g = gtk_radio_button_get_group(GTK_RADIO_BUTTON(p.widget)); g; g = g->next)
                    if (!g_object_get_data(G_OBJECT(g->data), "lhwnd"))
                        gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(g->data), TRUE);
            g_signal_handlers_unblock_by_func(p.widget, reinterpret_cast<gpointer>(LGtkOnClicked), nullptr);
        } else if (GTK_IS_PROGRESS_BAR(p.widget)) {
            int span = std::max(1, w.range_hi - w.range_lo);
            if (w.marquee && !p.pulse) p.pulse = g_timeout_add(100, LGtkPulse, p.widget);
            if (!w.marquee && p.pulse) {
                g_source_remove(p.pulse);
                p.pulse = 0;
            }
            if (!w.marquee) gtk_progress_bar_set_fraction(GTK_PROGRESS_BAR(p.widget), double(w.pos - w.range_lo) / span);
        } else if (GTK_IS_IMAGE(p.widget)) {
            int size = LIconSize(w.icon) ? LIconSize(w.icon) : 32;
            if (const char* name = LGtkStockIconName(LIconResource(w.icon))) {
                gtk_image_set_from_icon_name(GTK_IMAGE(p.widget), name, GTK_ICON_SIZE_DIALOG);
                gtk_image_set_pixel_size(GTK_IMAGE(p.widget), size);
            } else if (w.icon) {
                if (GdkPixbuf* icon = LGtkAppIcon(size)) {
                    gtk_image_set_from_pixbuf(GTK_IMAGE(p.widget), icon);
                    g_object_unref(icon);
                }
            }
        } else if (GTK_IS_DRAWING_AREA(p.widget)) {
            // The hand over a link the control draws itself.
            if (GdkWindow* window = gtk_widget_get_window(p.widget)) {
                GdkCursor* cursor =
                    w.hand_cursor ? gdk_cursor_new_from_name(gdk_window_get_display(window), "pointer") : nullptr;
                gdk_window_set_cursor(window, cursor);
                if (cursor) g_object_unref(cursor);
            }
        } else if (GTK_IS_ENTRY(p.widget)) {
            // GTK's placeholder goes while the entry has the focus; a prompt
            // that must stay is drawn over the empty entry instead.
            std::string cue = LUtf8Of(w.cue);
            g_object_set_data_full(G_OBJECT(p.widget), "porlinex-cue", w.cue_when_focused ? g_strdup(cue.c_str()) : nullptr,
                                   g_free);
            gtk_entry_set_placeholder_text(GTK_ENTRY(p.widget), w.cue_when_focused ? nullptr : cue.c_str());
            gtk_widget_queue_draw(p.widget);
            gtk_entry_set_max_length(GTK_ENTRY(p.widget), w.text_limit);
        }
    }

    void SetTools(LWnd& w, LGtkPeer& p) {
        for (const LToolEntry& t : w.tools) {
            LWndRef tool = LWndFind(t.tool);
            LGtkPeer* tp = tool ? LGtkPeerOf(*tool) : nullptr;
            if ((t.flags & LTTF_SUBCLASS) && tp && tp->widget)
                gtk_widget_set_tooltip_text(tp->widget, LUtf8Of(t.text).c_str());
            if ((t.flags & LTTF_TRACK) && p.inner && GTK_IS_LABEL(p.inner))
                gtk_label_set_text(GTK_LABEL(p.inner), LUtf8Of(t.text).c_str());
        }
        if (p.title) {
            gchar* m = g_markup_printf_escaped("<b>%s</b>", LUtf8Of(w.tip_title).c_str());
            gtk_label_set_markup(GTK_LABEL(p.title), m);
            g_free(m);
            gtk_widget_set_visible(p.title, !w.tip_title.empty());
        }
        if (p.icon) {
            // TTI_INFO, TTI_WARNING, TTI_ERROR.
            static const char* const kIcons[] = {"dialog-information", "dialog-warning", "dialog-error"};
            bool shown = !w.tip_title.empty() && w.tip_icon >= 1 && w.tip_icon <= 3;
            if (shown) gtk_image_set_from_icon_name(GTK_IMAGE(p.icon), kIcons[w.tip_icon - 1], GTK_ICON_SIZE_MENU);
            gtk_widget_set_visible(p.icon, shown);
        }
        if (p.inner && GTK_IS_LABEL(p.inner) && w.max_tip_width > 0)
            gtk_widget_set_size_request(p.inner, std::min(w.max_tip_width, w.rect.Width()), -1);
    }

    void SetList(LWnd& w, LGtkPeer& p) {
        if (GTK_IS_NOTEBOOK(p.widget)) return LGtkSetTabs(w, GTK_NOTEBOOK(p.widget));
        if (!p.inner || !GTK_IS_TREE_VIEW(p.inner)) return;
        GtkTreeView* view = GTK_TREE_VIEW(p.inner);
        while (GtkTreeViewColumn* c = gtk_tree_view_get_column(view, 0)) gtk_tree_view_remove_column(view, c);
        size_t n = std::max<size_t>(w.columns.size(), 1);
        std::vector<GType> types(n, G_TYPE_STRING);
        GtkListStore* store = gtk_list_store_newv(static_cast<gint>(n), types.data());
        for (const std::u16string& row : w.rows) {
            GtkTreeIter it;
            gtk_list_store_append(store, &it);
            gtk_list_store_set(store, &it, 0, LUtf8Of(row).c_str(), -1);
        }
        for (size_t i = 0; i < w.columns.size(); ++i) {
            GtkTreeViewColumn* c = gtk_tree_view_column_new_with_attributes(
                LUtf8Of(w.columns[i].title).c_str(), gtk_cell_renderer_text_new(), "text", static_cast<gint>(i), nullptr);
            gtk_tree_view_column_set_sizing(c, GTK_TREE_VIEW_COLUMN_FIXED);
            gtk_tree_view_column_set_fixed_width(c, std::max(1, w.columns[i].width));
            gtk_tree_view_append_column(view, c);
        }
        gtk_tree_view_set_model(view, GTK_TREE_MODEL(store));
        g_object_unref(store);
    }

    // Every control's widget sits in the top level's GtkFixed, not inside
    // its parent's widget, and the window's "show all" shows them all: each
    // one is set from its own and its ancestors' visibility, so a hidden
    // page's controls never stay on screen over the next page.
    void ShowDescendants(LWnd& w, bool shown) {
        for (LHwnd c : w.children) {
            LWndRef cw = LWndFind(c);
            LGtkPeer* cp = cw ? LGtkPeerOf(*cw) : nullptr;
            if (!cp || !cp->widget || GTK_IS_WINDOW(cp->widget)) continue;
            bool child_shown = shown && cw->visible;
            gtk_widget_set_visible(cp->widget, child_shown);
            LGtkShowScrollBars(*cw, *cp, child_shown);
            ShowDescendants(*cw, child_shown);
        }
    }

    PangoContext* context_ = nullptr;
    int scroll_bar_size_ = 0;
};

}  // namespace

std::unique_ptr<LWindowBackend> LMakeGtkBackend() {
    // The name the accessibility tree and the window manager know us by.
    g_set_prgname("porlinex");
    if (!gtk_init_check(nullptr, nullptr)) {
        const char* d = std::getenv("DISPLAY");
        const char* wl = std::getenv("WAYLAND_DISPLAY");
        LLogErrorF("Desktop: cannot open the display (DISPLAY=%s, WAYLAND_DISPLAY=%s); the desktop needs a graphical "
                   "session.",
                   d ? d : "", wl ? wl : "");
        return nullptr;
    }
    return std::make_unique<GtkBackend>();
}
