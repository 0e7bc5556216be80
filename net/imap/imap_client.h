#pragma once
// LImapConnection: the client side of one IMAP4rev1 connection over
// implicit TLS. One command at a time, synchronising literals only. Every
// operation takes the caller's progress, reports its errors through it and
// writes its result (0 done, 1 stop requested, 2 failed) through the first
// argument, which it also returns.
#include <cstdint>
#include <functional>
#include <string_view>

#include "foundation/lstring.h"
#include "foundation/string_list.h"
#include "foundation/task_progress.h"
#include "net/crypto_socket.h"
#include "net/imap/imap_response.h"
#include "net/net_reader.h"

class LImapConnection {
public:
    LCryptoSocket connection;
    uint32_t tag = 1;  // number of the next command tag; never reset
    LStringA capabilities;  // " NAME NAME " upper-cased; empty until queried
    uint8_t capabilitiesKnown = 0;

    LImapConnection() { Init(); }
    ~LImapConnection() { Destroy(); }
    LImapConnection(const LImapConnection&) = delete;
    LImapConnection& operator=(const LImapConnection&) = delete;

    void Init();
    void Destroy();

    // server: "host" or "host:port" (993 by default).
    LNetOpResult Login(LNetOpResult& result, LTaskProgress& progress, const char16_t* server, const char16_t* user,
                       const char16_t* password);
    LNetOpResult Logout(LNetOpResult& result, LTaskProgress& progress);
    void Disconnect();

    LNetOpResult SendCommand(LNetOpResult& result, LTaskProgress& progress, std::string_view command);
    template <class... A>
    LNetOpResult SendCommandF(LNetOpResult& result, LTaskProgress& progress, const char* format, const A&... args) {
        LStringA command;
        command.Format(format, args...);
        return SendCommand(result, progress, command.View());
    }
    template <class... A>
    LNetOpResult CommandOk(LNetOpResult& result, LTaskProgress& progress, const char* format, const A&... args) {
        if (SendCommandF(result, progress, format, args...) != 0) return result;
        return ExpectOk(result, progress);
    }
    LNetOpResult ReadTagged(LNetOpResult& result, LTaskProgress& progress, char status[260], char rest[260]);
    LNetOpResult ExpectOk(LNetOpResult& result, LTaskProgress& progress);

