#include "foundation/log.h"
#include "foundation/utf8.h"
#include "foundation/value_cipher.h"
#include "mail/store/accounts.h"
#include "mail/store/store_transaction.h"

#include <openssl/crypto.h>

#include <string>
#include <utility>
#include <vector>

namespace {

// Wipes a password copy when it goes.
struct LWipedField {
    char16_t text[260] = {0};
    ~LWipedField() { OPENSSL_cleanse(text, sizeof text); }
};

bool OnlyStars(const char16_t* s) {
    for (; *s; ++s)
        if (*s != u'*') return false;
    return true;
}

// live_only: the public set refuses deleted accounts; the migration moves
// the plain password of a deleted account behind its mask as well.
bool StorePassword(LAppDatabaseAccount& db, const char16_t* account_id, const char16_t* password, bool live_only) {
    if (!account_id || !*account_id || !password || !*password) return false;
    LUTF8FromWide utf8(password);
    if (utf8.Length() > LEmailPasswordMaxBytes) {
        LLogErrorF("The password of account %s is longer than %zu bytes and was not stored",
                   LToUtf8(account_id).c_str(), LEmailPasswordMaxBytes);
        return false;
    }
    LValueCipher* cipher = LValueCipherGet();
    char16_t encrypted[260];
    if (!cipher || !cipher->Encrypt(password, encrypted)) return false;
    LString mask;
    for (const char16_t* p = password; *p && mask.length < 259; ++p) mask.AppendChar(u'*');
    LStoreTransaction tx(db);
    if (!tx.Began() ||
        !db.ExecF(u"INSERT OR REPLACE INTO %s.EMAILACCOUNTSPASSWORDS (ID, PASSWORD) VALUES ('%Q', '%Q');", u"main",
                  account_id, encrypted) ||
        !db.ExecF(live_only ? u"UPDATE %s.EMAILACCOUNTS SET PASSWORD='%Q' WHERE ID='%Q' AND DELETED IS NULL;"
                            : u"UPDATE %s.EMAILACCOUNTS SET PASSWORD='%Q' WHERE ID='%Q';",
                  u"main", mask.c_str(), account_id))
        return false;
    // A password for an account that is not there is nobody's: nothing stays.
    if (sqlite3_changes(db.handle) == 0) return false;
    return tx.Commit();
}

}  // namespace

bool LEmailAccountPasswordSet(LAppDatabaseAccount& db, const char16_t* account_id, const char16_t* password) {
    return StorePassword(db, account_id, password, true);
}

bool LEmailAccountPasswordGet(LAppDatabaseAccount& db, const char16_t* account_id, char16_t out[260]) {
    out[0] = 0;
    if (!account_id || !*account_id) return false;
    LWipedField stored;
    bool has_row = false;
    {
        LAppDatabaseCursor c;
        c.QueryF(db, u"SELECT PASSWORD FROM %s.EMAILACCOUNTSPASSWORDS WHERE ID='%Q';", u"main", account_id);
        has_row = c.HasRow();
        if (has_row) c.GetColumnText(0, u"", stored.text);
    }
    if (has_row) {
        LValueCipher* cipher = LValueCipherGet();
        return cipher && cipher->Decrypt(stored.text, out) && out[0];
    }
    {
        LAppDatabaseCursor c;
        c.QueryF(db, u"SELECT PASSWORD FROM %s.EMAILACCOUNTS WHERE ID='%Q' AND DELETED IS NULL LIMIT 1;", u"main",
                 account_id);
        if (!c.HasRow()) return false;
        c.GetColumnText(0, u"", stored.text);
    }
    if (!stored.text[0] || OnlyStars(stored.text)) return false;
    if (!LEmailAccountPasswordSet(db, account_id, stored.text)) return false;
    LCopyField(out, stored.text);
    return true;
}

void LEmailAccountPasswordsMigrate(LAppDatabaseAccount& db) {
    // Read first, write after: the rows are rewritten while nothing reads them.
    std::vector<std::pair<LString, LString>> plain;
    {
        LAppDatabaseCursor c;
        c.Query(db, u"SELECT ID, PASSWORD FROM EMAILACCOUNTS WHERE PASSWORD IS NOT NULL AND PASSWORD<>'';");
        for (; c.HasRow(); c.Step()) {
            LString id, password;
            c.GetColumnString(0, id);
            c.GetColumnString(1, password);
            if (!id.IsEmpty() && !OnlyStars(password.c_str())) plain.emplace_back(std::move(id), std::move(password));
        }
    }
    for (auto& [id, password] : plain) {
        if (!StorePassword(db, id.c_str(), password.c_str(), false))
            LLogErrorF("Unable to move the stored password of account %s behind its mask", LToUtf8(id).c_str());
        OPENSSL_cleanse(password.buffer, password.capacity * sizeof(char16_t));
    }
}

bool LEmailAccountSetDefaultSentMailbox(LAppDatabaseAccount& db, const char16_t* account_id,
                                        const char16_t* imap_name) {
    if (!account_id || !*account_id || !imap_name || !*imap_name) return false;
    LAppDatabaseCursor c;
    c.QueryF(db,
             u"SELECT ID FROM %s.EMAILMAILBOXES WHERE EMAILACCOUNTS_ID='%Q' AND IMAP_NAME='%Q' AND DELETED IS NULL "
             u"LIMIT 1;",
             u"main", account_id, imap_name);
    if (!c.HasRow()) return false;
    return db.ExecF(u"UPDATE %s.EMAILACCOUNTS SET DEFAULT_SENT_MAILBOX='%Q' WHERE ID='%Q' AND DELETED IS NULL;",
                    u"main", imap_name, account_id) &&
           sqlite3_changes(db.handle) > 0;
}

bool LEmailAccountClearListRefresh(LAppDatabaseAccount& db, const char16_t* account_id) {
    return db.ExecF(u"UPDATE %s.EMAILACCOUNTS SET LAST_MAILBOXLIST_REFRESH_UTC=NULL WHERE ID='%Q';", u"main",
                    account_id);
}
