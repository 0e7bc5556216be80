// IMAP mailbox commands: list, select, search, fetch, append, find, move
// and idle.
#include <strings.h>

#include <string>
#include <vector>

#include "foundation/wait.h"
#include "net/imap/imap_client.h"
#include "net/imap/imap_commands.h"
#include "net/imap/imap_response.h"

namespace {

constexpr uint32_t kSendTimeout = 30000;
constexpr uint32_t kLiteralTimeout = 30000;
constexpr size_t kDrainPiece = 8192;

bool WordIs(std::string_view line, size_t n, const char* word) {
    std::string w(LImapWord(line, n));
    return strcasecmp(w.c_str(), word) == 0;
}


}  // namespace

LNetOpResult LImapConnection::ReadReplies(LNetOpResult& result, LTaskProgress& progress,
                                          const std::function<void(std::string_view)>& untagged,
                                          const char16_t* notOk, LStringA* okText) {
    LStringA line;
    while (true) {
        if (ReadLine(result, progress, line) != 0) return Fail(result, progress, result, kImapErrWaiting);
        std::string_view l = line.View();
        LImapLineKind kind = LImapClassifyLine(l);
        if (kind == LImapLineKind::Untagged) {
            untagged(l);
            continue;
        }
        if (kind != LImapLineKind::Tagged) continue;
        if (WordIs(l, 1, "OK")) {
            if (okText) {
                okText->Clear();
                okText->AppendView(LImapRestAfterWord(l, 1));
            }
            return result = LNetDone;
        }
        LString text;
        text.Format(notOk, LImapText(LImapWord(l, 1)), LImapText(LImapRestAfterWord(l, 1)));
        return Fail(result, progress, LNetFailed, text.c_str());
    }
}

LNetOpResult LImapConnection::ListMailboxes(LNetOpResult& result, LTaskProgress& progress, LStringList& names) {
    names.Clear();
    if (SendCommand(result, progress, kImapList) != 0) return result;
    names.AddA("INBOX");
    LStringA name;
    return ReadReplies(
        result, progress,
        [&](std::string_view l) {
            if (!LImapParseListLine(l, name) || strcasecmp(name.c_str(), "INBOX") == 0) return;
            names.AddA(LImapDisplayMailboxName(name.View()).c_str());
        },
        kImapErrSelectNotOk);
}

LNetOpResult LImapConnection::Select(LNetOpResult& result, LTaskProgress& progress, const char* mailbox) {
    char quoted[260];
    if (!QuoteMailbox(progress, mailbox, quoted)) return result = LNetFailed;
    return CommandOk(result, progress, kImapSelect, quoted);
}

LNetOpResult LImapConnection::CreateMailbox(LNetOpResult& result, LTaskProgress& progress, const char* mailbox) {
    char quoted[260];
    if (!QuoteMailbox(progress, mailbox, quoted)) return result = LNetFailed;
    return CommandOk(result, progress, kImapCreate, quoted);
}

LNetOpResult LImapConnection::SelectStatus(LNetOpResult& result, LTaskProgress& progress, uint32_t& exists,
                                           uint32_t& uidValidity, uint32_t& uidNext, const char* mailbox,
                                           uint64_t* highestModseq) {
    exists = uidValidity = uidNext = 0;
    if (highestModseq) *highestModseq = 0;
    char quoted[260];
    if (!QuoteMailbox(progress, mailbox, quoted)) return result = LNetFailed;
    if (SendCommandF(result, progress, highestModseq ? kImapSelectCondstore : kImapSelect, quoted) != 0)
        return Fail(result, progress, result, kImapErrSelectSend);
    return ReadReplies(
        result, progress,
        [&](std::string_view l) {
            if (WordIs(l, 2, "EXISTS")) {
                uint32_t n = 0;
                LImapNumberAfter(l, "*", n);
                exists = n;
            }
            LImapNumberAfter(l, "UIDVALIDITY", uidValidity);
            LImapNumberAfter(l, "UIDNEXT", uidNext);
            size_t at = l.find("HIGHESTMODSEQ ");
            if (highestModseq && at != std::string_view::npos) {
                uint64_t v = 0;
                for (at += 14; at < l.size() && l[at] >= '0' && l[at] <= '9' && v < (UINT64_MAX - 9) / 10; ++at)
                    v = v * 10 + uint64_t(l[at] - '0');
                *highestModseq = v;
            }
        },
        kImapErrSelectNotOk);
}

