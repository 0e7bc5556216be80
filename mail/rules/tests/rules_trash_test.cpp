// A TRASH rule against a stock Dovecot, which offers only INBOX: the rule
// makes Trash on the server and in the store, and the message goes there.
#include <gtest/gtest.h>

#include "mail/rules/rules.h"
#include "mail/store/tests/store_fixture.h"
#include "mail/sync/tests/sync_fixture.h"

namespace {

TEST_F(SyncTest, TrashRuleMakesTheMissingTrashAndMovesTheMessage) {
    Prepare();
    StartEngine();
    ASSERT_TRUE(Pass());  // the first mirror: nothing in it is new mail
    ASSERT_TRUE(ServerUids("Trash").empty());
    Exec(Db(), "INSERT INTO RULES (ID, NAME, FUNCTION, FUNCTION_DETAIL, CREATED) VALUES ('spam', 'spam', 'TRASH', "
               "'', '2026-12-01 00:00:00'); INSERT INTO RULES_CONDITIONS (RULE_ID, PART, TEST, TEST_DETAIL) VALUES "
               "('spam', 'SUBJECT', 'STARTS', 'Offer');");
    ASSERT_EQ(LRulesLoad(Db()), 0);
    // First with no Trash anywhere, then into the Trash the first one made.
    struct Case {
        const char* subject;
        size_t trash, inbox;
    };
    const Case cases[] = {{"Offer one", 1, 1}, {"Offer two", 2, 1}};
    ASSERT_TRUE(Save("INBOX", SyncMessage("keep me", "<keep@x>")));
    int n = 0;
    for (const Case& c : cases) {
        ASSERT_TRUE(Save("INBOX", SyncMessage(c.subject, "<offer" + std::to_string(++n) + "@x>")));
        ASSERT_TRUE(Pass());  // stores it and runs the rule, which queues the server move
        ASSERT_TRUE(Pass());  // the move
        EXPECT_EQ(ServerUids("Trash").size(), c.trash) << c.subject;
        EXPECT_EQ(ServerUids("INBOX").size(), c.inbox) << c.subject;
        EXPECT_EQ(QueryText(Db(), std::string("SELECT MAILBOX_ID FROM EMAIL_MESSAGES WHERE SUBJECT='") + c.subject +
                                      "';"),
                  MailboxId("Trash"))
            << c.subject;
        EXPECT_EQ(LocalUids("Trash"), ServerUids("Trash")) << c.subject;
    }
    EXPECT_EQ(QueryInt(Db(), "SELECT COUNT(*) FROM EMAILMAILBOXES WHERE IMAP_NAME='Trash'"), 1);
}

}  // namespace
