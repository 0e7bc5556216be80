#pragma once
// The notification-area icon as a StatusNotifierItem on the session bus,
// with its menu as com.canonical.dbusmenu, registered with the
// StatusNotifierWatcher and again whenever a watcher (re)appears (a panel
// restart). Without a watcher, a GtkStatusIcon stands in on X11. Clicks
// reach the main window as posted messages: the tray callback (0x8067)
// with WM_LBUTTONUP or WM_CONTEXTMENU, and menu items as WM_COMMAND.
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "toolkit/key_names.h"
#include "toolkit/window_layer.h"

constexpr uint32_t LWM_CONTEXTMENU = 0x007B;

typedef struct _GDBusConnection GDBusConnection;
typedef struct _GtkStatusIcon GtkStatusIcon;
typedef struct _GVariant GVariant;

class LTrayIcon {
public:
    LTrayIcon() = default;
    ~LTrayIcon() { Remove(); }
    LTrayIcon(const LTrayIcon&) = delete;
    LTrayIcon& operator=(const LTrayIcon&) = delete;

    // window: where clicks are posted; menu: the items the menu lists.
    bool Add(LHwnd window, const std::u16string& tip, const std::vector<LMenuItem>& menu);
    void Remove();
    bool Registered() const { return registered_; }
    bool HasFallback() const { return fallback_ != nullptr; }
    GtkStatusIcon* Fallback() const { return fallback_; }

    // Bus callbacks (GLib invokes them on the window thread).
    void WatcherAppeared();
    void WatcherVanished();
    void PostTray(uint32_t mouse_message);
    void PostCommand(int id);
    GVariant* Property(const char* interface_name, const char* name);
    const std::vector<LMenuItem>& Menu() const { return menu_; }
    // Where the panel asked for the menu (ContextMenu); taken once.
    void SetMenuPoint(LPoint at) { menu_point_ = at, has_menu_point_ = true; }
    bool TakeMenuPoint(LPoint* at) {
        *at = menu_point_;
        return std::exchange(has_menu_point_, false);
    }
    std::string BusName() const { return bus_name_; }

private:
    void ShowFallback(bool show);

    LHwnd window_ = LHwnd::Null;
    std::string tip_;
    std::vector<LMenuItem> menu_;
    GDBusConnection* bus_ = nullptr;
    std::string bus_name_;
    unsigned owner_id_ = 0;
    unsigned watch_id_ = 0;
    unsigned item_reg_ = 0;
    unsigned menu_reg_ = 0;
    bool registered_ = false;
    GtkStatusIcon* fallback_ = nullptr;
    LPoint menu_point_;
    bool has_menu_point_ = false;
};

// Shows the items as a popup menu at a point of the screen, or at the
// pointer when none is given; the chosen one is posted to the window as
// WM_COMMAND. False when the menu could not show (no display, or another
// program holds the pointer).
bool LShowPopupMenu(LHwnd window, const std::vector<LMenuItem>& items, const LPoint* at = nullptr);