LNetOpResult LImapConnection::SearchUids(LNetOpResult& result, LTaskProgress& progress, LStringA& uids,
                                         uint32_t lastUid) {
    uids.Clear();
    if (lastUid > 0 && lastUid < 0xFFFFFFFFu) SendCommandF(result, progress, kImapSearchNew, lastUid + 1);
    else SendCommand(result, progress, kImapSearchAll);
    if (result != 0) return result;
    return ReadReplies(
        result, progress,
        [&](std::string_view l) {
            if (!WordIs(l, 1, "SEARCH")) return;
            uids.Clear();
            uids.AppendView(LImapRestAfterWord(l, 1));
            uids.Terminate();
        },
        kImapErrSelectNotOk);
}

LNetOpResult LImapConnection::UidExists(LNetOpResult& result, LTaskProgress& progress, uint32_t uid, bool& exists) {
    exists = false;
    if (SendCommandF(result, progress, kImapSearchOne, uid) != 0) return result;
    return ReadReplies(
        result, progress,
        [&](std::string_view l) {
            if (WordIs(l, 1, "SEARCH"))
                LImapForEachSearchUid(LImapRestAfterWord(l, 1), [&](uint32_t v) { exists = exists || v == uid; });
        },
        kImapErrNotOk);
}

LNetOpResult LImapConnection::ReadFetchLiteral(LNetOpResult& result, LTaskProgress& progress, std::string_view line,
                                               LStringA& message, bool& received, bool& tooLarge) {
    std::string_view digits;
    if (!LImapFindLiteral(line, digits)) {
        if (LImapFetchBodyIsNil(line)) {
            received = true;
            return result = LNetDone;
        }
        // Where the message ends is unknown, and so is where the next reply
        // begins: the connection cannot be followed any more.
        Disconnect();
        return Fail(result, progress, LNetFailed, kImapErrLiteralLength);
    }
    uint64_t length = 0;
    if (!LImapParseLiteralLength(digits, length)) {
        Disconnect();
        return Fail(result, progress, LNetFailed, kImapErrLiteralLength);
    }
    if (length > LImapMaxMessage) {
        // Too large to keep: drain it so the dialogue stays in step.
        pendingLiteral_ = 0;
        std::string piece(kDrainPiece, '\0');
        for (uint64_t left = length; left > 0;) {
            uint64_t n = left < kDrainPiece ? left : kDrainPiece;
            if (reader_.ReadExact(result, progress, piece.data(), n, kLiteralTimeout) != 0) return result;
            left -= n;
        }
        tooLarge = true;
        return result = LNetDone;
    }
    message.Clear();
    if (!message.Reserve(length + 1)) return Fail(result, progress, LNetFailed, kImapErrAllocate);
    pendingLiteral_ = 0;
    if (reader_.ReadExact(result, progress, message.buffer, length, kLiteralTimeout) != 0) {
        message.Clear();
        return Fail(result, progress, result, kImapErrFetchConnection);
    }
    message.length = length;
    message.Terminate();
    received = true;
    return result = LNetDone;
}

LNetOpResult LImapConnection::FetchAttributes(LNetOpResult& result, LTaskProgress& progress, const char* uidSet,
                                              const char* items, uint64_t changedSince,
                                              const std::function<void(const LImapFetchInfo&)>& each) {
    if (changedSince) {
        if (SendCommandF(result, progress, kImapFetchChangedSince, uidSet, items,
                         static_cast<unsigned long long>(changedSince)) != 0)
            return result;
    } else if (SendCommandF(result, progress, kImapFetchItems, uidSet, items) != 0) {
        return result;
    }
    LImapFetchInfo info;
    return ReadReplies(
        result, progress,
        [&](std::string_view l) {
            if (LImapParseFetchLine(l, info)) each(info);
        },
        kImapErrFetchNotOk);
}

