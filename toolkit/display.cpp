#include <cstdlib>

#include "foundation/log.h"
#include "toolkit/window_layer.h"

bool LDesktopOpenDisplay() {
    if (LWindowLayerIsOpen()) return LWindowLayerKind() == LBackendKind::Gtk;
    const char* x = std::getenv("DISPLAY");
    const char* wl = std::getenv("WAYLAND_DISPLAY");
    if ((!x || !*x) && (!wl || !*wl)) {
        LLog("Desktop: no display (DISPLAY and WAYLAND_DISPLAY are not set); the desktop needs a graphical "
                  "session. The service runs without one: porlinex -service.", LLogError);
        return false;
    }
    return LWindowLayerOpen(LBackendKind::Gtk);
}
