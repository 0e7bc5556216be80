#include "desktop/app/tray_icon.h"

#include <gtk/gtk.h>
#include <unistd.h>

#include "toolkit/gtk_signals.h"
#include "toolkit/pango_measure.h"

namespace {

constexpr const char* kItemPath = "/StatusNotifierItem";
constexpr const char* kMenuPath = "/MenuBar";
constexpr const char* kWatcher = "org.kde.StatusNotifierWatcher";
constexpr int kIconSize = 32;

constexpr const char* kIntrospection = R"xml(<node>
 <interface name="org.kde.StatusNotifierItem">
  <property name="Category" type="s" access="read"/>
  <property name="Id" type="s" access="read"/>
  <property name="Title" type="s" access="read"/>
  <property name="Status" type="s" access="read"/>
  <property name="IconName" type="s" access="read"/>
  <property name="IconPixmap" type="a(iiay)" access="read"/>
  <property name="ToolTip" type="(sa(iiay)ss)" access="read"/>
  <property name="ItemIsMenu" type="b" access="read"/>
  <property name="Menu" type="o" access="read"/>
  <method name="Activate"><arg name="x" type="i" direction="in"/><arg name="y" type="i" direction="in"/></method>
  <method name="SecondaryActivate"><arg name="x" type="i" direction="in"/><arg name="y" type="i" direction="in"/></method>
  <method name="ContextMenu"><arg name="x" type="i" direction="in"/><arg name="y" type="i" direction="in"/></method>
  <method name="Scroll"><arg name="delta" type="i" direction="in"/><arg name="orientation" type="s" direction="in"/></method>
  <signal name="NewTitle"/><signal name="NewIcon"/><signal name="NewToolTip"/>
  <signal name="NewStatus"><arg name="status" type="s"/></signal>
 </interface>
 <interface name="com.canonical.dbusmenu">
  <property name="Version" type="u" access="read"/>
  <property name="TextDirection" type="s" access="read"/>
  <property name="Status" type="s" access="read"/>
  <property name="IconThemePath" type="as" access="read"/>
  <method name="GetLayout">
   <arg type="i" name="parentId" direction="in"/><arg type="i" name="recursionDepth" direction="in"/>
   <arg type="as" name="propertyNames" direction="in"/>
   <arg type="u" name="revision" direction="out"/><arg type="(ia{sv}av)" name="layout" direction="out"/>
  </method>
  <method name="GetGroupProperties">
   <arg type="ai" name="ids" direction="in"/><arg type="as" name="propertyNames" direction="in"/>
   <arg type="a(ia{sv})" name="properties" direction="out"/>
  </method>
  <method name="GetProperty">
   <arg type="i" name="id" direction="in"/><arg type="s" name="name" direction="in"/>
   <arg type="v" name="value" direction="out"/>
  </method>
  <method name="Event">
   <arg type="i" name="id" direction="in"/><arg type="s" name="eventId" direction="in"/>
   <arg type="v" name="data" direction="in"/><arg type="u" name="timestamp" direction="in"/>
  </method>
  <method name="EventGroup">
   <arg type="a(isvu)" name="events" direction="in"/><arg type="ai" name="idErrors" direction="out"/>
  </method>
  <method name="AboutToShow"><arg type="i" name="id" direction="in"/><arg type="b" name="needUpdate" direction="out"/></method>
  <method name="AboutToShowGroup">
   <arg type="ai" name="ids" direction="in"/><arg type="ai" name="updatesNeeded" direction="out"/>
   <arg type="ai" name="idErrors" direction="out"/>
  </method>
  <signal name="LayoutUpdated"><arg type="u" name="revision"/><arg type="i" name="parent"/></signal>
  <signal name="ItemsPropertiesUpdated">
   <arg type="a(ia{sv})" name="updatedProps"/><arg type="a(ias)" name="removedProps"/>
  </signal>
 </interface>
</node>)xml";

GDBusNodeInfo* Introspection() {
    // Parsed once and kept: the interface descriptions are constant.
    static GDBusNodeInfo* info = g_dbus_node_info_new_for_xml(kIntrospection, nullptr);
    return info;
}