LNetOpResult LImapConnection::FetchMessage(LNetOpResult& result, LTaskProgress& progress, uint32_t uid,
                                           LStringA& message) {
    message.Clear();
    if (uid == 0) return result = LNetFailed;
    if (SendCommandF(result, progress, kImapFetch, uid) != 0) return result;
    bool received = false, tooLarge = false;
    LStringA line;
    while (true) {
        if (ReadLine(result, progress, line) != 0) {
            message.Terminate();
            return Fail(result, progress, result, kImapErrFetchConnection);
        }
        std::string_view l = line.View();
        LImapLineKind kind = LImapClassifyLine(l);
        if (kind == LImapLineKind::Untagged && WordIs(l, 2, "FETCH")) {
            // Only the reply for our UID carries the body; a flag update of
            // another message may come in between.
            if (l.find("BODY[") == std::string_view::npos) continue;
            if (ReadFetchLiteral(result, progress, l, message, received, tooLarge) != 0) {
                message.Terminate();
                return result;
            }
            continue;
        }
        if (kind != LImapLineKind::Tagged) continue;
        message.Terminate();
        if (!WordIs(l, 1, "OK")) {
            LString text;
            text.Format(kImapErrFetchNotOk, LImapText(LImapWord(l, 1)), LImapText(LImapRestAfterWord(l, 1)));
            return Fail(result, progress, LNetFailed, text.c_str());
        }
        if (tooLarge) return Fail(result, progress, LNetFailed, kImapErrTooLarge);
        if (!received) return Fail(result, progress, LNetFailed, kImapErrNoBody);
        return result = LNetDone;
    }
}

LNetOpResult LImapConnection::FetchMessages(LNetOpResult& result, LTaskProgress& progress, const char* uidSet,
                                            const std::function<void(uint32_t uid, LStringA& message)>& each) {
    if (!uidSet || !*uidSet) return result = LNetFailed;
    if (SendCommandF(result, progress, kImapFetchItems, uidSet, "BODY.PEEK[]") != 0) return result;
    LStringA line, message;
    while (true) {
        if (ReadLine(result, progress, line) != 0) return Fail(result, progress, result, kImapErrFetchConnection);
        std::string_view l = line.View();
        LImapLineKind kind = LImapClassifyLine(l);
        if (kind == LImapLineKind::Untagged && WordIs(l, 2, "FETCH")) {
            if (l.find("BODY[") == std::string_view::npos) continue;
            // The UID is read before the literal: a server that names it
            // only after the body has the message fetched again alone.
            LImapFetchInfo info;
            bool named = LImapParseFetchLine(l, info);
            bool received = false, tooLarge = false;
            if (ReadFetchLiteral(result, progress, l, message, received, tooLarge) != 0) return result;
            if (named && received && !tooLarge && message.length > 0) each(info.uid, message);
            message.Clear();
            continue;
        }
        if (kind != LImapLineKind::Tagged) continue;
        if (WordIs(l, 1, "OK")) return result = LNetDone;
        LString text;
        text.Format(kImapErrFetchNotOk, LImapText(LImapWord(l, 1)), LImapText(LImapRestAfterWord(l, 1)));
        return Fail(result, progress, LNetFailed, text.c_str());
    }
}

