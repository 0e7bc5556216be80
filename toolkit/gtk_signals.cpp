#include "toolkit/gtk_signals.h"

#include "toolkit/controls.h"

namespace {

uint32_t VirtualKey(guint keyval) {
    switch (keyval) {
    case GDK_KEY_Tab:
    case GDK_KEY_ISO_Left_Tab: return LVK_TAB;
    case GDK_KEY_Return:
    case GDK_KEY_KP_Enter: return LVK_RETURN;
    case GDK_KEY_Escape: return LVK_ESCAPE;
    case GDK_KEY_space: return LVK_SPACE;
    case GDK_KEY_BackSpace: return 0x08;
    case GDK_KEY_Shift_L:
    case GDK_KEY_Shift_R: return 0x10;
    case GDK_KEY_Control_L:
    case GDK_KEY_Control_R: return 0x11;
    case GDK_KEY_Alt_L:
    case GDK_KEY_Alt_R: return 0x12;
    case GDK_KEY_Pause: return 0x13;
    case GDK_KEY_Page_Up: return 0x21;
    case GDK_KEY_Page_Down: return 0x22;
    case GDK_KEY_End: return 0x23;
    case GDK_KEY_Home: return 0x24;
    case GDK_KEY_Left: return 0x25;
    case GDK_KEY_Up: return 0x26;
    case GDK_KEY_Right: return 0x27;
    case GDK_KEY_Down: return 0x28;
    case GDK_KEY_Insert: return 0x2D;
    case GDK_KEY_Delete: return 0x2E;
    case GDK_KEY_Menu: return 0x5D;
    default: break;
    }
    if (keyval >= GDK_KEY_F1 && keyval <= GDK_KEY_F24) return 0x70 + (keyval - GDK_KEY_F1);
    guint32 u = gdk_keyval_to_unicode(gdk_keyval_to_upper(keyval));
    return u && u < 0x80 ? u : 0xFF;
}

}  // namespace

LHwnd LGtkHwndOf(GtkWidget* widget) {
    for (GtkWidget* w = widget; w; w = gtk_widget_get_parent(w)) {
        gpointer v = g_object_get_data(G_OBJECT(w), "lhwnd");
        if (v) return static_cast<LHwnd>(static_cast<uint32_t>(GPOINTER_TO_UINT(v)));
    }
    return LHwnd::Null;
}

GdkPixbuf* LGtkAppIcon(int size) {
    size_t n;
    const unsigned char* png = LAppIconPng(&n);
    GdkPixbufLoader* loader = gdk_pixbuf_loader_new();
    gdk_pixbuf_loader_write(loader, png, n, nullptr);
    gdk_pixbuf_loader_close(loader, nullptr);
    GdkPixbuf* pix = gdk_pixbuf_loader_get_pixbuf(loader);
    GdkPixbuf* scaled = pix ? gdk_pixbuf_scale_simple(pix, size, size, GDK_INTERP_BILINEAR) : nullptr;
    g_object_unref(loader);
    return scaled;
}

const char* LGtkStockIconName(int resource) {
    switch (resource) {
    case 32513: return "dialog-error";
    case 32514: return "dialog-question";
    case 32515: return "dialog-warning";
    case 32516: return "dialog-information";
    default: return nullptr;
    }
}

gboolean LGtkOnKey(GtkWidget* widget, GdkEventKey* e, gpointer) {
    LHwnd top = LGtkHwndOf(widget);
    LMsg m;
    m.hwnd = LGetFocus() != LHwnd::Null && LGetAncestorRoot(LGetFocus()) == top ? LGetFocus() : top;
    m.message = LWM_KEYDOWN;
    m.wParam = VirtualKey(e->keyval);
    // X repeats a held key as further presses without releases; the second
    // press of the same key before its release is a repeat.
    gpointer last = g_object_get_data(G_OBJECT(widget), "porlinex-held-key");
    if (last && GPOINTER_TO_UINT(last) == e->hardware_keycode) m.lParam = intptr_t{1} << 30;
    g_object_set_data(G_OBJECT(widget), "porlinex-held-key", GUINT_TO_POINTER(e->hardware_keycode));
    if (e->state & GDK_SHIFT_MASK) m.modifiers |= LModShift;
    if (e->state & GDK_CONTROL_MASK) m.modifiers |= LModCtrl;
    if (e->state & GDK_MOD1_MASK) m.modifiers |= LModAlt;
    // Tab, Enter and Escape are the dialog's; everything else GTK handles
    // itself (typing, space on a button) and the layer only sees it.
    bool dialog_key = m.wParam == LVK_TAB || m.wParam == LVK_RETURN || m.wParam == LVK_ESCAPE;
    m.system_handled = !dialog_key;
    LPostInput(m);
    return dialog_key ? TRUE : FALSE;
}

gboolean LGtkOnKeyRelease(GtkWidget* widget, GdkEventKey*, gpointer) {
    g_object_set_data(G_OBJECT(widget), "porlinex-held-key", nullptr);
    return FALSE;
}

