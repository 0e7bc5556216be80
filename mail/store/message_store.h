#pragma once
// The store writer: one downloaded message, parsed from its raw bytes (never
// from a wide-text copy, which would ruin 8-bit bodies and binary parts),
// becomes one row of EMAIL_MESSAGES with its address rows, its safety row
// for the autoresponders, its attachment rows, its cached attachment files
// and (through the triggers) its full-text index entries.
//
// Each message is written whole or not at all. The writes of a batch's
// messages run in one transaction without a savepoint of their own; a message
// that fails rolls the batch back (its cache files removed), the messages
// stored before it are written again with the row IDs they were given, and the
// rest of the batch goes on. Cache files are written under a temporary name, renamed to
// their final name just before the batch commits, and removed again when the
// commit fails; files that a crash left behind (temporary or without a row)
// are removed at start by LEmailAttachmentCacheCleanup.
//
// Hooks (rules, autoresponders, backup) are not run here: the caller runs
// them after the commit, for the rows it decides are arrivals.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include <memory>

#include "foundation/database.h"
#include "foundation/lstring.h"
#include "mail/store/fts_index.h"
#include "mail/store/store_transaction.h"
#include "net/mime/mime_message.h"

struct LEmailBatchStatements;

// One message: 0 stored, 2 failed.
constexpr int LEmailStoreOk = 0;
constexpr int LEmailStoreFailed = 2;

// The batch of messages one caller stores in one transaction. Begun by the
// constructor (a savepoint when the caller's handle is already inside a
// transaction); whatever is not committed is rolled back when it goes, and
// the cache files of the rolled-back messages are removed.
class LEmailStoreBatch {
public:
    explicit LEmailStoreBatch(LAppDatabaseAccount& db);
    ~LEmailStoreBatch();
    LEmailStoreBatch(const LEmailStoreBatch&) = delete;
    LEmailStoreBatch& operator=(const LEmailStoreBatch&) = delete;

    bool Began() const;
    // Writes one message whole or not at all (see LEmailStoreMessage).
    // `flags` (the server's, blank-separated) goes to FLAGS when given. The
    // message must live until the batch commits or goes: a later message
    // that fails makes the batch write it again.
    int Store(LString& row_id, bool& is_new, const char16_t* account_id, const char16_t* mailbox_id, uint32_t uid,
              uint32_t uidvalidity, uint64_t size, const EMLMimeMessage& message, const char16_t* flags = nullptr);
    // Parses the raw bytes as fetched and stores them; `size` is their count.
    int StoreBytes(LString& row_id, bool& is_new, const char16_t* account_id, const char16_t* mailbox_id,
                   uint32_t uid, uint32_t uidvalidity, std::string_view bytes, const char16_t* flags = nullptr);
    // Renames the cache files of the stored messages to their final names,
    // then commits; false (and nothing of the batch kept) when it fails.
    bool Commit();

    // A cache file written under `temporary` that becomes `final_path` at
    // the commit (used by LEmailStoreAttachments).
    void AddCacheFile(std::string temporary, std::string final_path);

private:
    struct CacheFile {
        std::string temporary;
        std::string final_path;
    };
    // A message stored in this batch, as it is written again.
    struct Written {
        const EMLMimeMessage* message;
        LString row_id;
        bool is_new;
        std::u16string account_id, mailbox_id, flags;
        bool has_flags;
        uint32_t uid, uidvalidity;
        uint64_t size;
    };
    void Begin();
    // Rolls back and removes the batch's cache files.
    void RollBack();
    // After a failed message: rolls back and writes the stored messages
    // again; false (and the batch over) when one of them fails now.
    bool WriteAgain();
    LAppDatabaseAccount& db_;
    std::unique_ptr<LStoreTransaction> tx_;
    // The INSERT of a new row and the look-ups, prepared once for the batch.
    std::unique_ptr<LEmailBatchStatements> statements_;
    std::vector<CacheFile> files_;
    std::vector<Written> written_;
    std::vector<std::unique_ptr<EMLMimeMessage>> parsed_;  // StoreBytes' messages
    LEmailFtsDeferred fts_;  // the batch's rows are indexed at its commit
    bool committed_ = false;
};

// One message in a batch of its own: 0 stored (row written with everything
// that belongs to it and committed), 2 failed (nothing written). Inside a
// transaction of the caller it is a savepoint of that transaction.
int LEmailStoreMessage(LAppDatabaseAccount& db, LString& row_id, bool& is_new, const char16_t* account_id,
                       const char16_t* mailbox_id, uint32_t uid, uint32_t uidvalidity, uint64_t size,
                       const EMLMimeMessage& message);

// The row that already holds the message: the same UID under the same
// UIDVALIDITY; else a row of the mailbox from another UIDVALIDITY with the
// same Message-ID and size (a message that survived a UIDVALIDITY change);
// else a row moved here whose server copy was not yet known (see
// mailboxes.h) with the same Message-ID and size.
bool LEmailFindStoredMessage(LAppDatabaseAccount& db, LString& row_id, const char16_t* account_id,
                             const char16_t* mailbox_id, uint32_t uid, uint32_t uidvalidity, uint64_t size,
                             const char16_t* message_id);

// The one-line preview: the text body, else the HTML body made text; runs of
// blanks and line breaks as one space; at most size - 1 characters.
void LEmailMakePreviewText(const LString& text, const LString& html, char16_t* out, size_t size);

// Address rows of one message (kinds "FROM", "TO", "CC", "BCC", "REPLYTO").
// `replace` removes the rows the message had first (a new row has none).
bool LEmailStoreAddresses(LAppDatabaseAccount& db, const char16_t* row_id, const char16_t* from,
                          const char16_t* to, const char16_t* cc, const char16_t* bcc, const char16_t* reply_to,
                          bool replace = true);
bool LEmailStoreAddress(LAppDatabaseAccount& db, const char16_t* row_id, const char16_t* kind,
                        const char16_t* header);
// The display name of one address item; empty when it equals the address.
void LEmailSplitDisplayName(std::u16string_view item, std::u16string_view address, LString& name);

// The attachment rows and cache files of a new row. Inside a batch the files
// are temporary until the batch commits; without one (null) they are written
// under their final names at once.
bool LEmailStoreAttachments(LAppDatabaseAccount& db, const char16_t* row_id, const EMLMimeMessage& message,
                            LEmailStoreBatch* batch = nullptr);
bool LEmailAttachmentNewId(LAppDatabaseAccount& db, char16_t out[11]);
// The cache file of one attachment: "CachedAttachments/<message ID>/<attachment
// ID>-<file name>" in the per-user data folder, the folders made when missing.
// The name fits 255 bytes (cut on a UTF-8 boundary), holds no "/" and does not
// begin with ".".
bool LEmailAttachmentCachePath(const char16_t* message_id, const char16_t* attachment_id, const char16_t* file_name,
                               LString& path);
// The type for a part that declared none: ".txt" "text/plain", an attached
// message "message/rfc822", otherwise by extension.
void LEmailAttachmentContentType(const char16_t* file_name, bool attached_message, LString& type);
// Removes the cache files that a crash left behind: temporary files and files
// that no attachment row names, and the folders left empty.
void LEmailAttachmentCacheCleanup(LAppDatabaseAccount& db);