LNetOpResult LImapConnection::Append(LNetOpResult& result, LTaskProgress& progress, const char* mailbox,
                                     std::string_view message, uint32_t* uidValidity, uint32_t* uid) {
    if (uidValidity) *uidValidity = 0;
    if (uid) *uid = 0;
    if (!mailbox || !*mailbox || message.empty()) return result = LNetFailed;
    char quoted[260];
    if (!QuoteMailbox(progress, mailbox, quoted)) return result = LNetFailed;
    if (SendCommandF(result, progress, kImapAppend, quoted, kImapSeenFlag,
                     static_cast<unsigned long long>(message.size())) != 0)
        return result;
    LStringA line;
    while (true) {
        if (ReadLine(result, progress, line) != 0) return Fail(result, progress, result, kImapErrWaiting);
        std::string_view l = line.View();
        LImapLineKind kind = LImapClassifyLine(l);
        if (kind == LImapLineKind::Untagged) continue;
        LString text;
        if (kind == LImapLineKind::Tagged) {
            text.Format(kImapErrNotOk, LImapText(LImapWord(l, 1)), LImapText(LImapRestAfterWord(l, 1)));
            return Fail(result, progress, LNetFailed, text.c_str());
        }
        if (kind != LImapLineKind::Continuation) {
            text.Format(kImapErrUnexpected, LImapText(l));
            return Fail(result, progress, LNetFailed, text.c_str());
        }
        break;
    }
    if (connection.Send(result, progress, message.data(), message.size(), kSendTimeout) != 0 ||
        connection.Send(result, progress, "\r\n", 2, kSendTimeout) != 0)
        return result;
    char status[260], rest[260];
    if (ReadTagged(result, progress, status, rest) != 0) return result;
    if (strcasecmp(status, "OK") != 0) {
        LString text;
        text.Format(kImapErrNotOk, LImapText(status), LImapText(rest));
        return Fail(result, progress, LNetFailed, text.c_str());
    }
    uint32_t v = 0, u = 0;
    if (LImapParseAppendUid(rest, v, u)) {
        if (uidValidity) *uidValidity = v;
        if (uid) *uid = u;
    }
    return result = LNetDone;
}

LNetOpResult LImapConnection::FindByMessageId(LNetOpResult& result, LTaskProgress& progress, const char* mailbox,
                                              const char* messageId, uint32_t& uid) {
    uid = 0;
    if (!mailbox || !*mailbox || !messageId || !*messageId) return result = LNetFailed;
    if (Select(result, progress, mailbox) != 0) return result;
    char quoted[260];
    if (!QuoteName(progress, messageId, quoted)) return result = LNetFailed;
    if (SendCommandF(result, progress, kImapSearchHeader, kImapMessageIdHeader, quoted) != 0) return result;
    LStringA line;
    while (true) {
        if (ReadLine(result, progress, line) != 0) return Fail(result, progress, result, kImapErrWaiting);
        std::string_view l = line.View();
        if (l.starts_with("* SEARCH") && l.size() > 8) {
            LImapForEachSearchUid(l.substr(8), [&](uint32_t v) { uid = v; });
            continue;
        }
        LImapLineKind kind = LImapClassifyLine(l);
        if (kind == LImapLineKind::Untagged || kind == LImapLineKind::Continuation) continue;
        LString text;
        if (kind == LImapLineKind::Tagged) {
            if (WordIs(l, 1, "OK")) return result = LNetDone;
            text.Format(kImapErrNotOk, LImapText(LImapWord(l, 1)), LImapText(LImapRestAfterWord(l, 1)));
        } else {
            text.Format(kImapErrUnexpected, LImapText(l));
        }
        return Fail(result, progress, LNetFailed, text.c_str());
    }
}

// Without UIDPLUS a plain EXPUNGE would also remove every message that
// another client marked \Deleted. Those marks are lifted for the EXPUNGE and
// put back after it, so only the moved message goes.
LNetOpResult LImapConnection::ExpungeOne(LNetOpResult& result, LTaskProgress& progress, uint32_t uid) {
    if (SendCommand(result, progress, kImapSearchDeleted) != 0) return result;
    std::string others;
    auto collect = [&](std::string_view l) {
        if (!WordIs(l, 1, "SEARCH")) return;
        LImapForEachSearchUid(LImapRestAfterWord(l, 1), [&](uint32_t v) {
            if (v == uid) return;
            if (!others.empty()) others.push_back(',');
            others += std::to_string(v);
        });
    };
    if (ReadReplies(result, progress, collect, kImapErrNotOk) != 0) return result;
    if (!others.empty() && CommandOk(result, progress, kImapStoreUndeleted, others) != 0) return result;
    LNetOpResult expunged;
    if (SendCommand(expunged, progress, kImapExpungeAll) == 0) ExpectOk(expunged, progress);
    if (!others.empty()) {
        std::string restore = "UID STORE " + others + " +FLAGS.SILENT (\\Deleted)";
        if (CommandOk(result, progress, "%s", restore) != 0) return result;
    }
    return result = expunged;
}