gboolean LGtkOnButtonPress(GtkWidget* widget, GdkEventButton*, gpointer) {
    LMsg m;
    m.hwnd = LGtkHwndOf(widget);
    m.message = LWM_LBUTTONDOWN;
    m.system_handled = true;
    LPostInput(m);
    return FALSE;
}

gboolean LGtkOnDelete(GtkWidget* widget, GdkEvent*, gpointer) {
    LMsg m;
    m.hwnd = LGtkHwndOf(widget);
    m.message = LWM_CLOSE;
    LPostInput(m);
    return TRUE;
}

gboolean LGtkOnConfigure(GtkWidget* widget, GdkEventConfigure* e, gpointer) {
    LHwnd h = LGtkHwndOf(widget);
    LWndRef w = LWndFind(h);
    if (!w) return FALSE;
    LRect r = w->rect;
    // Sizes come from the layer, except for windows the user may resize;
    // a late configure of an earlier size must not undo a newer one.
    int width = (w->style & LWS_THICKFRAME) ? e->width : r.Width();
    int height = (w->style & LWS_THICKFRAME) ? e->height : r.Height();
    LWndNoteRect(h, {e->x, e->y, e->x + width, e->y + height});
    return FALSE;
}

void LGtkOnSetFocus(GtkWindow*, GtkWidget* focus, gpointer) {
    if (focus) LWndNoteFocus(LGtkHwndOf(focus));
}

void LGtkOnClicked(GtkButton* button, gpointer) {
    LHwnd h = LGtkHwndOf(GTK_WIDGET(button));
    LWndRef w = LWndFind(h);
    if (!w) return;
    uint32_t type = w->style & LBS_TYPEMASK;
    if (type == LBS_AUTORADIOBUTTON) {
        if (gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(button))) LButtonClicked(h, 1);
        return;
    }
    if (type == LBS_AUTOCHECKBOX || type == LBS_CHECKBOX) {
        LButtonClicked(h, gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(button)) ? 1 : 0);
        return;
    }
    LButtonClicked(h, 0);
}

namespace {

// GTK hands out UTF-8; the window layer keeps UTF-16.
std::u16string Utf16Of(const char* t) {
    std::u16string text;
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(t); *p;) {
        uint32_t cp = *p++;
        int more = cp >= 0xF0 ? 3 : cp >= 0xE0 ? 2 : cp >= 0xC0 ? 1 : 0;
        cp &= more == 3 ? 0x07 : more == 2 ? 0x0F : more == 1 ? 0x1F : 0x7F;
        for (; more && *p; --more) cp = (cp << 6) | (*p++ & 0x3F);
        if (cp >= 0x10000) {
            text.push_back(static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10)));
            text.push_back(static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF)));
        } else {
            text.push_back(static_cast<char16_t>(cp));
        }
    }
    return text;
}

}  // namespace

void LGtkOnEntryChanged(GtkEditable* entry, gpointer) {
    LWndNoteText(LGtkHwndOf(GTK_WIDGET(entry)), Utf16Of(gtk_entry_get_text(GTK_ENTRY(entry))));
}

gboolean LGtkDrawEntryPrompt(GtkWidget* entry, cairo_t* cr, gpointer) {
    auto* cue = static_cast<const char*>(g_object_get_data(G_OBJECT(entry), "porlinex-cue"));
    if (!cue || !*cue || gtk_entry_get_text_length(GTK_ENTRY(entry)) > 0) return FALSE;
    GdkRectangle area;
    gtk_entry_get_text_area(GTK_ENTRY(entry), &area);
    PangoLayout* layout = gtk_widget_create_pango_layout(entry, cue);
    int height = 0;
    pango_layout_get_pixel_size(layout, nullptr, &height);
    // The theme's text colour at half strength, as GTK draws a placeholder.
    GtkStyleContext* style = gtk_widget_get_style_context(entry);
    GdkRGBA colour;
    gtk_style_context_get_color(style, gtk_style_context_get_state(style), &colour);
    colour.alpha *= 0.5;
    cairo_save(cr);
    cairo_rectangle(cr, area.x, area.y, area.width, area.height);
    cairo_clip(cr);
    gdk_cairo_set_source_rgba(cr, &colour);
    cairo_move_to(cr, area.x, area.y + (area.height - height) / 2);
    pango_cairo_show_layout(cr, layout);
    cairo_restore(cr);
    g_object_unref(layout);
    return FALSE;
}

void LGtkOnTextBufferChanged(GtkTextBuffer* buffer, gpointer edit) {
    GtkTextIter start, end;
    gtk_text_buffer_get_bounds(buffer, &start, &end);
    gchar* t = gtk_text_buffer_get_text(buffer, &start, &end, FALSE);
    LWndNoteText(LGtkHwndOf(GTK_WIDGET(edit)), Utf16Of(t));
    g_free(t);
}

void LGtkOnBalloonClose(GtkButton* b, gpointer) {
    LMsg m;
    m.hwnd = LGtkHwndOf(GTK_WIDGET(b));
    m.message = LWM_CLOSE;
    LPostInput(m);
}

gboolean LGtkPulse(gpointer bar) {
    gtk_progress_bar_pulse(GTK_PROGRESS_BAR(bar));
    return G_SOURCE_CONTINUE;
}