// The icon as the item protocol wants it: ARGB32 in network byte order.
GVariant* IconPixmap() {
    GVariantBuilder b;
    g_variant_builder_init(&b, G_VARIANT_TYPE("a(iiay)"));
    GdkPixbuf* pix = LGtkAppIcon(kIconSize);
    if (pix) {
        int w = gdk_pixbuf_get_width(pix), h = gdk_pixbuf_get_height(pix);
        int stride = gdk_pixbuf_get_rowstride(pix), channels = gdk_pixbuf_get_n_channels(pix);
        bool alpha = gdk_pixbuf_get_has_alpha(pix);
        const guchar* px = gdk_pixbuf_read_pixels(pix);
        std::string data;
        data.reserve(static_cast<size_t>(w * h * 4));
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                const guchar* p = px + y * stride + x * channels;
                data += static_cast<char>(alpha ? p[3] : 255);
                data += static_cast<char>(p[0]);
                data += static_cast<char>(p[1]);
                data += static_cast<char>(p[2]);
            }
        }
        g_object_unref(pix);
        GVariant* bytes = g_variant_new_fixed_array(G_VARIANT_TYPE_BYTE, data.data(), data.size(), 1);
        g_variant_builder_add(&b, "(ii@ay)", w, h, bytes);
    }
    return g_variant_builder_end(&b);
}

// The properties of one menu entry; id 0 is the root, which holds the rest.
GVariant* ItemProperties(const LMenuItem* item) {
    GVariantBuilder props;
    g_variant_builder_init(&props, G_VARIANT_TYPE("a{sv}"));
    if (!item) {
        g_variant_builder_add(&props, "{sv}", "children-display", g_variant_new_string("submenu"));
    } else if (item->id == 0) {
        g_variant_builder_add(&props, "{sv}", "type", g_variant_new_string("separator"));
    } else {
        // dbusmenu spells access keys as GTK does.
        std::string label = LMnemonicText(item->text.substr(0, item->text.find(u'\t')));
        g_variant_builder_add(&props, "{sv}", "label", g_variant_new_string(label.c_str()));
        g_variant_builder_add(&props, "{sv}", "enabled", g_variant_new_boolean(item->enabled));
    }
    return g_variant_builder_end(&props);
}

// On the bus 0 is the root, so a separator (command id 0) goes by an id
// of its own beyond the command ids.
constexpr int kSeparatorIds = 0x10000;

int BusId(const std::vector<LMenuItem>& menu, size_t index) {
    return menu[index].id != 0 ? menu[index].id : kSeparatorIds + static_cast<int>(index);
}

const LMenuItem* FindItem(const std::vector<LMenuItem>& menu, int id) {
    for (size_t i = 0; i < menu.size(); ++i)
        if (BusId(menu, i) == id) return &menu[i];
    return nullptr;
}

GVariant* ItemLayout(int id, const LMenuItem* item, const std::vector<LMenuItem>* children) {
    GVariantBuilder list;
    g_variant_builder_init(&list, G_VARIANT_TYPE("av"));
    if (children)
        for (size_t i = 0; i < children->size(); ++i)
            g_variant_builder_add_value(
                &list, g_variant_new_variant(ItemLayout(BusId(*children, i), &(*children)[i], nullptr)));
    return g_variant_new("(i@a{sv}av)", id, ItemProperties(item), &list);
}

