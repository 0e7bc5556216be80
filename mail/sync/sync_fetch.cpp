// The download step of a mailbox walk: one batch of UIDs, their sizes and
// flags asked in one command, then each message that is wanted and fits.
#include <algorithm>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "foundation/log.h"
#include "foundation/utf8.h"
#include "mail/sync/sync_scan.h"
#include "web/http/activity_log.h"

namespace {

// A batch ends after this many fetched bytes as well, so that the memory
// held by one batch (its parsed messages, then its pending cache files)
// stays small: up to four batches are alive at once (one stored, two
// queued, one being fetched).
constexpr uint64_t kBatchBytes = 8u << 20;
// Messages asked for in one command: one round trip per message was most of
// a first mirror's wait on the server.
constexpr size_t kFetchSet = 16;
// The header section kept of a parsed message, for the tests' store fault.
constexpr size_t kHeadBytes = 64u << 10;

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

EMLEmailAccGetter::MailboxEnd EMLEmailAccGetter::FetchBatch(LTaskProgress& progress, LImapConnection& imap,
                                                           const std::vector<uint32_t>& uids, size_t& i, size_t& si,
                                                           size_t count, const std::vector<uint32_t>& stored,
                                                           const Scan& scan,
                                                           const std::set<uint32_t>& failedBefore,
                                                           std::vector<Fetched>& items) {
    LWideFromUTF8 wname(scan.name);
    // Tokens that are no UID to fetch count as scanned from the start.
    int32_t scannedBase = scan.tokens - static_cast<int32_t>(uids.size());
    size_t end = std::min(uids.size(), i + count);

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
            imap.FetchAttributes(r, progress, set, "(UID RFC822.SIZE FLAGS)", 0,
                                 [&](const LImapFetchInfo& info) { infos[info.uid] = info; });
            if (r == LNetStopped) return MailboxEnd::Stopped;
            // Refused (a server that cannot size one message may refuse the
            // lot): each message is then asked for on its own.
            sized = r == LNetDone;
            if (!sized && !LMailSyncConnectionAlive(imap, progress)) {
                ReportImapFailure("FETCH", scan.name);
                return MailboxEnd::Failed;
            }
        }
    }

    // Sized messages are fetched a set at a time, as many as the batch's
    // bytes allow; what a set does not bring is fetched alone below, where a
    // failure is counted against that message only. A message that failed
    // before is never put in a set, so a bad one is asked for once a pass.
    uint64_t bytesHeld = 0;
    std::map<uint32_t, LStringA> prefetched;
    size_t setEnd = i;          // the items before it were offered to a set
    uint32_t setRefused = 0;    // the one message a refused set left out
    auto fetchSet = [&](size_t from) {
        std::vector<uint32_t> set;
        uint64_t planned = bytesHeld;
        size_t k = from;
        for (; k < end && set.size() < kFetchSet && planned < kBatchBytes; k++) {
            auto info = infos.find(uids[k]);
            if (std::binary_search(stored.begin(), stored.end(), uids[k]) || info == infos.end() ||
                !info->second.hasSize || info->second.size > LImapMaxMessage || failedBefore.count(uids[k]))
                continue;
            set.push_back(uids[k]);
            planned += info->second.size;
        }
        setEnd = k;
        if (set.size() < 2) return LNetDone;
        std::string text;
        for (uint32_t uid : set) text += (text.empty() ? "" : ",") + std::to_string(uid);
        uint64_t kept = bytesHeld;
        LNetOpResult r;
        imap.FetchMessages(r, progress, text.c_str(), [&](uint32_t uid, LStringA& message) {
            // A server that understated the sizes cannot make the batch
            // hold more than its bytes: the rest is fetched later.
            if (kept >= kBatchBytes || prefetched.count(uid) ||
                !std::binary_search(set.begin(), set.end(), uid))
                return;
            kept += message.length;
            prefetched[uid] = std::move(message);
        });
        // A refusal that left out one message names it: asking for it alone
        // would only be refused again.
        if (r == LNetFailed && prefetched.size() + 1 == set.size() && kept < kBatchBytes &&
            imap.connection.socket != LInvalidSocket)
            for (uint32_t uid : set)
                if (!prefetched.count(uid)) setRefused = uid;
        return r;
    };
    for (; i < end && bytesHeld < kBatchBytes; i++) {
        if (i % 64 == 0 && progress.IsStopRequested()) return MailboxEnd::Stopped;
        Fetched item;
        item.uid = uids[i];
        item.scanned = scannedBase + static_cast<int32_t>(i) + 1;
        while (si < stored.size() && stored[si] < item.uid) si++;
        if (si < stored.size() && stored[si] == item.uid) item.kind = Fetched::Earlier;
        auto info = infos.find(item.uid);
        if (info != infos.end() && info->second.hasFlags) {
            item.hasFlags = true;
            item.flags = LFromUtf8(info->second.flags);
        }
        if (item.kind == Fetched::Earlier) {
            // Stored by an earlier pass: nothing to download.
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
            // A set that broke the connection leaves what it brought; the
            // first message it did not bring fails alone below.
            if (sized && i >= setEnd && fetchSet(i) == LNetStopped) return MailboxEnd::Stopped;
            LNetOpResult r = LNetFailed;
            auto pre = prefetched.find(item.uid);
            if (pre != prefetched.end()) {
                item.bytes = std::move(pre->second);
                prefetched.erase(pre);
            } else if (item.uid == setRefused || imap.FetchMessage(r, progress, item.uid, item.bytes) != LNetDone) {
                if (r == LNetStopped) return MailboxEnd::Stopped;
                LLogErrorF("IMAP FETCH failed for %s UID %u", scan.name, item.uid);
                item.kind = Fetched::NotFetched;
                item.bytes = LStringA();
                items.push_back(std::move(item));
                // A refusal costs this message only; a lost connection
                // (or one the reply left out of step) ends the pass.
                if (!LMailSyncConnectionAlive(imap, progress)) {
                    LString error;
                    error.Format(u"Unable to download message data for mailbox %s.", wname.text);
                    SetLastError(error.c_str());
                    i++;
                    return MailboxEnd::Failed;
                }
                continue;
            }
            bytesHeld += item.bytes.length;
            // Parsed here, on the download side, while the worker stores;
            // the bytes go at once, so a queued batch holds one copy of each
            // message.
            item.message = std::make_unique<EMLMimeMessage>();
            item.message->Parse(item.bytes.View());
            item.size = item.bytes.length;
            std::string_view raw = item.bytes.View();
            item.head.assign(raw.substr(0, std::min(raw.find("\r\n\r\n"), kHeadBytes)));
            item.bytes = LStringA();
        }
        items.push_back(std::move(item));
    }
    return MailboxEnd::Done;
}
