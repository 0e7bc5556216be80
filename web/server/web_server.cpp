#include "web/server/web_server.h"

#include <atomic>
#include <cstdlib>

#include "foundation/data_folder.h"
#include "foundation/log.h"
#include "foundation/reg_settings.h"
#include "foundation/thread_table.h"
#include "foundation/utf8.h"
#include "web/http/file_miss_clock.h"
#include "web/http/gzip_file.h"
#include "web/server/certificate.h"

namespace {

std::atomic<LWebServer*> g_current{nullptr};

// Empty or 0 means the default; Linux hosts default to the high pair, where
// the low ports are not free to take.
uint16_t ReadPort(const char16_t* name, uint16_t def) {
    char16_t v[260];
    LRegSettingsGet(u"WebServer", name, u"", v);
    long port = std::strtol(LToUtf8(v).c_str(), nullptr, 10);
    if (port <= 0 || port > 65535) return def;
    return static_cast<uint16_t>(port);
}

char16_t FirstChar(const char16_t* name) {
    char16_t v[260];
    LRegSettingsGet(u"WebServer", name, u"", v);
    return v[0];
}

void RestartListener(LTCPListener& l, bool enabled, uint16_t port, const char* which) {
    if (enabled) {
        LLogInfoF("%s (%s)", l.IsRunning() ? "Restarting web server" : "Starting web server", which);
        l.Stop();
        l.Stop();
        l.port = port;
        l.Start(0);
    } else {
        if (l.IsRunning()) LLogInfoF("Stopping web server (%s)", which);
        l.Stop();
    }
}

}  // namespace

uint16_t LWebServerGetPort() { return ReadPort(u"Port", 1098); }
uint16_t LWebServerGetSecurePort() { return ReadPort(u"SecurePort", 1498); }
bool LWebServerIsEnabled() { return FirstChar(u"Enabled") != u'0'; }
bool LWebServerIsSecureEnabled() {
    char16_t c = FirstChar(u"SecureEnabled");
    return c != 0 && c != u'0';
}
// Public routing asks the router to forward ports to this machine: only
// on the user's explicit choice, never by default.
bool LWebServerIsPublicEnabled() { return FirstChar(u"PublicEnabled") == u'1'; }

LWebServer* LWebServerCurrent() { return g_current.load(); }
void LWebServerClearCurrent(LWebServer* if_this) {
    LWebServer* expected = if_this;
    g_current.compare_exchange_strong(expected, nullptr);
}

void LWebCompressThread::Run() {
    LThreadSetTag("WEBLETCOMPRESS");
    char16_t folder[260];
    LGetDataSubfolder(u"Web", folder);
    LWebCompressFolder(*this, LToUtf8(folder));
}

LWebServer::~LWebServer() {
    LWebServerClearCurrent(this);
    compress.Stop();
    routing.Stop();
    StopListeners();
}

void LWebServer::Start() {
    g_current = this;
    LWebSetPortReaders(LWebServerGetPort, LWebServerGetSecurePort);
    LSetCertificatePasswordReader(LHttpsCertificateListenerPassword);
    if (LWebServerIsPublicEnabled()) routing.Start(LThreadPriorityLowest);
    compress.Start(LThreadPriorityLowest);
    if (LWebServerIsEnabled()) {
        LLog("Starting web server (Non-secure)", LLogInfo);
        uint16_t port = LWebServerGetPort();
        plain.Stop();
        plain.port = port;
        plain.Start(0);
    }
    if (LWebServerIsSecureEnabled()) {
        LLog("Starting web server (Secure)", LLogInfo);
        uint16_t port = LWebServerGetSecurePort();
        secure.Stop();
        secure.port = port;
        secure.Start(0);
    }
}

void LWebServer::RestartNonSecure() { RestartListener(plain, LWebServerIsEnabled(), LWebServerGetPort(), "Non-secure"); }

void LWebServer::RestartSecure() {
    RestartListener(secure, LWebServerIsSecureEnabled(), LWebServerGetSecurePort(), "Secure");
}

void LWebServer::StopListeners() {
    if (plain.IsRunning()) LLog("Stopping web server (Non-secure)", LLogInfo);
    plain.StopWithConnections();
    if (secure.IsRunning()) LLog("Stopping web server (Secure)", LLogInfo);
    secure.StopWithConnections();
    LWebStoreFileMissTime();
}