void OnMethod(GDBusConnection*, const char*, const char*, const char* iface, const char* method, GVariant* params,
              GDBusMethodInvocation* call, gpointer self) {
    auto* tray = static_cast<LTrayIcon*>(self);
    std::string m = method;
    if (g_str_equal(iface, "org.kde.StatusNotifierItem")) {
        int x = 0, y = 0;
        if (m != "Scroll") g_variant_get(params, "(ii)", &x, &y);
        if (m == "Activate") {
            tray->PostTray(0x0202);  // WM_LBUTTONUP
        } else if (m == "ContextMenu" || m == "SecondaryActivate") {
            // A panel that draws no menu of its own asks for ours at a point.
            tray->SetMenuPoint({x, y});
            tray->PostTray(LWM_CONTEXTMENU);
        }
        g_dbus_method_invocation_return_value(call, nullptr);
        return;
    }
    if (m == "GetLayout") {
        int parent = 0;
        g_variant_get(params, "(ii@as)", &parent, nullptr, nullptr);
        const LMenuItem* item = FindItem(tray->Menu(), parent);
        if (parent != 0 && !item) {
            g_dbus_method_invocation_return_dbus_error(call, "com.canonical.dbusmenu.Error.UnknownId", "no such menu item");
            return;
        }
        GVariant* layout = parent == 0 ? ItemLayout(0, nullptr, &tray->Menu()) : ItemLayout(parent, item, nullptr);
        g_dbus_method_invocation_return_value(call, g_variant_new("(u@(ia{sv}av))", 1u, layout));
    } else if (m == "GetProperty") {
        int id = 0;
        const char* name = nullptr;
        g_variant_get(params, "(i&s)", &id, &name);
        const LMenuItem* item = FindItem(tray->Menu(), id);
        GVariant* props = g_variant_ref_sink(ItemProperties(item));
        GVariant* value = (id == 0 || item) ? g_variant_lookup_value(props, name, nullptr) : nullptr;
        g_variant_unref(props);
        if (value) g_dbus_method_invocation_return_value(call, g_variant_new("(v)", value));
        else g_dbus_method_invocation_return_dbus_error(call, "com.canonical.dbusmenu.Error.UnknownProperty", name);
        if (value) g_variant_unref(value);
    } else if (m == "Event") {
        int id = 0;
        const char* event = nullptr;
        g_variant_get(params, "(i&svu)", &id, &event, nullptr, nullptr);
        if (g_str_equal(event, "clicked")) tray->PostCommand(id);
        g_dbus_method_invocation_return_value(call, nullptr);
    } else if (m == "EventGroup") {
        GVariantIter* it = nullptr;
        g_variant_get(params, "(a(isvu))", &it);
        int id;
        const char* event;
        while (g_variant_iter_loop(it, "(i&svu)", &id, &event, nullptr, nullptr))
            if (g_str_equal(event, "clicked")) tray->PostCommand(id);
        g_variant_iter_free(it);
        g_dbus_method_invocation_return_value(call, g_variant_new("(@ai)", g_variant_new_array(G_VARIANT_TYPE_INT32, nullptr, 0)));
    } else if (m == "AboutToShow") {
        g_dbus_method_invocation_return_value(call, g_variant_new("(b)", FALSE));
    } else if (m == "AboutToShowGroup") {
        g_dbus_method_invocation_return_value(call, g_variant_new("(@ai@ai)", g_variant_new_array(G_VARIANT_TYPE_INT32, nullptr, 0),
                                                                  g_variant_new_array(G_VARIANT_TYPE_INT32, nullptr, 0)));
    } else if (m == "GetGroupProperties") {
        // The ids asked for (none: every entry); property names are not
        // filtered, which the protocol allows.
        GVariant* ids = g_variant_get_child_value(params, 0);
        size_t n = 0;
        const int32_t* wanted = static_cast<const int32_t*>(g_variant_get_fixed_array(ids, &n, sizeof(int32_t)));
        GVariantBuilder b;
        g_variant_builder_init(&b, G_VARIANT_TYPE("a(ia{sv})"));
        if (n == 0) {
            g_variant_builder_add(&b, "(i@a{sv})", 0, ItemProperties(nullptr));
            for (size_t i = 0; i < tray->Menu().size(); ++i)
                g_variant_builder_add(&b, "(i@a{sv})", BusId(tray->Menu(), i), ItemProperties(&tray->Menu()[i]));
        }
        for (size_t i = 0; i < n; ++i) {
            const LMenuItem* item = FindItem(tray->Menu(), wanted[i]);
            if (wanted[i] == 0 || item) g_variant_builder_add(&b, "(i@a{sv})", wanted[i], ItemProperties(item));
        }
        g_variant_unref(ids);
        g_dbus_method_invocation_return_value(call, g_variant_new("(a(ia{sv}))", &b));
    } else {
        g_dbus_method_invocation_return_dbus_error(call, "org.freedesktop.DBus.Error.UnknownMethod", "no such method");
    }
}

GVariant* OnGetProperty(GDBusConnection*, const char*, const char*, const char* iface, const char* name, GError**,
                        gpointer self) {
    return static_cast<LTrayIcon*>(self)->Property(iface, name);
}

const GDBusInterfaceVTable kVTable = {OnMethod, OnGetProperty, nullptr, {}};

void OnWatcherAppeared(GDBusConnection*, const char*, const char*, gpointer self) {
    static_cast<LTrayIcon*>(self)->WatcherAppeared();
}

void OnWatcherVanished(GDBusConnection*, const char*, gpointer self) {
    static_cast<LTrayIcon*>(self)->WatcherVanished();
}

void OnMenuItemActivated(GtkMenuItem* item, gpointer window) {
    int id = GPOINTER_TO_INT(g_object_get_data(G_OBJECT(item), "command"));
    LPostMessage(static_cast<LHwnd>(GPOINTER_TO_UINT(window)), LWM_COMMAND, LMakeWParam(static_cast<uint32_t>(id), 0), 0);
}

