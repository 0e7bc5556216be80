#include "web/http/start_route.h"

#include <cstdlib>
#include <mutex>

#include "foundation/log.h"
#include "foundation/reg_settings.h"
#include "foundation/time_source.h"
#include "foundation/utf8.h"
#include "web/http/routes.h"
#include "web/http/weblet.h"

namespace {

constexpr const char16_t* kSection = u"MainWindowWebApp";

// Two requests with the same token must not both read it before either
// deletes it.
std::mutex g_token_lock;

void TakeStoredToken(char16_t token[260], int64_t* made) {
    std::lock_guard<std::mutex> lock(g_token_lock);
    char16_t time_text[260];
    LRegSettingsGet(kSection, u"LaunchToken", u"", token);
    LRegSettingsGet(kSection, u"LaunchTokenTime", u"", time_text);
    LRegSettingsDelete(kSection, u"LaunchToken");
    LRegSettingsDelete(kSection, u"LaunchTokenTime");
    *made = std::strtoll(LToUtf8(time_text).c_str(), nullptr, 10);
}

void LWebStart(Weblet& request, LWebletRoute*, uint64_t) {
    // A request from another machine must not use up the token.
    if (!request.IsLoopbackPeer()) {
        request.SendStatus(401, "Not Authorized");
        return;
    }
    char16_t given[260];
    LCopyField(given, request.Field(u"token"));
    char16_t stored[260];
    int64_t made = 0;
    TakeStoredToken(stored, &made);
    if (!LWebStartTokenAccepted(given, stored, made, static_cast<int64_t>(LNow())) || !request.OpenDatabase()) {
        request.SendStatus(401, "Not Authorized");
        return;
    }
    if (!request.session.CreateNewSession()) {
        request.SendStatus(500, "Internal Server Error");
        return;
    }
    char id[260];
    LWideToUTF8Buf(id, request.session.GetID());
    // A session made over HTTPS never travels over plain HTTP afterwards.
    request.Printf("HTTP/1.1 302 Found\r\nSet-Cookie: porlinex_sess=%s; path=/; HttpOnly; SameSite=Strict%s\r\n"
                   "Location: %s\r\nContent-Length: 0\r\n\r\n",
                   id, request.connection.IsSecure() ? "; Secure" : "", "index.html");
}

[[maybe_unused]] const LWebletRoute* g_route = LWebletRegisterRoute(u"start", LWebStart, 0);

}  // namespace

bool LWebStartTokenAccepted(const char16_t* given, const char16_t* stored, int64_t stored_time, int64_t now) {
    size_t n_given = LTextLength(given), n_stored = LTextLength(stored);
    if (n_given == 0 || n_stored == 0) return false;
    // Every unit of the stored token is looked at whatever the input, so the
    // time of a refusal tells nothing about how much of a guess was right.
    unsigned diff = n_given != n_stored;
    for (size_t i = 0; i < n_stored; ++i) diff |= static_cast<unsigned>(stored[i] ^ (i < n_given ? given[i] : 0));
    bool fresh = stored_time <= now && now - stored_time <= LWebStartTokenLifetime;
    return diff == 0 && fresh;
}
