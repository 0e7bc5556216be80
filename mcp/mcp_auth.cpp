#include "mcp/mcp_auth.h"

#include <cstdio>
#include <string>
#include <string_view>

#include "foundation/primary_key.h"
#include "foundation/sha256.h"
#include "foundation/utf8.h"
#include "mail/store/store_transaction.h"
#include "mcp/mcp_settings.h"
#include "web/http/weblet.h"

namespace {

constexpr size_t kTokenLetters = 64;
constexpr const char16_t* kLoopbackHosts[] = {u"localhost", u"127.0.0.1", u"[::1]"};

char16_t LowerAscii(char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c; }

// The text after "Bearer " (scheme in any case) when at least one character
// follows it; null otherwise.
const char16_t* BearerValue(const Weblet& request) {
    const char16_t* h = request.Header(u"Authorization");
    if (!h) return nullptr;
    static constexpr char16_t kScheme[] = u"bearer ";
    for (size_t i = 0; i < 7; ++i)
        if (LowerAscii(h[i]) != kScheme[i]) return nullptr;
    return h[7] ? h + 7 : nullptr;
}

// The digest of the token in its lower-case form; false when it cannot be
// made.
bool TokenDigest(const LString& token, char16_t out[65]) {
    LString lowered;
    for (char16_t c : token.View()) lowered.AppendChar(LowerAscii(c));
    LMcpHashSecret(lowered.c_str(), lowered.length, out);
    return out[0] != 0;
}

}  // namespace

void LMcpHashSecret(const char16_t* text, size_t units, char16_t out[65]) {
    LSha256 ctx;
    LSha256Init(ctx);
    // UTF-16LE bytes whatever the machine's order.
    unsigned char chunk[512];
    size_t used = 0;
    for (size_t i = 0; i < units; ++i) {
        chunk[used++] = static_cast<unsigned char>(text[i] & 0xFF);
        chunk[used++] = static_cast<unsigned char>(text[i] >> 8);
        if (used == sizeof chunk) {
            ctx.Update(chunk, static_cast<uint32_t>(used));
            used = 0;
        }
    }
    if (used) ctx.Update(chunk, static_cast<uint32_t>(used));
    uint32_t words[8];
    if (!ctx.Final(words, sizeof words)) {
        out[0] = 0;
        return;
    }
    char hex[65];
    for (int i = 0; i < 8; ++i) std::snprintf(hex + i * 8, 9, "%08x", words[i]);
    for (int i = 0; i < 65; ++i) out[i] = static_cast<char16_t>(hex[i]);
}

bool LMcpSecretsEqual(const char16_t* a, const char16_t* b) {
    size_t na = LTextLength(a), nb = LTextLength(b);
    size_t n = na > nb ? na : nb;
    uint32_t acc = static_cast<uint32_t>(na ^ nb);
    for (size_t i = 0; i < n; ++i) {
        char16_t ca = i < na ? a[i] : 0;
        char16_t cb = i < nb ? b[i] : 0;
        acc |= static_cast<uint32_t>(ca ^ cb);
    }
    return acc == 0;
}

bool LMcpIsLoopbackHost(const char16_t* text) {
    if (!text) return false;
    for (const char16_t* name : kLoopbackHosts) {
        size_t n = LTextLength(name);
        size_t i = 0;
        while (i < n && text[i] && LowerAscii(text[i]) == name[i]) ++i;
        if (i < n) continue;
        const char16_t* rest = text + n;
        if (*rest == 0) return true;
        if (*rest != u':') continue;
        // Only a port may follow: "localhost:98@evil.example" is no loopback name.
        size_t digits = 0;
        for (++rest; *rest >= u'0' && *rest <= u'9'; ++rest) ++digits;
        return *rest == 0 && digits > 0 && digits <= 5;
    }
    return false;
}

bool LMcpHasForeignOrigin(const Weblet& request) {
    const char16_t* origin = request.Header(u"Origin");
    if (!origin || !*origin) return false;
    std::u16string_view o(origin);
    size_t scheme = o.find(u"://");
    const char16_t* host = scheme == std::u16string_view::npos ? origin : origin + scheme + 3;
    return !LMcpIsLoopbackHost(host);
}

bool LMcpCheckLocalRequest(const Weblet& request) {
    return !LMcpHasForeignOrigin(request) && LMcpIsLoopbackHost(request.HeaderText(u"Host"));
}

bool LMcpCheckStdioBearer(const Weblet& request, LAppDatabaseAccount& db) {
    LString stored;
    if (!LMcpSettingRead(db, u"StdioAuthorizationHash", stored) || stored.IsEmpty()) return false;
    const char16_t* value = BearerValue(request);
    if (!value) return false;
    // The token is lower-case letters: a client that changed its case still
    // holds the token, and its digest is taken of the lower-case form.
    LString lowered;
    for (const char16_t* p = value; *p; ++p) lowered.AppendChar(LowerAscii(*p));
    char16_t digest[65];
    LMcpHashSecret(lowered.c_str(), lowered.length, digest);
    LString stored_lower;
    for (char16_t c : stored.View()) stored_lower.AppendChar(LowerAscii(c));
    return digest[0] && LMcpSecretsEqual(digest, stored_lower.c_str());
}