G_GNUC_BEGIN_IGNORE_DEPRECATIONS
void OnFallbackActivate(GtkStatusIcon*, gpointer self) { static_cast<LTrayIcon*>(self)->PostTray(0x0202); }
void OnFallbackMenu(GtkStatusIcon*, guint, guint, gpointer self) {
    // The menu opens where the click was; the event is gone by the time the
    // posted message arrives.
    auto* tray = static_cast<LTrayIcon*>(self);
    if (GdkEvent* e = gtk_get_current_event()) {
        double x = 0, y = 0;
        if (gdk_event_get_root_coords(e, &x, &y)) tray->SetMenuPoint({static_cast<int>(x), static_cast<int>(y)});
        gdk_event_free(e);
    }
    tray->PostTray(LWM_CONTEXTMENU);
}
G_GNUC_END_IGNORE_DEPRECATIONS

}  // namespace

bool LTrayIcon::Add(LHwnd window, const std::u16string& tip, const std::vector<LMenuItem>& menu) {
    window_ = window;
    tip_ = LUtf8Of(tip);
    menu_ = menu;
    bus_ = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
    if (!bus_) {
        ShowFallback(true);
        return HasFallback();
    }
    GDBusNodeInfo* info = Introspection();
    item_reg_ = g_dbus_connection_register_object(bus_, kItemPath, info->interfaces[0], &kVTable, this, nullptr, nullptr);
    menu_reg_ = g_dbus_connection_register_object(bus_, kMenuPath, info->interfaces[1], &kVTable, this, nullptr, nullptr);
    bus_name_ = "org.kde.StatusNotifierItem-" + std::to_string(getpid()) + "-1";
    owner_id_ = g_bus_own_name_on_connection(bus_, bus_name_.c_str(), G_BUS_NAME_OWNER_FLAGS_NONE, nullptr, nullptr,
                                             nullptr, nullptr);
    watch_id_ = g_bus_watch_name_on_connection(bus_, kWatcher, G_BUS_NAME_WATCHER_FLAGS_NONE, OnWatcherAppeared,
                                               OnWatcherVanished, this, nullptr);
    return true;
}

void LTrayIcon::Remove() {
    ShowFallback(false);
    if (!bus_) return;
    if (watch_id_) g_bus_unwatch_name(watch_id_);
    if (owner_id_) g_bus_unown_name(owner_id_);
    if (item_reg_) g_dbus_connection_unregister_object(bus_, item_reg_);
    if (menu_reg_) g_dbus_connection_unregister_object(bus_, menu_reg_);
    watch_id_ = owner_id_ = item_reg_ = menu_reg_ = 0;
    g_dbus_connection_flush_sync(bus_, nullptr, nullptr);
    g_object_unref(bus_);
    bus_ = nullptr;
    registered_ = false;
}

void LTrayIcon::WatcherAppeared() {
    // A watcher that (re)appears has forgotten every item: register again.
    GVariant* r = g_dbus_connection_call_sync(bus_, kWatcher, "/StatusNotifierWatcher", kWatcher,
                                              "RegisterStatusNotifierItem", g_variant_new("(s)", bus_name_.c_str()),
                                              nullptr, G_DBUS_CALL_FLAGS_NONE, 5000, nullptr, nullptr);
    registered_ = r != nullptr;
    if (r) g_variant_unref(r);
    ShowFallback(!registered_);
}

void LTrayIcon::WatcherVanished() {
    registered_ = false;
    ShowFallback(true);
}

void LTrayIcon::ShowFallback(bool show) {
    G_GNUC_BEGIN_IGNORE_DEPRECATIONS
    if (show && !fallback_ && LWindowLayerKind() == LBackendKind::Gtk) {
        GdkPixbuf* pix = LGtkAppIcon(kIconSize);
        fallback_ = pix ? gtk_status_icon_new_from_pixbuf(pix) : gtk_status_icon_new();
        if (pix) g_object_unref(pix);
        gtk_status_icon_set_tooltip_text(fallback_, tip_.c_str());
        gtk_status_icon_set_title(fallback_, tip_.c_str());
        g_signal_connect(fallback_, "activate", G_CALLBACK(OnFallbackActivate), this);
        g_signal_connect(fallback_, "popup-menu", G_CALLBACK(OnFallbackMenu), this);
    } else if (!show && fallback_) {
        g_object_unref(fallback_);
        fallback_ = nullptr;
    }
    G_GNUC_END_IGNORE_DEPRECATIONS
}

void LTrayIcon::PostTray(uint32_t mouse_message) { LPostMessage(window_, 0x8067, 0, mouse_message); }

void LTrayIcon::PostCommand(int id) {
    for (const LMenuItem& item : menu_)
        if (item.id != 0 && item.id == id && item.enabled)
            LPostMessage(window_, LWM_COMMAND, LMakeWParam(static_cast<uint32_t>(id), 0), 0);
}

