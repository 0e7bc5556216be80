// Keeps FLAGS of the stored messages equal to the server's: read, flagged,
// answered and the rest change on the server without any new mail.
#include <algorithm>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "foundation/log.h"
#include "mail/store/store_transaction.h"
#include "mail/sync/sync_scan.h"

namespace {

// Beyond this many answers the stored flags are read in one query and
// compared here, rather than one update per answer.
constexpr size_t kCompareLocallyFrom = 64;

}  // namespace

bool EMLEmailAccGetter::RefreshFlags(LAppDatabaseAccount& db, LImapConnection& imap, const Scan& scan,
                                     uint64_t changedSince) {
    std::vector<std::pair<uint32_t, std::string>> server;
    LNetOpResult r;
    imap.FetchAttributes(r, *this, "1:*", "(UID FLAGS)", changedSince, [&](const LImapFetchInfo& info) {
        if (info.hasFlags) server.emplace_back(info.uid, info.flags);
    });
    if (r != LNetDone) return false;
    if (server.empty()) return true;
    std::unordered_map<uint32_t, std::string> stored;
    bool compare = server.size() >= kCompareLocallyFrom;
    if (compare) {
        // Only the rows between the lowest and highest UID answered: after
        // new mail the answers are the new messages, and FLAGS, stored after
        // the bodies, costs a walk through each row's pages to read.
        uint32_t lo = server.front().first, hi = lo;
        for (const auto& answer : server) {
            lo = std::min(lo, answer.first);
            hi = std::max(hi, answer.first);
        }
        LAppDatabaseCursor c;
        c.QueryF(db,
                 u"SELECT UID, COALESCE(FLAGS, '') FROM %s.EMAIL_MESSAGES WHERE ACCOUNT_ID='%Q' AND MAILBOX_ID='%Q' AND "
                 u"UIDVALIDITY=%u AND UID>0 AND UID BETWEEN %u AND %u;",
                 u"main", accountId, scan.mailboxId, scan.validity, lo, hi);
        LStringA flags;
        for (; c.HasRow(); c.Step()) {
            c.GetColumnTextA(1, flags);
            stored.emplace(static_cast<uint32_t>(c.GetColumnInt64(0)), flags.Str());
        }
    }
    LStoreTransaction tx(db);
    if (!tx.Began()) return false;
    for (const auto& [uid, flags] : server) {
        if (compare) {
            auto it = stored.find(uid);
            if (it == stored.end() || it->second == flags) continue;
        }
        LString wide = LFromUtf8(flags);
        if (!db.ExecF(u"UPDATE %s.EMAIL_MESSAGES SET FLAGS='%Q' WHERE ACCOUNT_ID='%Q' AND MAILBOX_ID='%Q' AND "
                      u"UIDVALIDITY=%u AND UID=%u AND COALESCE(FLAGS, '')<>'%Q';",
                      u"main", wide.c_str(), accountId, scan.mailboxId, scan.validity, uid, wide.c_str()))
            return false;
    }
    if (!tx.Commit()) {
        LLogErrorF("Unable to store the flags of mailbox %s", scan.name);
        return false;
    }
    return true;
}
