// The IMAP response reader on reply lines as servers write them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "net/imap/imap_response.h"

TEST(ImapResponse, WordsAndKinds) {
    EXPECT_EQ(LImapClassifyLine("* 12 EXISTS"), LImapLineKind::Untagged);
    EXPECT_EQ(LImapClassifyLine("+ idling"), LImapLineKind::Continuation);
    EXPECT_EQ(LImapClassifyLine("A001 OK done"), LImapLineKind::Tagged);
    EXPECT_EQ(LImapClassifyLine(")"), LImapLineKind::Other);
    EXPECT_EQ(LImapWord("* 12 EXISTS", 1), "12");
    EXPECT_EQ(LImapWord("* 12\tEXISTS", 2), "EXISTS");
    EXPECT_EQ(LImapWord("* 12 EXISTS", 3), "");
    EXPECT_EQ(LImapRestAfterWord("A001 NO  [AUTHENTICATIONFAILED] Authentication failed.", 1),
              "[AUTHENTICATIONFAILED] Authentication failed.");
}

TEST(ImapResponse, ListLines) {
    struct Case {
        const char* line;
        bool ok;
        const char* name;
    } cases[] = {
        {"* LIST (\\HasNoChildren) \".\" \"INBOX\"", true, "INBOX"},
        {"* list (\\HasNoChildren \\Sent) \"/\" Sent", true, "Sent"},
        {"* LIST (\\noselect) \"/\" \"Folder\"", false, ""},
        {"* LIST () \"/\" \"Say \\\"hi\\\"\"", true, "Say \"hi\""},
        {"* LIST () NIL \"Flat\"", true, "Flat"},
        {"* LIST () \"/\" \"unterminated", false, ""},
        {"* LIST () \"/\"", false, ""},
        {"* LSUB () \"/\" x", false, ""},
        {"* LIST () \"/\" {5}", true, "{5}"},
    };
    for (const Case& c : cases) {
        LStringA name;
        EXPECT_EQ(LImapParseListLine(c.line, name), c.ok) << c.line;
        if (c.ok) {
            EXPECT_EQ(name.Str(), c.name) << c.line;
        }
    }
}

TEST(ImapResponse, FetchAndAppendShapes) {
    std::string_view digits;
    ASSERT_TRUE(LImapFindLiteral("* 1 FETCH (UID 7 BODY[] {1234}", digits));
    uint64_t n = 0;
    EXPECT_TRUE(LImapParseLiteralLength(digits, n));
    EXPECT_EQ(n, 1234u);
    EXPECT_FALSE(LImapParseLiteralLength("12a", n));
    EXPECT_FALSE(LImapParseLiteralLength("", n));
    EXPECT_FALSE(LImapParseLiteralLength("99999999999999999999", n));
    EXPECT_TRUE(LImapParseLiteralLength("100000001", n));

    EXPECT_TRUE(LImapFetchBodyIsNil("* 1 FETCH (UID 7 BODY[] NIL)"));
    EXPECT_TRUE(LImapFetchBodyIsNil("* 1 FETCH (BODY[] \"\" UID 7)"));
    EXPECT_FALSE(LImapFetchBodyIsNil("* 1 FETCH (BODY[] NILE)"));
    EXPECT_FALSE(LImapFetchBodyIsNil("* 1 FETCH (FLAGS (\\Seen))"));

    uint32_t v = 0, u = 0;
    EXPECT_TRUE(LImapParseAppendUid("[APPENDUID 1700000000 42] Append completed.", v, u));
    EXPECT_EQ(v, 1700000000u);
    EXPECT_EQ(u, 42u);
    v = u = 0;
    EXPECT_FALSE(LImapParseAppendUid("[APPENDUID 0 42] x", v, u));
    EXPECT_FALSE(LImapParseAppendUid("[APPENDUID 1 4294967296] x", v, u));
    EXPECT_FALSE(LImapParseAppendUid("Append completed.", v, u));
    EXPECT_EQ(u, 0u);

    // MOVE's untagged OK and COPY's tagged OK; a set of UIDs is no answer
    // for one message.
    EXPECT_TRUE(LImapParseCopyUid("* OK [COPYUID 1700000001 7 19] Moved UIDs.", v, u));
    EXPECT_EQ(v, 1700000001u);
    EXPECT_EQ(u, 19u);
    v = u = 0;
    EXPECT_FALSE(LImapParseCopyUid("OK [COPYUID 5 7:8 19:20] Copy completed.", v, u));
    EXPECT_FALSE(LImapParseCopyUid("OK [COPYUID 5 7 0] x", v, u));
    EXPECT_FALSE(LImapParseCopyUid("OK Copy completed.", v, u));
    EXPECT_EQ(v, 0u);

    uint32_t validity = 0, next = 0;
    EXPECT_TRUE(LImapNumberAfter("* OK [UIDVALIDITY 1234] UIDs valid", "UIDVALIDITY", validity));
    EXPECT_TRUE(LImapNumberAfter("* OK [UIDNEXT\t9] Predicted", "UIDNEXT", next));
    EXPECT_EQ(validity, 1234u);
    EXPECT_EQ(next, 9u);

    std::vector<uint32_t> uids;
    LImapForEachSearchUid(" 3 0 17 x 5", [&](uint32_t id) { uids.push_back(id); });
    EXPECT_EQ(uids, (std::vector<uint32_t>{3, 17}));
}

TEST(ImapResponse, Capabilities) {
    std::string caps = " IMAP4REV1 IDLE MOVE ";
    EXPECT_TRUE(LImapCapabilityHas(caps, "move"));
    EXPECT_TRUE(LImapCapabilityHas(caps, "IDLE"));
    EXPECT_FALSE(LImapCapabilityHas(caps, "MOV"));
    EXPECT_FALSE(LImapCapabilityHas(caps, ""));
}