GVariant* LTrayIcon::Property(const char* iface, const char* name) {
    std::string n = name;
    if (g_str_equal(iface, "com.canonical.dbusmenu")) {
        if (n == "Version") return g_variant_new_uint32(3);
        if (n == "TextDirection") return g_variant_new_string("ltr");
        if (n == "Status") return g_variant_new_string("normal");
        if (n == "IconThemePath") return g_variant_new_strv(nullptr, 0);
        return nullptr;
    }
    if (n == "Category") return g_variant_new_string("ApplicationStatus");
    if (n == "Id") return g_variant_new_string("porlinex");
    if (n == "Title") return g_variant_new_string(tip_.c_str());
    if (n == "Status") return g_variant_new_string("Active");
    if (n == "IconName") return g_variant_new_string("");
    if (n == "IconPixmap") return IconPixmap();
    if (n == "ItemIsMenu") return g_variant_new_boolean(FALSE);
    if (n == "Menu") return g_variant_new_object_path(kMenuPath);
    if (n == "ToolTip")
        return g_variant_new("(s@a(iiay)ss)", "", g_variant_new_array(G_VARIANT_TYPE("(iiay)"), nullptr, 0),
                             tip_.c_str(), "");
    return nullptr;
}

bool LShowPopupMenu(LHwnd window, const std::vector<LMenuItem>& items, const LPoint* at) {
    if (LWindowLayerKind() != LBackendKind::Gtk) return false;
    // One menu serves every popup, its entries made anew each time: a
    // destroyed menu stays behind in the accessibility bridge's cache, and
    // screen readers walking it later meet a freed window.
    static GtkWidget* menu = GTK_WIDGET(g_object_ref_sink(gtk_menu_new()));
    if (gtk_widget_get_visible(menu)) gtk_menu_popdown(GTK_MENU(menu));
    GList* old = gtk_container_get_children(GTK_CONTAINER(menu));
    for (GList* i = old; i; i = i->next) gtk_widget_destroy(GTK_WIDGET(i->data));
    g_list_free(old);
    for (const LMenuItem& item : items) {
        GtkWidget* w;
        if (item.id == 0) {
            w = gtk_separator_menu_item_new();
        } else {
            std::u16string text = item.text;
            for (char16_t& c : text)
                if (c == u'\t') c = u' ';
            w = gtk_menu_item_new_with_mnemonic(LMnemonicText(text).c_str());
            // The default item (what a left click does) stands out in bold.
            if (GtkWidget* label = gtk_bin_get_child(GTK_BIN(w)); item.is_default && GTK_IS_LABEL(label)) {
                gchar* markup = g_markup_printf_escaped("<b>%s</b>", LMnemonicText(text).c_str());
                gtk_label_set_markup_with_mnemonic(GTK_LABEL(label), markup);
                g_free(markup);
            }
            gtk_widget_set_sensitive(w, item.enabled);
            g_object_set_data(G_OBJECT(w), "command", GINT_TO_POINTER(item.id));
            g_signal_connect(w, "activate", G_CALLBACK(OnMenuItemActivated),
                             GUINT_TO_POINTER(static_cast<uint32_t>(window)));
        }
        gtk_menu_shell_append(GTK_MENU_SHELL(menu), w);
    }
    gtk_widget_show_all(menu);
    // Clicks reach the window as posted messages, so the click that asked
    // for the menu is no longer GTK's current event here: the menu is
    // placed on the root window at the asked point, or where the pointer
    // is, with a press of our own as its trigger (GTK takes the pointer
    // and the time from it).
    GdkWindow* root = gdk_get_default_root_window();
    GdkDevice* pointer = gdk_seat_get_pointer(gdk_display_get_default_seat(gdk_window_get_display(root)));
    GdkRectangle rect = {0, 0, 1, 1};
    if (at && (at->x != 0 || at->y != 0)) rect.x = at->x, rect.y = at->y;
    else if (pointer) gdk_device_get_position(pointer, nullptr, &rect.x, &rect.y);
    GdkEvent* trigger = gdk_event_new(GDK_BUTTON_PRESS);
    trigger->button.window = GDK_WINDOW(g_object_ref(root));
    trigger->button.button = 3;
    trigger->button.time = GDK_CURRENT_TIME;
    trigger->button.x_root = trigger->button.x = rect.x;
    trigger->button.y_root = trigger->button.y = rect.y;
    if (pointer) gdk_event_set_device(trigger, pointer);
    gtk_menu_popup_at_rect(GTK_MENU(menu), root, &rect, GDK_GRAVITY_NORTH_WEST, GDK_GRAVITY_NORTH_WEST, trigger);
    gdk_event_free(trigger);
    return gtk_widget_get_visible(menu);
}
