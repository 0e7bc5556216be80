#pragma once
// A store with one account (me@example.org) and its INBOX and Sent, into
// which test messages "arrive" as the store writer leaves them: the row,
// its From address row and its safety row.
#include <string>

#include "mail/store/tests/store_fixture.h"

struct Arrival {
    std::string id;
    std::string from = "Ann <ann@example.net>";
    std::string subject = "Hello";
    std::string body = "Body text";
    std::string mailbox = "inbox";  // "inbox", "sent", "trash" or a mailbox ID
    std::string message_id;         // "<id@example.net>" when empty
    std::string auto_submitted, precedence, list_id;
    bool safety_row = true;
    int64_t sent_utc = 0;
};

class ServicesTest : public StoreTest {
protected:
    void SetUp() override;
    // Stores the message; returns its row ID.
    std::string Arrive(const Arrival& a);
    int64_t Queued() { return QueryInt(Db(), "SELECT COUNT(*) FROM EMAIL_SEND_QUEUE"); }
    std::string LastQueued(const std::string& column) {
        return QueryText(Db(), "SELECT " + column +
                                   " FROM EMAIL_SEND_QUEUE q JOIN EMAIL_MESSAGES m ON m.ID=q.ROW_ID ORDER BY q.rowid "
                                   "DESC LIMIT 1");
    }
};