TEST(ImapResponse, QuotingRefusesWhatCannotBeSent) {
    char out[260];
    EXPECT_TRUE(LImapQuoteMailbox("Work \"A\\B\"", out));
    EXPECT_STREQ(out, "Work \\\"A\\\\B\\\"");
    for (std::string bad : {std::string("a\r\nb"), std::string("a\nb"), std::string("a\0b", 3)})
        EXPECT_FALSE(LImapQuoteMailbox(bad, out));
    EXPECT_TRUE(LImapQuoteMailbox(std::string(259, 'x'), out));
    EXPECT_FALSE(LImapQuoteMailbox(std::string(260, 'x'), out));
    EXPECT_FALSE(LImapQuoteMailbox(std::string(258, 'x') + "\"", out));  // the escape would not fit
    EXPECT_STREQ(out, "");

    LStringA arg;
    bool literal = true;
    EXPECT_TRUE(LImapLoginArgument("pa ss\"w\\d", arg, literal));
    EXPECT_FALSE(literal);
    EXPECT_EQ(arg.Str(), "\"pa ss\\\"w\\\\d\"");
    EXPECT_TRUE(LImapLoginArgument("pässword", arg, literal));
    EXPECT_TRUE(literal);
    EXPECT_EQ(arg.Str(), "pässword");
    EXPECT_FALSE(LImapLoginArgument("a\r\nA2 DELETE INBOX", arg, literal));
}

TEST(ImapResponse, TaggedLinesAnswerOnlyTheirOwnCommand) {
    struct Case {
        const char* line;
        bool ours;
    } cases[] = {
        {"A007 OK done", true},   {"A007\tOK done", true}, {"A0071 OK done", false},
        {"A99999 OK stray", false}, {"A00 OK", false},     {"A007", false},
    };
    for (const Case& c : cases) EXPECT_EQ(LImapIsTagOf(c.line, "A007"), c.ours) << c.line;
    EXPECT_FALSE(LImapIsTagOf("A007 OK", ""));
}

TEST(ImapResponse, FetchAttributeLines) {
    struct Case {
        const char* line;
        bool ok;
        uint32_t uid;
        bool hasSize;
        uint64_t size;
        bool hasFlags;
        const char* flags;
        uint64_t modseq;
    } cases[] = {
        {"* 3 FETCH (UID 9 RFC822.SIZE 1234 FLAGS (\\Seen \\Recent $Label1))", true, 9, true, 1234, true,
         "\\Seen $Label1", 0},
        {"* 3 fetch (flags () uid 10 modseq (77))", true, 10, false, 0, true, "", 77},
        {"* 1 FETCH (FLAGS (\\Answered \\Flagged) UID 4294967295)", true, 4294967295u, false, 0, true,
         "\\Answered \\Flagged", 0},
        {"* 1 FETCH (RFC822.SIZE 200000000 UID 2)", true, 2, true, 200000000, false, "", 0},
        {"* 1 FETCH (FLAGS (\\Seen))", false, 0, false, 0, false, "", 0},  // no UID: not ours to place
        {"* 1 FETCH (UID 4294967296)", false, 0, false, 0, false, "", 0},
        {"* 1 FETCH (UID 0)", false, 0, false, 0, false, "", 0},
        {"* 1 EXPUNGE", false, 0, false, 0, false, "", 0},
        {"* 1 FETCH (X-GUID \"UID 5\" UID 6)", true, 6, false, 0, false, "", 0},
        {"* 1 FETCH (UID 6 FLAGS (\\Seen", true, 6, false, 0, false, "", 0},
    };
    for (const Case& c : cases) {
        LImapFetchInfo info;
        ASSERT_EQ(LImapParseFetchLine(c.line, info), c.ok) << c.line;
        if (!c.ok) continue;
        EXPECT_EQ(info.uid, c.uid) << c.line;
        EXPECT_EQ(info.hasSize, c.hasSize) << c.line;
        EXPECT_EQ(info.size, c.size) << c.line;
        EXPECT_EQ(info.hasFlags, c.hasFlags) << c.line;
        EXPECT_EQ(info.flags, c.flags) << c.line;
        EXPECT_EQ(info.modseq, c.modseq) << c.line;
    }
}

TEST(ImapResponse, ModifiedUtf7MailboxNames) {
    struct Case {
        const char* wire;
        const char* shown;
    } cases[] = {
        {"M&APw-ll", "M\xC3\xBCll"},
        {"&ZeVnLIqe-", "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E"},
        {"Tom &- Jerry", "Tom & Jerry"},
        {"INBOX/Entw&APw-rfe", "INBOX/Entw\xC3\xBC" "rfe"},
        {"&2D3eAA-", "\xF0\x9F\x98\x80"},  // a surrogate pair
        {"plain", "plain"},
        // Not modified UTF-7: shown as the server wrote it.
        {"A&B", "A&B"},
        {"&AGE-", "&AGE-"},        // "a" shifted: not canonical
        {"&APw", "&APw"},          // unterminated
        {"M\xC3\xBCll", "M\xC3\xBCll"},  // 8-bit from a server that sends UTF-8
    };
    for (const Case& c : cases) {
        EXPECT_EQ(LImapDisplayMailboxName(c.wire), c.shown) << c.wire;
        std::string decoded;
        if (LImapDecodeMailboxName(c.wire, decoded) && decoded == c.shown) {
            EXPECT_EQ(LImapEncodeMailboxName(c.shown), c.wire) << c.wire;
        }
    }
}
