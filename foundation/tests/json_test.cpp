#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "foundation/json_value.h"
#include "foundation/json_writer.h"
#include "foundation/utf8.h"

namespace {

// A progress context that records what the reporting reader tells it.
class LRecordingProgress : public LTaskProgress {
public:
    bool IsStopRequested() override {
        ++asked;
        return stop_after >= 0 && asked > stop_after;
    }
    uint32_t WaitStop(uint32_t) override { return 0; }
    uint32_t WaitHandle(LHandle, uint32_t) override { return 2; }
    uint32_t WaitHandles(LHandleList&, uint32_t) override { return 2; }
    void ShowError(const char16_t* text) override { error = LToUtf8(text); }
    std::string error;
    int asked = 0;
    int stop_after = -1;
};

std::string Serialized(const LJsonValue& v) {
    LStringA out;
    EXPECT_EQ(v.Serialize(out), 0u);
    return out.Str();
}

TEST(JsonWriter, CommasAndNesting) {
    LStringA s;
    LJsonWriter w(s);
    w.BeginObject();
    w.Int("a", 1);
    w.BeginArrayNamed("b");
    w.Int(nullptr, 2);
    w.Int(nullptr, 3);
    w.EndArray();
    w.EndObject();
    EXPECT_EQ(s.Str(), "{\"a\":1,\"b\":[2,3]}");
    // The writer does not know the nesting: a second top-level object is
    // preceded by a comma.
    w.BeginObject();
    w.EndObject();
    EXPECT_EQ(s.Str(), "{\"a\":1,\"b\":[2,3]},{}");
}

TEST(JsonWriter, EveryKindOfMember) {
    LStringA s;
    LJsonWriter w(s);
    w.BeginObject();
    w.Int64("id", 12345678901234LL);
    w.Int64W(u"neg", -5);
    w.IntW(u"n\u00e9", -7);
    w.StringUTF8("q\"\n\x01", "v\\");
    w.String("s", u"\u00e9");
    w.StringW(u"w", nullptr);
    w.Bool("t", true);
    w.Bool("f", false);
    w.MaxBodyChars(4096);
    w.BeginObjectNamed("o");
    w.WriteNull();
    w.EndObject();
    w.BeginArrayNamedW(u"arr");
    w.StringUTF8(nullptr, "x");
    w.Double(nullptr, 2.5);
    w.EndArray();
    w.EndObject();
    EXPECT_EQ(s.Str(),
              "{\"id\":\"12345678901234\",\"neg\":\"-5\",\"n\xc3\xa9\":-7,\"q\\\"\\n\\u0001\":\"v\\\\\","
              "\"s\":\"\xc3\xa9\",\"w\":\"\",\"t\":true,\"f\":false,\"max_body_chars\":4096,\"o\":{null},"
              "\"arr\":[\"x\",2.5]}");
}

TEST(JsonWriter, DoubleTexts) {
    const double big = 1e300;
    char big_text[400];
    std::snprintf(big_text, sizeof big_text, "%.0f", big);
    struct {
        double v;
        std::string want;
    } cases[] = {
        {2.5, "2.5"},
        {10, "10"},
        {0, "0"},
        {-0.25, "-0.25"},
        {1e-7, "0"},
        {1234567.5, "1234567.5"},
        {0.0000001, "0"},
        {1e30, "1000000000000000019884624838656"},
        {big, big_text},
        {-std::numeric_limits<double>::max(), "-" + std::string(big_text).substr(0, 0)},
        {std::numeric_limits<double>::infinity(), "null"},
        {-std::numeric_limits<double>::infinity(), "null"},
        {std::nan(""), "null"},
    };
    for (const auto& c : cases) {
        LStringA s;
        LJsonWriter w(s);
        w.Double("x", c.v);
        if (c.v == -std::numeric_limits<double>::max()) {
            // 309 digits whole, no cut at 31 characters.
            EXPECT_EQ(s.length, 4 + 1 + 309u) << s.Str();
            continue;
        }
        EXPECT_EQ(s.Str(), "\"x\":" + c.want) << c.v;
    }
}

TEST(JsonReader, SamplesRoundTrip) {
    const char* texts[] = {
        "{\"a\":1,\"b\":[true,null,\"x\"]}",
        "[]",
        "{}",
        "[1,-2,3.25,\"s\",{\"k\":[[]]},false]",
        "{\"big\":9223372036854775807,\"neg\":-9223372036854775807}",
    };
    for (const char* t : texts) {
        LJsonValue v;
        LRecordingProgress p;
        ASSERT_EQ(v.ParseUtf8(&p, t), 0u) << t << p.error;
        EXPECT_EQ(Serialized(v), t);
    }
    LJsonValue v;
    ASSERT_EQ(v.Parse("{\"a\":1,\"b\":[true,null,\"x\"]}"), 0u);
    EXPECT_EQ(v.kind, LJsonObject);
    EXPECT_EQ(v.Member("a").subkind, LJsonInt64);
    EXPECT_EQ(v.Member("b").count, 3u);
}

TEST(JsonReader, NumbersAndScalars) {
    LJsonValue v;
    ASSERT_EQ(v.Parse("{\"a\":1.5}"), 0u);
    EXPECT_EQ(v.Member("a").subkind, LJsonDouble);
    EXPECT_EQ(v.Member("a").payload.d, 1.5);
    ASSERT_EQ(v.Parse("{\"a\":-7}"), 0u);
    EXPECT_EQ(v.Member("a").subkind, LJsonInt64);
    EXPECT_EQ(v.Member("a").payload.i, -7);
    ASSERT_EQ(v.Parse("{\"a\":1e3}"), 0u);
    EXPECT_EQ(v.Member("a").subkind, LJsonDouble);
    EXPECT_EQ(Serialized(v), "{\"a\":1000}");
    ASSERT_EQ(v.Parse("{\"a\":99999999999999999999999}"), 0u);
    EXPECT_EQ(v.Member("a").payload.i, INT64_MAX);
    ASSERT_EQ(v.Parse("{\"a\":truex}"), 0u);
    EXPECT_EQ(v.Member("a").kind, LJsonBool);
    EXPECT_TRUE(v.Member("a").payload.b);
    ASSERT_EQ(v.Parse("{\"a\":1,\"a\":2}"), 0u);
    EXPECT_EQ(Serialized(v), "{\"a\":2}");
    // A huge double serialises whole; an overflowing one as null.
    ASSERT_EQ(v.Parse("[1e300,1e999]"), 0u);
    std::string s = Serialized(v);
    EXPECT_EQ(s.size(), 1 + 301 + 1 + 4 + 1u) << s;
    EXPECT_EQ(s.substr(s.size() - 6), ",null]");
}

TEST(JsonReader, StringEscapes) {
    struct {
        const char* text;
        std::string want;
    } cases[] = {
        {"[\"x\\u00e9y\"]", "x\xc3\xa9y"},
        {"[\"\\uD83D\\uDE00\"]", "\xf0\x9f\x98\x80"},
        {"[\"\\q\"]", ""},
        {"[\"a\\u0000b\"]", "ab"},
        {"[\"\\\"\\/\\\\\\b\\f\\n\\r\\t\"]", "\"/\\\b\f\n\r\t"},
        {"[\"\\uD83Dx\"]", "\xef\xbf\xbdx"},
    };
    for (const auto& c : cases) {
        LJsonValue v;
        ASSERT_EQ(v.Parse(c.text), 0u) << c.text;
        ASSERT_EQ(v.count, 1u);
        EXPECT_EQ(v.elements[0].text.Str(), c.want) << c.text;
    }
}

// Every text RFC 8259 allows parses in both readers; of the texts it does
// not allow, those that would make a wrong value fail, while the grammar's
// old leniencies stay for the callers that rely on them.
TEST(JsonReader, Rfc8259ValidAndInvalidTexts) {
    struct {
        const char* text;
        uint32_t plain, reporting;
        const char* serialized;  // null: not checked
    } cases[] = {
        // valid
        {"{\"id\": 1 , \"method\":\"ping\"}", 0, 0, "{\"id\":1,\"method\":\"ping\"}"},
        {"[1 , 2 ]", 0, 0, "[1,2]"},
        {"{ \"a\" : true , \"b\" : null\t,\"c\":\"x\" ,\"d\":2.5 }", 0, 0,
         "{\"a\":true,\"b\":null,\"c\":\"x\",\"d\":2.5}"},
        {"[ \"x\" , {\"y\" : -0.5e+2 } , [ ] ]", 0, 0, "[\"x\",{\"y\":-50},[]]"},
        {" \r\n\t{}\n", 0, 0, "{}"},
        {"42", 0, 0, "42"},
        {"\"s\"", 0, 0, "\"s\""},
        {"true", 0, 0, "true"},
        {"null", 0, 0, "null"},
        {"-0", 0, 0, "0"},
        {"[1E+2,0.5e-3,-1e1]", 0, 0, "[100,0.0005,-10]"},
        {"[\"\\u00e9\\n\\\"\"]", 0, 0, "[\"\xc3\xa9\\n\\\"\"]"},
        {"{\"a\":[1,2,{\"b\":null}],\"c\":{}}", 0, 0, "{\"a\":[1,2,{\"b\":null}],\"c\":{}}"},
        {"[1e999]", 0, 0, "[null]"},
        // invalid, and failing
        {"[1,,2]", 2, 2, nullptr},
        {"{\"a\":x}", 2, 2, nullptr},
        {"[nan]", 2, 2, nullptr},
        {"[Infinity]", 2, 2, nullptr},
        {"[-inf]", 2, 2, nullptr},
        {"[0x10]", 2, 2, nullptr},
        {"[+1]", 2, 2, nullptr},
        {"[.5]", 2, 2, nullptr},
        {"[1.]", 2, 2, nullptr},
        {"[1e]", 2, 2, nullptr},
        {"[1e5x]", 2, 2, nullptr},
        {"[--1]", 2, 2, nullptr},
        {"{\"a\":1}{\"b\":2}", 2, 2, nullptr},
        {"", 2, 2, nullptr},
        {"[\"abc", 2, 2, nullptr},
        {"\"a\":1", 2, 2, nullptr},  // one member and no root element
        // invalid, and read leniently as before
        {"{\"a\":1,", 0, 0, "{\"a\":1}"},   // unclosed at the end of the text
        {"[1,2}", 0, 0, "[1,2]"},            // brackets are not matched by kind
        {"[1 2]", 0, 0, "[1,2]"},            // the comma is optional
        {"{\"a\":truex}", 0, 0, "{\"a\":true}"},
        {"[007]", 0, 0, "[7]"},
        {"{\"a\":{1}}", 2, 0, nullptr},      // a scalar where a member is due
    };
    for (const auto& c : cases) {
        LJsonValue v;
        LRecordingProgress p;
        EXPECT_EQ(v.Parse(c.text), c.plain) << c.text;
        EXPECT_EQ(v.ParseUtf8(&p, c.text), c.reporting) << c.text << " " << p.error;
        if (c.serialized && c.reporting == 0) {
            EXPECT_EQ(Serialized(v), c.serialized) << c.text;
        }
    }
    // One member and no element: failure without a report.
    LJsonValue v;
    LRecordingProgress p;
    EXPECT_EQ(v.ParseUtf8(&p, "\"a\":1"), 2u);
    EXPECT_EQ(p.error, "");
    // Infinity read from a valid text still converts to an integer safely.
    ASSERT_EQ(v.Parse("[1e999,-1e999,1e300]"), 0u);
    EXPECT_EQ(v.elements[0].AsInt64(), INT64_MAX);
    EXPECT_EQ(v.elements[1].AsInt64(), INT64_MIN);
    EXPECT_EQ(v.elements[2].AsInt64(), INT64_MAX);
}

TEST(JsonReader, ErrorTextsAndPositions) {
    struct {
        const char* text;
        const char* want;
    } cases[] = {
        {"[1,\n2,\n3, x y]", "Error near(3:4): Failed to parse value."},
        {"[1,\r\n2,\r\n  x,\n]", "Error near(3:3): Failed to parse value."},
        {"[1,\r2,\r\n\n  x]", "Error near(4:3): Failed to parse value."},
        {"[\"abc", "Error near(1:5): String isn't delimited by double quote."},
        {"[\"\\u00G1\"]", "Error near(1:9): Character isn't in range [0; F]"},
        {"{\"a\":1}\n{\"b\":2}", "Error near(2:7): Must be exactly one root value."},
        {"[1,,2]", "Error near(1:3): "},
        {"[[[[[[[[", nullptr},
    };
    for (const auto& c : cases) {
        if (!c.want) continue;
        LJsonValue v;
        LRecordingProgress p;
        EXPECT_EQ(v.ParseUtf8(&p, c.text), 2u) << c.text;
        EXPECT_EQ(p.error, c.want) << c.text;
    }
    // The plain reader keeps its message to itself.
    LJsonValue v;
    EXPECT_EQ(v.Parse("{\"a\":{1}}"), 2u);
}

TEST(JsonReader, DeepNestingFailsInsteadOfExhaustingTheStack) {
    std::string deep(100000, '[');
    LJsonValue v;
    LRecordingProgress p;
    EXPECT_EQ(v.ParseUtf8(&p, deep.c_str()), 2u);
    EXPECT_NE(p.error.find("Nesting is too deep."), std::string::npos);
    std::string ok(400, '[');
    EXPECT_EQ(v.Parse(ok.c_str()), 0u);
}

TEST(JsonReader, StopRequests) {
    LJsonValue v;
    LRecordingProgress p;
    p.stop_after = 0;
    // Items of elements are checked; the outer container of UTF-8 text is not.
    EXPECT_EQ(v.ParseUtf8(&p, "[1,2]"), 1u);
    LRecordingProgress q;
    q.stop_after = 0;
    EXPECT_EQ(v.ParseUtf8(&q, "42"), 0u);
    LRecordingProgress r;
    r.stop_after = 0;
    EXPECT_EQ(v.ParseText(&r, u"42"), 1u);
    // Containers that are member values are not checked: the text reads to
    // its end (one member, no root element) although every question would
    // have answered "stop".
    LRecordingProgress s;
    s.stop_after = 0;
    EXPECT_EQ(v.ParseUtf8(&s, "\"a\":{\"b\":1,\"c\":{\"d\":2}}"), 2u);
    EXPECT_EQ(s.asked, 0);
    // A stop that comes mid-read is seen within a few hundred items.
    std::string many = "[";
    for (int i = 0; i < 5000; ++i) many += "1,";
    many += "1]";
    LRecordingProgress t;
    t.stop_after = 3;
    EXPECT_EQ(v.ParseUtf8(&t, many.c_str()), 1u);
    EXPECT_EQ(t.asked, 4);
}

TEST(JsonValue, TreeOperations) {
    LJsonValue v;
    ASSERT_EQ(v.Parse("{\"s\":\"t\\u00e9xt\",\"n\":5,\"arr\":[1,2,3]}"), 0u);
    char a[260];
    char16_t w[260];
    v.GetMemberTextA("s", "d", a);
    EXPECT_STREQ(a, "t\xc3\xa9xt");
    v.GetMemberTextA("n", "d", a);
    EXPECT_STREQ(a, "");
    v.GetMemberTextA("missing", "d", a);
    EXPECT_STREQ(a, "d");
    EXPECT_EQ(v.GetMemberText("s", w), 5u);
    EXPECT_EQ(std::u16string(w), u"t\u00e9xt");
    EXPECT_EQ(v.GetMemberText("missing", w), 0u);
    LString str;
    v.GetMemberString("s", str);
    EXPECT_EQ(std::u16string(str.View()), u"t\u00e9xt");

    v.SetMemberString("command", "go");
    v.SetMemberString("s", "new");
    LJsonValue* arr = v.FindMember("arr");
    ASSERT_NE(arr, nullptr);
    LJsonValue* second = arr->DetachElement(1);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(second->payload.i, 2);
    delete second;
    EXPECT_EQ(arr->DetachElement(5), nullptr);
    for (int i = 0; i < 100; ++i) arr->AppendElement()->SetInt64(i);
    EXPECT_EQ(arr->count, 102u);
    EXPECT_EQ(Serialized(v).substr(0, 39), "{\"s\":\"new\",\"n\":5,\"arr\":[1,3,0,1,2,3,4,5");

    LJsonValue moved;
    moved.MoveFrom(v);
    EXPECT_EQ(v.kind, LJsonMoved);
    LStringA out;
    EXPECT_EQ(v.Serialize(out), 2u);
    LString wide;
    EXPECT_EQ(moved.SerializeW(wide), 0u);
    EXPECT_EQ(wide.View().substr(0, 5), u"{\"s\":");
    EXPECT_EQ(&LJsonValue::EmptyValue(), &v.Member("nothing"));

    // Member names are cut to 259 bytes at a whole character.
    std::string long_name = std::string(258, 'n') + "\xc3\xa9";
    LJsonValue named;
    ASSERT_EQ(named.Parse(("{\"" + long_name + "\":1}").c_str()), 0u);
    ASSERT_NE(named.members, nullptr);
    EXPECT_EQ(std::string(named.members->name), std::string(258, 'n'));
    EXPECT_EQ(LJsonValue::EmptyValue().kind, LJsonObject);
}

}  // namespace

