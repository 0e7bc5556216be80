#include "mail/store/mailboxes.h"
#include "mail/store/message_store.h"

LEmailStoreBatch::LEmailStoreBatch(LAppDatabaseAccount& db) : db_(db) {}
LEmailStoreBatch::~LEmailStoreBatch() = default;
bool LEmailStoreBatch::Began() const { return false; }
int LEmailStoreBatch::Store(LString&, bool&, const char16_t*, const char16_t*, uint32_t, uint32_t, uint64_t,
                            const EMLMimeMessage&) {
    return LEmailStoreFailed;
}
int LEmailStoreBatch::StoreBytes(LString&, bool&, const char16_t*, const char16_t*, uint32_t, uint32_t,
                                 std::string_view) {
    return LEmailStoreFailed;
}
bool LEmailStoreBatch::Commit() { return false; }
void LEmailStoreBatch::AddCacheFile(std::string, std::string) {}
int LEmailStoreMessage(LAppDatabaseAccount&, LString&, bool&, const char16_t*, const char16_t*, uint32_t, uint32_t,
                       uint64_t, const EMLMimeMessage&) {
    return LEmailStoreFailed;
}
bool LEmailFindStoredMessage(LAppDatabaseAccount&, LString&, const char16_t*, const char16_t*, uint32_t, uint32_t,
                             uint64_t, const char16_t*) {
    return false;
}
bool LEmailMailboxListNames(LAppDatabaseAccount&, const char16_t*, LStringList&) { return false; }
bool LEmailAccountListRefreshDue(LAppDatabaseAccount&, const char16_t*) { return true; }
bool LEmailMailboxesReconcile(LAppDatabaseAccount&, const char16_t*, const LStringList&) { return false; }
bool LEmailMailboxesStoreListed(LAppDatabaseAccount&, const char16_t*, const LStringList&) { return false; }
bool LEmailMailboxesMarkUnlisted(LAppDatabaseAccount&, const char16_t*, const LStringList&) { return false; }
bool LEmailMailboxFindByName(LAppDatabaseAccount&, const char16_t*, const char16_t*, LString&, LString&) {
    return false;
}
bool LEmailMailboxGetName(LAppDatabaseAccount&, const char16_t*, const char16_t*, LString&) { return false; }
uint32_t LEmailMailboxGetUidValidity(LAppDatabaseAccount&, const char16_t*, const char16_t*) { return 0; }
bool LEmailMailboxFindTrash(LAppDatabaseAccount&, const char16_t*, LString&) { return false; }
int LEmailMoveMessage(const char16_t*, const char16_t*, bool) { return 2; }
int LEmailMoveMessageToTrash(const char16_t*) { return 2; }
bool LEmailMoveLink(LAppDatabaseAccount&, const char16_t*, const char16_t*, uint32_t, uint32_t) { return false; }
bool LEmailMoveRevert(LAppDatabaseAccount&, const char16_t*, const char16_t*, uint32_t, uint32_t) { return false; }
void LEmailAttachmentCacheCleanup(LAppDatabaseAccount&) {}
