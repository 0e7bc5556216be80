// The installation's shutdown block against a private message bus: with no
// logind it holds nothing and goes on; with a stand-in logind (the one
// method, served from this process) it asks for a blocking inhibitor and
// holds its descriptor until released.
#include <gio/gio.h>
#include <gio/gunixfdlist.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>

#include "setup/shutdown_block.h"
#include "tests/support/test_root.h"

namespace {

constexpr char kLogindXml[] =
    "<node><interface name='org.freedesktop.login1.Manager'><method name='Inhibit'>"
    "<arg type='s' direction='in'/><arg type='s' direction='in'/><arg type='s' direction='in'/>"
    "<arg type='s' direction='in'/><arg type='h' direction='out'/></method></interface></node>";

// A stand-in for logind's Inhibit on its own thread and main context: it
// records the request and hands out the read end of a pipe, keeping the
// write end to see when the holder lets go.
class FakeLogind {
public:
    explicit FakeLogind(const std::string& address) {
        thread_ = std::thread([this, address] { Run(address); });
        LTestWaitFor(20000, [&] { return ready_.load() != 0; });
    }
    ~FakeLogind() {
        stop_ = true;
        if (context_) g_main_context_wakeup(context_);
        thread_.join();
        if (write_end_ >= 0) close(write_end_);
    }
    bool Ready() const { return ready_ == 1; }
    std::string Request() {
        std::lock_guard<std::mutex> g(lock_);
        return request_;
    }
    // True once no one holds the read end any more.
    bool Released() const {
        pollfd p{write_end_, POLLOUT, 0};
        return write_end_ >= 0 && poll(&p, 1, 0) > 0 && (p.revents & POLLERR);
    }

private:
    static void Call(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar*, GVariant* args,
                     GDBusMethodInvocation* call, gpointer self) {
        auto* f = static_cast<FakeLogind*>(self);
        const gchar *what, *who, *why, *mode;
        g_variant_get(args, "(&s&s&s&s)", &what, &who, &why, &mode);
        {
            std::lock_guard<std::mutex> g(f->lock_);
            f->request_ = std::string(what) + "|" + who + "|" + why + "|" + mode;
        }
        int p[2];
        if (pipe(p) != 0) return g_dbus_method_invocation_return_dbus_error(call, "org.test.Failed", "pipe");
        f->write_end_ = p[1];
        GUnixFDList* fds = g_unix_fd_list_new();
        g_unix_fd_list_append(fds, p[0], nullptr);
        close(p[0]);
        g_dbus_method_invocation_return_value_with_unix_fd_list(call, g_variant_new("(h)", 0), fds);
        g_object_unref(fds);
    }

    void Run(const std::string& address) {
        context_ = g_main_context_new();
        g_main_context_push_thread_default(context_);
        GDBusConnection* bus = g_dbus_connection_new_for_address_sync(
            address.c_str(),
            static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                              G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
            nullptr, nullptr, nullptr);
        GDBusNodeInfo* info = g_dbus_node_info_new_for_xml(kLogindXml, nullptr);
        static const GDBusInterfaceVTable vtable = {Call, nullptr, nullptr, {}};
        guint object = bus && info ? g_dbus_connection_register_object(bus, "/org/freedesktop/login1",
                                                                       info->interfaces[0], &vtable, this, nullptr, nullptr)
                                   : 0;
        GVariant* owned = object ? g_dbus_connection_call_sync(
                                       bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                                       "RequestName", g_variant_new("(su)", "org.freedesktop.login1", 4u), nullptr,
                                       G_DBUS_CALL_FLAGS_NONE, 5000, nullptr, nullptr)
                                 : nullptr;
        ready_ = owned ? 1 : 2;
        if (owned) g_variant_unref(owned);
        while (!stop_) g_main_context_iteration(context_, TRUE);
        if (object) g_dbus_connection_unregister_object(bus, object);
        if (info) g_dbus_node_info_unref(info);
        if (bus) g_object_unref(bus);
        g_main_context_pop_thread_default(context_);
        g_main_context_unref(context_);
    }

    std::thread thread_;
    GMainContext* context_ = nullptr;
    std::atomic<int> ready_{0};
    std::atomic<bool> stop_{false};
    std::mutex lock_;
    std::string request_;
    int write_end_ = -1;
};

TEST(ShutdownBlock, WithoutLogindNothingIsHeld) {
    LTestRoot root;
    setenv("DBUS_SYSTEM_BUS_ADDRESS", ("unix:path=" + root.Path() + "/no-bus").c_str(), 1);
    LShutdownBlock block("Installing");
    EXPECT_FALSE(block.Held());
    unsetenv("DBUS_SYSTEM_BUS_ADDRESS");
}

TEST(ShutdownBlock, LogindBlocksUntilReleased) {
    LTestRoot root;
    std::string address = "unix:path=" + root.Path() + "/bus";
    LTestProcess bus({"dbus-daemon", "--session", "--nofork", "--nopidfile", "--address=" + address});
    ASSERT_TRUE(LTestWaitFor(20000, [&] { return std::filesystem::exists(root.Path() + "/bus"); }));
    setenv("DBUS_SYSTEM_BUS_ADDRESS", address.c_str(), 1);
    FakeLogind logind(address);
    ASSERT_TRUE(logind.Ready());
    {
        LShutdownBlock block("Installation in progress.");
        ASSERT_TRUE(block.Held());
        EXPECT_EQ(logind.Request(), "shutdown:sleep|Porlinex|Installation in progress.|block");
        EXPECT_FALSE(logind.Released());
    }
    EXPECT_TRUE(LTestWaitFor(10000, [&] { return logind.Released(); }));
    unsetenv("DBUS_SYSTEM_BUS_ADDRESS");
}

}  // namespace
