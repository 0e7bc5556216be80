#include "toolkit/taskbar_progress.h"

#include <gio/gio.h>
#include <sys/stat.h>

#include <cstdlib>
#include <string>

namespace {

constexpr const char* kAppUri = "application://porlinex.desktop";
constexpr const char* kObjectPath = "/com/vek/Porlinex/LauncherEntry";

// Only a bus that is already there: GIO would otherwise launch one.
bool SessionBusAvailable() {
    const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    if (address && *address) return true;
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (!runtime || !*runtime) return false;
    struct stat st;
    return stat((std::string(runtime) + "/bus").c_str(), &st) == 0 && S_ISSOCK(st.st_mode);
}

}  // namespace

bool LTaskbarProgress::Create() {
    if (bus_) return true;
    if (!SessionBusAvailable()) return false;
    GError* error = nullptr;
    bus_ = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &error);
    if (error) g_error_free(error);
    return bus_ != nullptr;
}

void LTaskbarProgress::Release() {
    if (!bus_) return;
    g_dbus_connection_flush_sync(static_cast<GDBusConnection*>(bus_), nullptr, nullptr);
    g_object_unref(bus_);
    bus_ = nullptr;
}

void LTaskbarProgress::Send(bool visible, double progress, bool urgent) {
    if (!bus_) return;
    GVariantBuilder props;
    g_variant_builder_init(&props, G_VARIANT_TYPE("a{sv}"));
    g_variant_builder_add(&props, "{sv}", "progress", g_variant_new_double(progress));
    g_variant_builder_add(&props, "{sv}", "progress-visible", g_variant_new_boolean(visible));
    g_variant_builder_add(&props, "{sv}", "urgent", g_variant_new_boolean(urgent));
    g_dbus_connection_emit_signal(static_cast<GDBusConnection*>(bus_), nullptr, kObjectPath,
                                  "com.canonical.Unity.LauncherEntry", "Update",
                                  g_variant_new("(sa{sv})", kAppUri, &props), nullptr);
}

void LTaskbarProgress::SetState(LTaskbarState state) {
    switch (state) {
    case LTaskbarState::None: Send(false, 0, false); break;
    case LTaskbarState::Indeterminate: Send(true, 0, false); break;
    case LTaskbarState::Normal: Send(true, progress_, false); break;
    case LTaskbarState::Error: Send(true, progress_, true); break;
    }
}

void LTaskbarProgress::SetValue(uint64_t done, uint64_t total) {
    progress_ = total ? static_cast<double>(done) / static_cast<double>(total) : 0;
    Send(true, progress_, false);
}
