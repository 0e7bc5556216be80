// The certificate password: 64 hexadecimal digits from the kernel's random
// source, kept in SSL_SETTINGS. Every buffer that held it is wiped.
#include <openssl/crypto.h>

#include "foundation/database.h"
#include "foundation/reg_settings.h"
#include "foundation/utf8.h"
#include "platform/secure_random.h"
#include "web/server/certificate.h"

namespace {

// Runs a statement that carries the password and wipes its text.
bool ExecSecret(LAppDatabaseAccount& db, const char16_t* password) {
    LString sql;
    sql.Reserve(1024);  // room enough that the text is never moved (and left behind)
    sql.Format(u"INSERT OR REPLACE INTO %s.SSL_SETTINGS (ITEM, VALUE) VALUES ('Password', '%Q');", u"main", password);
    bool ok = db.Exec(sql.c_str());
    OPENSSL_cleanse(sql.buffer, sql.capacity * sizeof(char16_t));
    return ok;
}

bool OpenSettings(LAppDatabaseAccount& db) {
    if (!db.handle) return false;
    db.EnsureTable(u"SSL_SETTINGS", LSslSettingsCreateStatement);
    return db.TableExistsInSchema(u"main", u"SSL_SETTINGS");
}

}  // namespace

LSecretText::~LSecretText() {
    OPENSSL_cleanse(wide, sizeof wide);
    OPENSSL_cleanse(narrow, sizeof narrow);
}

const char* LSecretText::Narrow() {
    LWideToUTF8Buf(narrow, wide);
    return narrow;
}

void LSslSettingsGetPassword(char16_t out[260]) {
    out[0] = 0;
    LAppDatabaseAccount db(false);
    if (!OpenSettings(db)) return;
    char16_t query[260];
    LFormatEscPathW(query, u"SELECT VALUE FROM %s.SSL_SETTINGS WHERE ITEM='Password' LIMIT 1;", u"main");
    if (db.QueryText(query, out) && out[0]) return;
    // An older release kept it in the machine settings: it moves over once.
    LSecretText legacy;
    LRegSettingsGetEncrypted(u"Crypt", u"Password", legacy.wide);
    if (!legacy.wide[0] || !ExecSecret(db, legacy.wide)) return;
    LRegSettingsDelete(u"Crypt", u"Password");
    LRegSettingsDelete(u"Crypt", u"_Password");
    LCopyField(out, legacy.wide);
}

bool LSslSettingsSetPassword(const char16_t* password) {
    LAppDatabaseAccount db(false);
    return OpenSettings(db) && ExecSecret(db, password);
}

bool LGenerateCertificatePassword(char16_t out[260]) {
    out[0] = 0;
    unsigned char bytes[32];
    if (!LPlatformRandomBytes(bytes, sizeof bytes)) return false;
    static const char16_t kHex[] = u"0123456789abcdef";
    for (size_t i = 0; i < sizeof bytes; ++i) {
        out[2 * i] = kHex[bytes[i] >> 4];
        out[2 * i + 1] = kHex[bytes[i] & 0xF];
    }
    out[2 * sizeof bytes] = 0;
    OPENSSL_cleanse(bytes, sizeof bytes);
    return true;
}