LNetOpResult LImapConnection::MoveMessage(LNetOpResult& result, LTaskProgress& progress, const char* source,
                                          uint32_t uid, const char* destination, uint32_t* copyUidValidity,
                                          uint32_t* copyUid) {
    if (copyUidValidity) *copyUidValidity = 0;
    if (copyUid) *copyUid = 0;
    if (!source || !*source || !destination || !*destination || uid == 0) return result = LNetFailed;
    if (Select(result, progress, source) != 0) return result;
    char quoted[260];
    if (!QuoteMailbox(progress, destination, quoted)) return result = LNetFailed;
    // MOVE reports COPYUID in an untagged OK, COPY in its tagged OK.
    uint32_t validity = 0, copied = 0;
    auto noteCopyUid = [&](std::string_view l) { LImapParseCopyUid(l, validity, copied); };
    auto report = [&] {
        if (copyUidValidity) *copyUidValidity = validity;
        if (copyUid) *copyUid = copied;
    };
    bool offered = false;
    if (HasCapability(result, progress, "MOVE", offered) != 0) return result;
    LStringA okText;
    if (offered) {
        if (SendCommandF(result, progress, kImapMove, uid, quoted) != 0 ||
            ReadReplies(result, progress, noteCopyUid, kImapErrNotOk, &okText) != 0)
            return result;
        noteCopyUid(okText.View());
        report();
        return result;
    }
    if (SendCommandF(result, progress, kImapCopy, uid, quoted) != 0 ||
        ReadReplies(result, progress, noteCopyUid, kImapErrNotOk, &okText) != 0)
        return result;
    noteCopyUid(okText.View());
    report();
    if (CommandOk(result, progress, kImapStoreDeleted, uid) != 0) return result;
    if (HasCapability(result, progress, "UIDPLUS", offered) != 0) return result;
    if (offered) return CommandOk(result, progress, kImapExpungeOne, uid);
    return ExpungeOne(result, progress, uid);
}

LNetOpResult LImapConnection::Idle(LNetOpResult& result, LTaskProgress& progress, bool& changed, LHandle wake) {
    changed = false;
    if (connection.socket == LInvalidSocket) return result = LNetFailed;
    if (SendCommand(result, progress, kImapIdle) != 0) return result;
    // Once IDLE is out, DONE and the tagged reply must follow whatever
    // happens, or the dialogue falls out of step: only the wait for news
    // listens to the caller's stop request.
    LPlainWait plain;
    auto noteChange = [&](std::string_view l) {
        if (WordIs(l, 2, "EXISTS") || WordIs(l, 2, "EXPUNGE") || WordIs(l, 2, "FETCH") || WordIs(l, 2, "RECENT"))
            changed = true;
    };
    LStringA line;
    while (true) {
        if (ReadLine(result, plain, line) != 0) return result;
        LImapLineKind kind = LImapClassifyLine(line.View());
        if (kind == LImapLineKind::Continuation) break;
        // Untagged news may come before the continuation (RFC 3501 allows it).
        if (kind != LImapLineKind::Untagged) return result = LNetFailed;
        noteChange(line.View());
    }
    bool stopped = false;
    if (!changed && !HoldsUnreadInput()) {
        if (wake == LInvalidHandle) {
            LNetOpResult waited;
            LNetWaitReadable(waited, progress, connection.socket, LImapIdleTimeout);
            stopped = waited == LNetStopped;
        } else {
            // News, the caller's wake event or a stop: whichever comes first.
            LHandleList list;
            list.handles[list.count++] = connection.socket;
            list.handles[list.count++] = wake;
            stopped = progress.WaitHandles(list, LImapIdleTimeout) == LWaitStopped;
        }
    }
    if (connection.Send(result, plain, kImapDone, 6, kSendTimeout) != 0) return result;
    while (true) {
        if (ReadLine(result, plain, line) != 0) return result;
        std::string_view l = line.View();
        LImapLineKind kind = LImapClassifyLine(l);
        if (kind == LImapLineKind::Untagged) {
            noteChange(l);
            continue;
        }
        if (kind != LImapLineKind::Tagged) continue;
        if (!WordIs(l, 1, "OK")) return result = LNetFailed;
        return result = stopped ? LNetStopped : LNetDone;
    }
}
