#include "mail/rules/tests/services_fixture.h"

#include "mail/store/accounts.h"

void ServicesTest::SetUp() {
    StoreTest::SetUp();
    Exec(Db(), "INSERT INTO EMAILACCOUNTS (ID, EMAIL, INCOMINGSERVER, OUTGOINGSERVER) VALUES ('acc1', "
               "'me@example.org', '', 'localhost:1')");
    ASSERT_TRUE(LEmailAccountPasswordSet(Db(), u"acc1", u"secret"));
    Exec(Db(), "INSERT INTO EMAILMAILBOXES (ID, EMAILACCOUNTS_ID, IMAP_NAME, IMAP_FLAGS) VALUES ('inbox', 'acc1', "
               "'INBOX', ''), ('sent', 'acc1', 'Sent', '\\Sent'), ('trash', 'acc1', 'Trash', ''), ('work', 'acc1', "
               "'Work', '')");
}

std::string ServicesTest::Arrive(const Arrival& a) {
    TestMessage m;
    m.id = a.id;
    m.account = "acc1";
    m.mailbox = a.mailbox;
    m.from = a.from;
    m.to = "me@example.org";
    m.subject = a.subject;
    m.body = a.body;
    InsertMessage(Db(), m);
    std::string message_id = a.message_id.empty() ? "<" + a.id + "@example.net>" : a.message_id;
    size_t lt = a.from.find('<');
    std::string address = lt == std::string::npos ? a.from : a.from.substr(lt + 1, a.from.find('>') - lt - 1);
    LStringA q;
    q.Format("UPDATE EMAIL_MESSAGES SET MESSAGE_ID='%Q', SENT_UTC=%I64d WHERE ID='%Q'; INSERT INTO "
             "EMAIL_MESSAGE_ADDRESSES (MESSAGE_ID, KIND, EMAIL, ORDINAL) VALUES ('%Q', 'FROM', '%Q', 0);",
             message_id.c_str(), a.sent_utc, a.id.c_str(), a.id.c_str(), address.c_str());
    Exec(Db(), q.Str());
    if (a.safety_row) {
        q.Format("INSERT INTO AUTORESPONDER_MESSAGE_SAFETY (EMAIL_MESSAGE_ID, AUTO_SUBMITTED, PRECEDENCE, LIST_ID) "
                 "VALUES ('%Q', '%Q', '%Q', '%Q');",
                 a.id.c_str(), a.auto_submitted.c_str(), a.precedence.c_str(), a.list_id.c_str());
        Exec(Db(), q.Str());
    }
    return a.id;
}
