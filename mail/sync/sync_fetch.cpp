// The download step of a mailbox walk: one batch of UIDs, their sizes and
// flags asked in one command, then each message that is wanted and fits.
#include <algorithm>
#include <map>

#include "foundation/log.h"
#include "foundation/utf8.h"
#include "mail/sync/sync_scan.h"
#include "web/http/activity_log.h"

namespace {

// A batch ends after this many fetched bytes as well, so that the memory
// held by one batch (its fetched messages, then its pending cache files)
// stays small.
constexpr uint64_t kBatchBytes = 32u << 20;

}  // namespace

bool EMLEmailAccGetter::CountFailure(std::map<uint32_t, int>& failures, uint32_t uid, const char* mailbox,
                                     const char* what) {
    if (++failures[uid] < LMailSyncStoreAttempts) return false;
    // Given up so that one message does not hold back the mark of every
    // later one, nor the mailboxes after it.
    LUTF8FromWide u(user);
    LLogErrorF("Skipping message UID %u of mailbox %s for account %s: it could not be %s in %d passes", uid, mailbox,
               u.text, what, LMailSyncStoreAttempts);
    failures.erase(uid);
    return true;
}

EMLEmailAccGetter::MailboxEnd EMLEmailAccGetter::FetchBatch(LImapConnection& imap, const std::vector<uint32_t>& uids,
                                                           size_t& i, size_t& si, const std::vector<uint32_t>& stored,
                                                           Scan& scan, std::vector<Fetched>& items) {
    LWideFromUTF8 wname(scan.name);
    std::map<uint32_t, int>& failures = storeFailures_[scan.mailboxId];
    // Tokens that are no UID to fetch count as scanned from the start.
    int32_t scannedBase = scan.tokens - static_cast<int32_t>(uids.size());
    size_t end = std::min(uids.size(), i + static_cast<size_t>(LMailSyncBatchMessages));

    // Sizes and flags of the batch's messages not stored yet, in one command:
    // a message over the limit is never downloaded, and a new row has its
    // flags from the start.
    std::map<uint32_t, LImapFetchInfo> infos;
    bool sized = false;
    {
        uint32_t lo = 0, hi = 0;
        for (size_t k = i, s = si; k < end; k++) {
            while (s < stored.size() && stored[s] < uids[k]) s++;
            if (s < stored.size() && stored[s] == uids[k]) continue;
            if (!lo) lo = uids[k];
            hi = uids[k];
        }
        if (lo) {
            char set[32];
            snprintf(set, sizeof set, "%u:%u", lo, hi);
            LNetOpResult r;
            imap.FetchAttributes(r, *this, set, "(UID RFC822.SIZE FLAGS)", 0,
                                 [&](const LImapFetchInfo& info) { infos[info.uid] = info; });
            if (r == LNetStopped) return MailboxEnd::Stopped;
            // Refused (a server that cannot size one message may refuse the
            // lot): each message is then asked for on its own.
            sized = r == LNetDone;
            if (!sized && !LMailSyncConnectionAlive(imap, *this)) {
                ReportImapFailure("FETCH", scan.name);
                return MailboxEnd::Failed;
            }
        }
    }

    uint64_t bytesHeld = 0;
    for (; i < end && bytesHeld < kBatchBytes; i++) {
        if (i % 64 == 0 && IsStopRequested()) {
            LActivityLogEmail(u"Stopped mailbox %s for account %s after scanning %u messages and downloading %d "
                              u"messages",
                              wname.text, user, static_cast<uint32_t>(i), scan.downloaded);
            return MailboxEnd::Stopped;
        }
        Fetched item;
        item.uid = uids[i];
        while (si < stored.size() && stored[si] < item.uid) si++;
        if (si < stored.size() && stored[si] == item.uid) item.kind = Fetched::Earlier;
        auto info = infos.find(item.uid);
        if (item.kind == Fetched::Download && info != infos.end() && info->second.hasFlags) {
            item.hasFlags = true;
            item.flags = LFromUtf8(info->second.flags);
        }
        if (item.kind != Fetched::Download) {
        } else if (sized && info == infos.end()) {
            // Expunged since the search: nothing left to fetch.
            item.kind = Fetched::Passed;
        } else if (sized && info->second.hasSize && info->second.size > LImapMaxMessage) {
            LUTF8FromWide u(user);
            LLogErrorF("Skipping message UID %u of mailbox %s for account %s: its %llu bytes are over the limit of "
                       "%llu bytes",
                       item.uid, scan.name, u.text, static_cast<unsigned long long>(info->second.size),
                       static_cast<unsigned long long>(LImapMaxMessage));
            item.kind = Fetched::Passed;
        } else {
            LNetOpResult r;
            if (imap.FetchMessage(r, *this, item.uid, item.bytes) != LNetDone) {
                if (r == LNetStopped) return MailboxEnd::Stopped;
                LLogErrorF("IMAP FETCH failed for %s UID %u", scan.name, item.uid);
                item.kind = CountFailure(failures, item.uid, scan.name, "downloaded") ? Fetched::Passed
                                                                                       : Fetched::Refused;
                item.bytes = LStringA();
                items.push_back(std::move(item));
                // A refusal costs this message only; a lost connection
                // (or one the reply left out of step) ends the pass.
                if (!LMailSyncConnectionAlive(imap, *this)) {
                    LString error;
                    error.Format(u"Unable to download message data for mailbox %s.", wname.text);
                    SetLastError(error.c_str());
                    i++;
                    return MailboxEnd::Failed;
                }
                SetProgress(scan.done, scan.total, scannedBase + static_cast<int32_t>(i) + 1, scan.tokens);
                continue;
            }
            bytesHeld += item.bytes.length;
        }
        items.push_back(std::move(item));
        SetProgress(scan.done, scan.total, scannedBase + static_cast<int32_t>(i) + 1, scan.tokens);
    }
    return MailboxEnd::Done;
}