namespace {

// Large objects are indexed: every member is still found, in source order,
// the first of a repeated name wins a lookup, and the reader's repeated name
// still replaces the first member's value.
TEST(JsonValue, LargeObjectsKeepOrderAndFirstMatch) {
    std::string text = "{";
    for (int i = 0; i < 100000; ++i) text += "\"k" + std::to_string(i) + "\":" + std::to_string(i) + ",";
    text += "\"k5\":\"again\"}";
    LJsonValue v;
    ASSERT_EQ(v.Parse(text.c_str()), 0u);
    int n = 0;
    for (const LJsonMember* m = v.members; m; m = m->next, ++n)
        ASSERT_EQ(std::string(m->name), "k" + std::to_string(n));
    EXPECT_EQ(n, 100000);
    for (int i = 0; i < 100000; i += 997) EXPECT_EQ(v.Member(("k" + std::to_string(i)).c_str()).payload.i, i);
    EXPECT_EQ(v.Member("k5").text.Str(), "again");
    EXPECT_EQ(v.FindMember("k100000"), nullptr);

    LJsonValue built;
    for (int i = 0; i < 40; ++i) built.AddMember(("m" + std::to_string(i % 20)).c_str())->SetInt64(i);
    EXPECT_EQ(built.Member("m3").payload.i, 3);
    LJsonValue moved;
    moved.MoveFrom(built);
    moved.AddMember("late")->SetInt64(7);
    EXPECT_EQ(moved.Member("late").payload.i, 7);
    EXPECT_EQ(moved.Member("m19").payload.i, 19);
    LStringA out;
    ASSERT_EQ(moved.Serialize(out), 0u);
    EXPECT_EQ(out.Str().substr(out.length - 18), "\"m19\":39,\"late\":7}");
}

}  // namespace