    LNetOpResult Capability(LNetOpResult& result, LTaskProgress& progress);
    LNetOpResult HasCapability(LNetOpResult& result, LTaskProgress& progress, const char* name, bool& offered);
    // All selectable mailboxes (UTF-8 as the server names them), INBOX first.
    LNetOpResult ListMailboxes(LNetOpResult& result, LTaskProgress& progress, LStringList& names);
    LNetOpResult Select(LNetOpResult& result, LTaskProgress& progress, const char* mailbox);
    LNetOpResult CreateMailbox(LNetOpResult& result, LTaskProgress& progress, const char* mailbox);
    // With highestModseq, the mailbox is selected with CONDSTORE (the
    // caller checks the capability) and its HIGHESTMODSEQ goes there, 0 when
    // the server names none.
    LNetOpResult SelectStatus(LNetOpResult& result, LTaskProgress& progress, uint32_t& exists, uint32_t& uidValidity,
                              uint32_t& uidNext, const char* mailbox, uint64_t* highestModseq = nullptr);
    // Whether the selected mailbox holds the UID ("UID SEARCH UID n").
    LNetOpResult UidExists(LNetOpResult& result, LTaskProgress& progress, uint32_t uid, bool& exists);
    // The UIDs as the server wrote them; callers drop those not above lastUid.
    LNetOpResult SearchUids(LNetOpResult& result, LTaskProgress& progress, LStringA& uids, uint32_t lastUid);
    // "UID FETCH <uidSet> <items>", with "(CHANGEDSINCE n)" when changedSince
    // is not 0; every FETCH line that names a UID goes to `each`.
    LNetOpResult FetchAttributes(LNetOpResult& result, LTaskProgress& progress, const char* uidSet, const char* items,
                                 uint64_t changedSince, const std::function<void(const LImapFetchInfo&)>& each);
    // The whole message, without setting \Seen. A reply that cannot be
    // followed (a literal of no valid length, a line over the limit) closes
    // the connection; a refusal (NO, BAD, no body, a literal over the limit,
    // drained) leaves it open.
    LNetOpResult FetchMessage(LNetOpResult& result, LTaskProgress& progress, uint32_t uid, LStringA& message);
    // The messages of a UID set in one command ("UID FETCH 5,6,7
    // BODY.PEEK[]"), without setting \Seen: each body that comes with its UID
    // goes to `each` as it is read, in the server's order. A message the reply
    // leaves out (no UID, no body, over the limit) is not reported: the caller
    // fetches it alone. Failures as for FetchMessage.
    LNetOpResult FetchMessages(LNetOpResult& result, LTaskProgress& progress, const char* uidSet,
                               const std::function<void(uint32_t uid, LStringA& message)>& each);
    // APPEND with \Seen; the APPENDUID numbers, 0 when the server gives none.
    LNetOpResult Append(LNetOpResult& result, LTaskProgress& progress, const char* mailbox, std::string_view message,
                        uint32_t* uidValidity, uint32_t* uid);
    LNetOpResult FindByMessageId(LNetOpResult& result, LTaskProgress& progress, const char* mailbox,
                                 const char* messageId, uint32_t& uid);
    // MOVE when offered, else COPY, \Deleted and expunge. The server's
    // COPYUID (the destination's UIDVALIDITY and the copy's UID) goes to the
    // outputs when given; both stay 0 when the server reports none.
    LNetOpResult MoveMessage(LNetOpResult& result, LTaskProgress& progress, const char* source, uint32_t uid,
                             const char* destination, uint32_t* copyUidValidity = nullptr,
                             uint32_t* copyUid = nullptr);
    // One IDLE cycle of at most LImapIdleTimeout ms. It also ends, with
    // result 0, when `wake` (an event of the caller's) is set: a worker that
    // has local work must not sit out the server's silence.
    LNetOpResult Idle(LNetOpResult& result, LTaskProgress& progress, bool& changed, LHandle wake = LInvalidHandle);

private:
    // Reads to the tagged reply, handing every untagged line to the caller;
    // a tagged reply other than OK fails with the format (status, rest).
    // The tagged OK line's text after the status goes to okText when given.
    LNetOpResult ReadReplies(LNetOpResult& result, LTaskProgress& progress,
                             const std::function<void(std::string_view)>& untagged, const char16_t* notOk,
                             LStringA* okText = nullptr);
    LNetOpResult ReadLine(LNetOpResult& result, LTaskProgress& progress, LStringA& line);
    LNetOpResult Fail(LNetOpResult& result, LTaskProgress& progress, LNetOpResult code, const char16_t* text);
    bool QuoteName(LTaskProgress& progress, const char* name, char out[260]);
    // A mailbox name as the program knows it (UTF-8), in modified UTF-7
    // and quoted for a command.
    bool QuoteMailbox(LTaskProgress& progress, const char* name, char out[260]);
    LNetOpResult ReadFetchLiteral(LNetOpResult& result, LTaskProgress& progress, std::string_view line,
                                  LStringA& message, bool& received, bool& tooLarge);
    LNetOpResult SendLogin(LNetOpResult& result, LTaskProgress& progress, std::string_view user,
                           std::string_view password);
    LNetOpResult ExpungeOne(LNetOpResult& result, LTaskProgress& progress, uint32_t uid);
    // Bytes received and not yet consumed: the dialogue would be out of step.
    bool HoldsUnreadInput() const;

    // Replies are read through a buffer; a literal announced at the end of
    // an untagged line that no command takes is skipped before the next line.
    LNetReader reader_{connection};
    uint64_t pendingLiteral_ = 0;
    // The tag of the command in flight: only its tagged line ends it.
    char tag_[16] = {};
};

// The longest reply line read outside literals: a SEARCH answer listing
// every UID of a mailbox of some millions of messages fits; a peer that
// never ends its line does not get more.
constexpr uint64_t LImapMaxLine = 32u << 20;

constexpr uint32_t LImapIdleTimeout = 1500000;
constexpr uint64_t LImapMaxMessage = 100000000;