bool LMcpCheckBearerKey(const Weblet& request, LAppDatabaseAccount& db) {
    bool ok = false;
    bool required = LMcpSettingBool(db, u"RequireBearerAuth", false, &ok);
    if (!ok) return false;
    if (!required) return true;
    LString stored;
    if (!LMcpSettingRead(db, u"BearerAuthKeyHash", stored) || stored.IsEmpty()) return false;
    const char16_t* value = BearerValue(request);
    if (!value) return false;
    char16_t digest[65];
    LMcpHashSecret(value, LTextLength(value), digest);
    return digest[0] && LMcpSecretsEqual(digest, stored.c_str());
}

bool LMcpAuthorizeRequest(const Weblet& request, LAppDatabaseAccount& db) {
    if (LMcpHasForeignOrigin(request)) return false;
    bool ok = false;
    bool local_only = LMcpSettingBool(db, u"LocalOnly", true, &ok);
    if (!ok) return false;
    if (local_only && (!request.IsLoopbackPeer() || !LMcpCheckLocalRequest(request))) return false;
    LString stdio_digest;
    if (!LMcpSettingRead(db, u"StdioAuthorizationHash", stdio_digest)) return false;
    if (!stdio_digest.IsEmpty()) {
        if (LMcpCheckStdioBearer(request, db)) return true;
        bool required = LMcpSettingBool(db, u"RequireBearerAuth", false, &ok);
        if (!ok || !required) return false;
    }
    return LMcpCheckBearerKey(request, db);
}

LMcpTokenUpkeep LMcpKeepStdioToken(LAppDatabaseAccount& db) {
    // Taken as soon as a step fails, before a rollback replaces the code.
    auto failed = [&db] {
        int code = db.handle ? sqlite3_errcode(db.handle) & 0xFF : SQLITE_CANTOPEN;
        return code == SQLITE_BUSY || code == SQLITE_LOCKED ? LMcpTokenBusy : LMcpTokenFailed;
    };
    bool ok = false;
    if (!LMcpSettingBool(db, u"Enabled", false, &ok)) return ok ? LMcpTokenReady : failed();
    // Every request passes here: the token and digest are read outside any
    // transaction, so a request never waits for another writer, and the
    // write lock is taken only when something must be made or repaired.
    LString token, digest;
    if (!LMcpSettingRead(db, u"StdioAuthorization", token) || !LMcpSettingRead(db, u"StdioAuthorizationHash", digest))
        return failed();
    char16_t expected[65];
    if (!token.IsEmpty() && TokenDigest(token, expected) && digest.View() == std::u16string_view(expected))
        return LMcpTokenReady;

    LStoreTransaction transaction(db);
    if (!transaction.Began()) return failed();
    // Read again under the lock: another request may have made it meanwhile.
    if (!LMcpSettingRead(db, u"StdioAuthorization", token) || !LMcpSettingRead(db, u"StdioAuthorizationHash", digest))
        return failed();
    if (token.IsEmpty()) {
        char16_t letters[kTokenLetters + 1];
        if (!LRandomLettersSecure(letters, kTokenLetters)) return LMcpTokenFailed;
        token.Assign(letters);
        if (!LMcpSettingWrite(db, u"StdioAuthorization", token.c_str())) return failed();
    }
    if (!TokenDigest(token, expected)) return LMcpTokenFailed;
    if (digest.View() != std::u16string_view(expected) && !LMcpSettingWrite(db, u"StdioAuthorizationHash", expected))
        return failed();
    return transaction.Commit() ? LMcpTokenReady : failed();
}

bool LMcpEnsureStdioToken(LAppDatabaseAccount& db) { return LMcpKeepStdioToken(db) == LMcpTokenReady; }

bool LMcpGetStdioToken(char16_t out[260], std::string* cause) {
    out[0] = 0;
    std::string ignored;
    std::string& why = cause ? *cause : ignored;
    LAppDatabaseAccount db(LAppDatabaseAccount::Deferred{}, false);
    if (!db.Open(db.path, true)) {
        why = "The Porlinex database " + LToUtf8(db.path) +
              " cannot be opened for reading by this user (it is missing, or its folder or file does not allow it).";
        return false;
    }
    bool ok = false;
    bool enabled = LMcpSettingBool(db, u"Enabled", false, &ok);
    LString token;
    if (!ok || (enabled && !LMcpSettingRead(db, u"StdioAuthorization", token))) {
        char16_t error[260];
        db.GetLastErrorText(error);
        why = "The MCP settings in the Porlinex database " + LToUtf8(db.path) + " cannot be read: " + LToUtf8(error);
        return false;
    }
    if (!enabled) {
        why = "Porlinex MCP is turned off. Turn it on on the MCP page of Porlinex first.";
        return false;
    }
    if (token.IsEmpty()) {
        why = "Porlinex MCP is on, but no stdio token has been made yet: the Porlinex service makes it on its first "
              "MCP request. Check that the service is running.";
        return false;
    }
    LCopyField(out, token.c_str());
    return true;
}
