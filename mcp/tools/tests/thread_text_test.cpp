// The pure rules of the conversation tools: subject labels, header links,
// quoted-history cutting, and the listing cursor's argument forms.
#include <gtest/gtest.h>

#include <string>

#include "foundation/utf8.h"
#include "mcp/jsonrpc_body.h"
#include "mcp/tools/message_cursor.h"
#include "mcp/tools/thread_match.h"
#include "mcp/tools/thread_summary.h"

namespace {

std::string Normalized(const char* subject) {
    char16_t out[260];
    LMcpNormalizeSubject(LFromUtf8(subject).c_str(), out);
    return LToUtf8(out);
}

TEST(ThreadText, SubjectNormalisation) {
    struct {
        const char* in;
        const char* out;
    } cases[] = {
        {"Re: Fwd: AW: Budget", "Budget"},
        {"Re[2]: Budget", "Budget"},
        {"Agenda: Q3", "Q3"},
        {"  RE:   re:\tBudget  ", "Budget"},
        {"Meeting notes: plan", "Meeting notes: plan"},  // the label holds a space
        {"Notes: plan", "plan"},
        {"Re:", ""},
        {"Re: ", ""},
        {": Budget", ": Budget"},                   // empty label
        {"Elevenchars: x", "Elevenchars: x"},       // label longer than 10
        {"Tab\tlabel: x", "Tab\tlabel: x"},
        {"Budget", "Budget"},
        {"", ""},
        {"Re: 10:30 meeting", "30 meeting"},  // "10" is a label like any other
    };
    for (const auto& c : cases) EXPECT_EQ(Normalized(c.in), c.out) << c.in;
    std::string long_subject(400, 'x');
    EXPECT_EQ(Normalized(long_subject.c_str()).size(), 259u);
}

TEST(ThreadText, HeaderLinks) {
    struct {
        LMcpThreadHeaders a, c;
        bool linked;
    } cases[] = {
        {{u"T1", u"", u"", u""}, {u"t1", u"", u"", u""}, true},
        {{u"", u"<a@x>", u"", u""}, {u"", u"<A@X>", u"", u""}, true},
        {{u"", u"<a@x>", u"", u""}, {u"", u"<b@x>", u"<a@x>", u""}, true},
        {{u"", u"<b@x>", u"<a@x>", u""}, {u"", u"<a@x>", u"", u""}, true},
        {{u"", u"<b@x>", u"<a@x>", u""}, {u"", u"<c@x>", u"<a@x>", u""}, true},
        {{u"", u"<a@x>", u"", u""}, {u"", u"<c@x>", u"<b@x>", u"<z@x> <a@x>"}, true},
        {{u"", u"<a@x>", u"", u""}, {u"", u"<c@x>", u"", u"<A@X>"}, false},  // references are case-sensitive
        {{u"", u"<c@x>", u"", u"<q@x> <a@x>"}, {u"", u"<a@x>", u"", u""}, true},
        {{u"", u"", u"", u""}, {u"", u"", u"", u""}, false},  // empty never matches
        {{u"", u"<a@x>", u"", u""}, {u"", u"<b@x>", u"<c@x>", u"<d@x>"}, false},
        {{nullptr, nullptr, nullptr, nullptr}, {u"", u"", u"", u""}, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(LMcpHeadersLinked(c.a, c.c), c.linked) << LToUtf8(c.a.message_id ? c.a.message_id : u"") << " / "
                                                         << LToUtf8(c.c.message_id);
}

std::string Compact(const char* body, const char* preview = "the preview") {
    LString out;
    LMcpCompactText(LFromUtf8(preview).c_str(), LFromUtf8(body), out);
    return LToUtf8(out.c_str());
}

TEST(ThreadText, CompactText) {
    struct {
        const char* body;
        const char* out;
    } cases[] = {
        {"Thanks!\n\nOn Monday someone wrote:\n> old text", "Thanks!\nOn Monday someone wrote:"},
        {"Thanks!\r\n\r\nOn Monday someone wrote:\r\n> old text", "Thanks!\nOn Monday someone wrote:"},
        {"Fine.\n\nFrom: a\nSent: b\nTo: c", "Fine."},
        {"Fine.\nFrom: a\nSent: b", "Fine. From: a Sent: b"},  // no paragraph break before the headers
        {"Fine.\n\nFrom: a\nplain words", "Fine.\nFrom: a plain words"},  // one header line is not a block
        {"Fine.\n\na/b: y\nTo: c", "Fine.\na/b: y To: c"},  // "/" makes no header name
        {"Hello\n-----\nsignature", "Hello"},
        {"Hello\n----\nstill mine", "Hello ---- still mine"},
        {"Hello\n=====", "Hello"},
        {"Hello\n*-*-*", "Hello *-*-*"},
        {"  line one  \nline two", "line one line two"},
        {"> only quoted", "the preview"},
        {"", "the preview"},
        {"a\r\rb", "a\nb"},
    };
    for (const auto& c : cases) EXPECT_EQ(Compact(c.body), c.out) << c.body;
    // The preview stands in for an empty body, and is cut like one.
    EXPECT_EQ(Compact("", "Short.\n> quote"), "Short.");
    // Reading stops once about 600 characters are taken; the crossing line stays whole.
    std::string body;
    for (int i = 0; i < 100; ++i) body += "0123456789\n";
    EXPECT_EQ(Compact(body.c_str()).size(), 604u);
    std::string wide(5000, 'w');
    EXPECT_EQ(Compact(wide.c_str()).size(), 1023u);
}

TEST(ThreadText, HeaderLikeLines) {
    struct {
        const char* text;
        int count;
    } cases[] = {
        {"From: a\nSent: b\nTo: c\nSubject: d", 4},
        {"From: a\n\nTo: c", 1},
        {"From:\nTo: c", 0},
        {"a b c d e f: x\nTo: c", 0},  // five blanks in the name
        {"a@b: x", 0},
        {"--: x", 0},
        {"A: 1\nB: 2\nC: 3\nD: 4\nE: 5\nF: 6\nG: 7\n", 6},
        {"Reply-To:\tx", 1},
    };
    for (const auto& c : cases) EXPECT_EQ(LMcpCountHeaderLines(LFromUtf8(c.text).c_str()), c.count) << c.text;
}

TEST(ThreadText, CursorArgument) {
    struct {
        const char* args;
        bool ok;
        bool present;
        int64_t received;
        const char* id;
    } cases[] = {
        {"{}", true, false, 0, ""},
        {"{\"cursor\":{\"received_utc\":\"0012\",\"email_id\":\" abc \"}}", true, true, 12, "abc"},
        {"{\"cursor\":{\"received_utc\":1700000000,\"email_id\":\"abc\"}}", true, true, 1700000000, "abc"},
        {"{\"cursor\":{\"received_utc\":\"9223372036854775807\",\"email_id\":\"a\"}}", true, true, INT64_MAX, "a"},
        {"{\"cursor\":{\"received_utc\":\"9223372036854775808\",\"email_id\":\"a\"}}", false, false, 0, ""},
        {"{\"cursor\":{\"received_utc\":\"-5\",\"email_id\":\"a\"}}", false, false, 0, ""},
        {"{\"cursor\":{\"received_utc\":\"1e3\",\"email_id\":\"a\"}}", false, false, 0, ""},
        {"{\"cursor\":{\"received_utc\":\"\",\"email_id\":\"a\"}}", false, false, 0, ""},
        {"{\"cursor\":{\"received_utc\":1.5,\"email_id\":\"a\"}}", false, false, 0, ""},
        {"{\"cursor\":{\"received_utc\":1e3,\"email_id\":\"a\"}}", false, false, 0, ""},
        {"{\"cursor\":{\"received_utc\":-5,\"email_id\":\"a\"}}", false, false, 0, ""},
        {"{\"cursor\":{\"received_utc\":5}}", false, false, 0, ""},
        {"{\"cursor\":{\"received_utc\":5,\"email_id\":\"  \"}}", false, false, 0, ""},
        {"{\"cursor\":{\"received_utc\":5,\"email_id\":7}}", false, false, 0, ""},
        {"{\"cursor\":\"5/abc\"}", false, false, 0, ""},
    };
    for (const auto& c : cases) {
        LMcpRequestBody body;
        ASSERT_TRUE(LMcpParseRequestBody(c.args, std::strlen(c.args), body)) << c.args;
        LMcpMessageCursor cursor;
        EXPECT_EQ(LMcpMessageCursorParse(body.value, cursor), c.ok) << c.args;
        EXPECT_EQ(cursor.present, c.present) << c.args;
        if (!c.present) continue;
        EXPECT_EQ(cursor.received_utc, c.received) << c.args;
        EXPECT_EQ(LToUtf8(cursor.email_id), c.id) << c.args;
    }
    // An ID longer than the field is refused, never cut.
    std::string long_id = "{\"cursor\":{\"received_utc\":5,\"email_id\":\"" + std::string(300, 'a') + "\"}}";
    LMcpRequestBody body;
    ASSERT_TRUE(LMcpParseRequestBody(long_id.data(), long_id.size(), body));
    LMcpMessageCursor cursor;
    EXPECT_FALSE(LMcpMessageCursorParse(body.value, cursor));
}

TEST(ThreadText, SummaryReferencesAndParticipants) {
    LMcpThreadSummary s;
    LMcpThreadAddReferences(s, u" <a@x> ");
    LMcpThreadAddReferences(s, u"<a@x>");
    LMcpThreadAddReferences(s, u"");
    LMcpThreadAddReferences(s, u"<b@x> <c@x>");
    LMcpThreadAddReferences(s, u"<c@x>");  // already inside the whole References text
    EXPECT_EQ(LToUtf8(s.references.c_str()), "<a@x> <b@x> <c@x>");
    LMcpThreadAddParticipants(s, u"\"Doe, Jane\" <jane@x>; bob@x,bob@x , ");
    ASSERT_EQ(s.participants.size(), 3u);
    EXPECT_EQ(LToUtf8(s.participants[0].c_str()), "\"Doe");
    EXPECT_EQ(LToUtf8(s.participants[1].c_str()), "Jane\" <jane@x>");
    EXPECT_EQ(LToUtf8(s.participants[2].c_str()), "bob@x");
    // A hostile References header cannot grow the text without bound.
    std::u16string huge(100000, u'r');
    LMcpThreadAddReferences(s, huge.c_str());
    EXPECT_LE(s.references.size(), LMcpThreadReferenceChars);
}

}  // namespace
