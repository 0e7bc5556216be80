#include "web/server/certificate.h"

#include "foundation/data_folder.h"
#include "foundation/database.h"
#include "foundation/lstring.h"

namespace {

bool SameText(const char16_t* a, const char16_t* b) { return std::u16string_view(a) == std::u16string_view(b); }

// A fresh password, stored and read back, after the files it protected
// are gone.
bool NewPassword(const char16_t* folder, LSecretText& password) {
    LSecretText check;
    if (!LHttpsCertificateDeleteFiles(folder) || !LGenerateCertificatePassword(password.wide) ||
        !LSslSettingsSetPassword(password.wide))
        return false;
    LSslSettingsGetPassword(check.wide);
    return SameText(check.wide, password.wide);
}

}  // namespace

bool LEnsureHttpsCertificate(LTaskProgress& progress) {
    char16_t folder[260];
    if (!LGetDataSubfolder(u"Crypt", folder)) return false;
    {
        LAppDatabaseAccount db(false);
        if (!db.handle) return false;
        db.EnsureTable(u"SSL_SETTINGS", LSslSettingsCreateStatement);
        if (!db.TableExistsInSchema(u"main", u"SSL_SETTINGS")) return false;
    }
    LSecretText password;
    LSslSettingsGetPassword(password.wide);
    if (!password.wide[0] && !NewPassword(folder, password)) return false;
    if (LCreateHttpsCertificate(progress, folder, password.wide)) return true;
    if (progress.IsStopRequested()) return false;
    // One more try. A root that still opens with the stored password is the
    // one the user may already trust: it is kept, and only a root that is
    // lost makes way for a new password.
    if (!LHttpsCertificateRootOpens(folder, password.Narrow()) && !NewPassword(folder, password)) return false;
    return LCreateHttpsCertificate(progress, folder, password.wide);
}

void LHttpsCertificateListenerPassword(LString& out) {
    LSecretText password;
    LSslSettingsGetPassword(password.wide);
    out.Clear();
    out.Reserve(260);
    out.Append(password.wide);
}
