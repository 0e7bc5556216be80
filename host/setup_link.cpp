#include "host/setup_link.h"

#include <atomic>

#include "foundation/log.h"

namespace {

// Plain pointers with constant initialisation: they hold their null before
// any static initialiser, whichever library runs first.
std::atomic<std::string (*)()> g_maker_web_host{nullptr};
std::atomic<void (*)(const char16_t*, const char16_t*, const char16_t*, bool)> g_message{nullptr};

void NotAvailable(const char* name) { LLogWarningF("%s: not available.", name); }

}  // namespace

bool LSetupLinkRegister(const LSetupLink& link) {
    g_maker_web_host = link.maker_web_host;
    g_message = link.message;
    return true;
}

std::string LSetupLinkMakerWebHost() {
    if (auto f = g_maker_web_host.load()) return f();
    NotAvailable("LSetupLinkMakerWebHost");
    return "";
}

void LSetupLinkMessage(const char16_t* text, const char16_t* caption, const char16_t* button, bool error) {
    if (auto f = g_message.load()) return f(text, caption, button, error);
    NotAvailable("LSetupLinkMessage");
}
