#include <ctime>
#include <vector>

#include "foundation/utf8.h"
#include "mail/store/mailboxes.h"
#include "mail/sync/sync_worker.h"
#include "web/http/activity_log.h"

namespace {

// Moves read from the queue at a time; a long queue is worked in rounds.
constexpr int kMovesPerRound = 256;

std::vector<LMailSyncMove> LoadMoves(LAppDatabaseAccount& db, const char16_t* accountId) {
    std::vector<LMailSyncMove> moves;
    LAppDatabaseCursor c;
    c.QueryF(db,
             u"SELECT ID, MESSAGE_ID, SOURCE_MAILBOX_ID, TARGET_MAILBOX_ID, UID, UIDVALIDITY, IS_DELETE, ATTEMPTS "
             u"FROM %s.EMAIL_SERVER_MOVES WHERE ACCOUNT_ID='%Q' ORDER BY ID LIMIT %d;",
             u"main", accountId, kMovesPerRound);
    for (; c.HasRow(); c.Step()) {
        LMailSyncMove m;
        m.seq = c.GetColumnInt64(0);
        c.GetColumnText(1, u"", m.messageId);
        c.GetColumnText(2, u"", m.sourceMailboxId);
        c.GetColumnText(3, u"", m.targetMailboxId);
        m.uid = static_cast<uint32_t>(c.GetColumnInt64(4));
        m.uidValidity = static_cast<uint32_t>(c.GetColumnInt64(5));
        m.isDelete = c.GetColumnInt(6) != 0;
        m.attempts = c.GetColumnInt(7);
        moves.push_back(m);
    }
    return moves;
}

bool Dequeue(LAppDatabaseAccount& db, int64_t seq) {
    return db.ExecF(u"DELETE FROM %s.EMAIL_SERVER_MOVES WHERE ID=%lld;", u"main", seq);
}

}  // namespace

int EMLEmailAccGetter::ApplyServerMoves(LAppDatabaseAccount& db, LImapConnection& imap) {
    for (;;) {
        std::vector<LMailSyncMove> moves = LoadMoves(db, accountId);
        for (const LMailSyncMove& m : moves) {
            int r = ApplyServerMove(db, imap, m);
            if (r != 0) return r;
        }
        if (moves.size() < static_cast<size_t>(kMovesPerRound)) return 0;
    }
}

int EMLEmailAccGetter::ApplyServerMove(LAppDatabaseAccount& db, LImapConnection& imap, const LMailSyncMove& m) {
    LString source, target;
    bool named = LEmailMailboxGetName(db, accountId, m.sourceMailboxId, source) &&
                 LEmailMailboxGetName(db, accountId, m.targetMailboxId, target);
    bool alive = true;
    if (named) {
        if (m.isDelete)
            LActivityLogEmail(u"Deleting email %s on server by moving from %s to trash %s", m.messageId,
                              source.c_str(), target.c_str());
        else
            LActivityLogEmail(u"Moving email %s on server from %s to %s", m.messageId, source.c_str(),
                              target.c_str());
        LUTF8FromWide s(source), t(target);
        LNetOpResult r;
        uint32_t copyValidity = 0, copyUid = 0;
        bool uidplus = false, present = true;
        // A first try must know that the message is still there: a server
        // answers OK to a move of nothing. With UIDPLUS the missing COPYUID
        // tells; without it, a search first. (A retry after a lost reply
        // expects the message gone: the first try may have moved it.)
        if (m.attempts == 0 && imap.HasCapability(r, *this, "UIDPLUS", uidplus) == LNetDone && !uidplus &&
            imap.Select(r, *this, s.text) == LNetDone)
            imap.UidExists(r, *this, m.uid, present);
        if (r == LNetStopped) return 1;
        if (r == LNetDone && !present) {
            LActivityLogEmail(u"Email %s is no longer in %s on the server (UID %u); nothing to move", m.messageId,
                              source.c_str(), m.uid);
        } else if (r == LNetDone) {
            imap.MoveMessage(r, *this, s.text, m.uid, t.text, &copyValidity, &copyUid);
        }
        if (r == LNetStopped) return 1;
        if (r == LNetDone && present && m.attempts == 0 && uidplus && copyUid == 0) {
            LActivityLogEmail(u"Server moved nothing for email %s: UID %u is no longer in %s (no COPYUID in the "
                              u"reply)",
                              m.messageId, m.uid, source.c_str());
            present = false;
        }
        if (r == LNetDone && present) {
            if (m.isDelete)
                LActivityLogEmail(u"Server delete complete for email %s from %s to trash %s", m.messageId,
                                  source.c_str(), target.c_str());
            else
                LActivityLogEmail(u"Server move complete for email %s from %s to %s", m.messageId, source.c_str(),
                                  target.c_str());
            // Without COPYUID the moved row stays unlinked until the
            // target's next pass adopts the server copy by Message-ID and size.
            if (copyValidity != 0 && copyUid != 0)
                LEmailMoveLink(db, m.messageId, m.targetMailboxId, copyValidity, copyUid);
            Dequeue(db, m.seq);
            return 0;
        }
        alive = r == LNetDone || LMailSyncConnectionAlive(imap, *this);
        if (!alive && m.attempts + 1 < LMailSyncStoreAttempts) {
            // The reply was lost with the connection: the server may have
            // moved the message. The move is tried again on the next
            // connection, where a message already gone from the source is
            // not an error, rather than the row moved back blindly.
            db.ExecF(u"UPDATE %s.EMAIL_SERVER_MOVES SET ATTEMPTS=ATTEMPTS+1 WHERE ID=%lld;", u"main", m.seq);
            return 2;
        }
    }
    if (m.isDelete)
        LActivityLogEmail(u"Server delete failed for email %s. Moving local row back to %s", m.messageId,
                          m.sourceMailboxId);
    else
        LActivityLogEmail(u"Server move failed for email %s. Moving local row back to %s", m.messageId,
                          m.sourceMailboxId);
    LEmailMoveRevert(db, m.messageId, m.sourceMailboxId, m.uidValidity, m.uid);
    Dequeue(db, m.seq);
    return alive ? 0 : 2;
}
