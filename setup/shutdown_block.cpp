#include "setup/shutdown_block.h"

#include <gio/gio.h>
#include <gio/gunixfdlist.h>
#include <unistd.h>

#include <memory>

#include "foundation/log.h"

namespace {

constexpr int kCallTimeoutMs = 3000;

struct Unref {
    void operator()(gpointer p) const { g_object_unref(p); }
};
struct ErrorFree {
    void operator()(GError* e) const { g_error_free(e); }
};
struct VariantUnref {
    void operator()(GVariant* v) const { g_variant_unref(v); }
};

}  // namespace

LShutdownBlock::LShutdownBlock(const std::string& why) {
    GError* raw = nullptr;
    std::unique_ptr<gchar, decltype(&g_free)> address(g_dbus_address_get_for_bus_sync(G_BUS_TYPE_SYSTEM, nullptr, &raw),
                                                      g_free);
    std::unique_ptr<GDBusConnection, Unref> bus;
    if (address)
        bus.reset(g_dbus_connection_new_for_address_sync(
            address.get(),
            static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                              G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
            nullptr, nullptr, &raw));
    GUnixFDList* fds_raw = nullptr;
    std::unique_ptr<GVariant, VariantUnref> reply;
    if (bus)
        reply.reset(g_dbus_connection_call_with_unix_fd_list_sync(
            bus.get(), "org.freedesktop.login1", "/org/freedesktop/login1", "org.freedesktop.login1.Manager", "Inhibit",
            g_variant_new("(ssss)", "shutdown:sleep", "Porlinex", why.c_str(), "block"), G_VARIANT_TYPE("(h)"),
            G_DBUS_CALL_FLAGS_NONE, kCallTimeoutMs, nullptr, &fds_raw, nullptr, &raw));
    std::unique_ptr<GUnixFDList, Unref> fds(fds_raw);
    std::unique_ptr<GError, ErrorFree> error(raw);
    if (!reply || !fds) {
        LLogInfoF("Shutdown is not held off during the installation: logind is not available (%s).",
                  error ? error->message : "no answer");
        return;
    }
    gint32 index = -1;
    g_variant_get(reply.get(), "(h)", &index);
    GError* fd_error = nullptr;
    fd_ = g_unix_fd_list_get(fds.get(), index, &fd_error);
    if (fd_error) g_error_free(fd_error);
}

LShutdownBlock::~LShutdownBlock() {
    if (fd_ >= 0) close(fd_);
}
