// The MCP route's body reader: exactly the texts of RFC 8259, the id's own
// text kept for the echo.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "mcp/jsonrpc_body.h"

namespace {

bool Parses(const std::string& text) {
    LMcpRequestBody body;
    return LMcpParseRequestBody(text.data(), text.size(), body);
}

TEST(McpRequestBody, AcceptsExactlyTheTextsOfTheRfc) {
    struct {
        const char* text;
        bool valid;
    } cases[] = {
        {"{\"id\": 1 , \"method\":\"ping\"}", true},
        {" \r\n\t{ \"id\" : \"a\" ,\"method\" : \"ping\" , \"params\" : { } }\n", true},
        {"[]", true},
        {"[1, -0, 0.5, 1e3, 1E-3, -12.5e+2, true, false, null, \"x\", {}, []]", true},
        {"\"just a string\"", true},
        {"42", true},
        {"{\"s\":\"\\\"\\\\\\/\\b\\f\\n\\r\\t\\u00e9\\ud83d\\ude00\"}", true},
        {"{\"s\":\"\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80\"}", true},
        // not JSON
        {"", false},
        {"   ", false},
        {"{\"id\":1,\"method\":\"tools/call\",\"params\":{}", false},  // unclosed
        {"{\"id\":1 \"method\":\"ping\"}", false},                     // no comma
        {"[1 2]", false},
        {"{\"a\":[1,2}", false},  // mismatched
        {"[1,2}", false},
        {"{\"a\":1}x", false},  // trailing bytes
        {"{\"a\":1}{\"b\":2}", false},
        {"{\"a\":1,}", false},
        {"[1,]", false},
        {"[,1]", false},
        {"{,}", false},
        {"{\"a\"}", false},
        {"{\"a\":}", false},
        {"{a:1}", false},
        {"{'a':1}", false},
        {"[007]", false},
        {"[01]", false},
        {"[+1]", false},
        {"[.5]", false},
        {"[1.]", false},
        {"[1e]", false},
        {"[0x10]", false},
        {"[NaN]", false},
        {"[Infinity]", false},
        {"[truex]", false},
        {"[tru]", false},
        {"[\"tab\there\"]", false},   // raw control character
        {"[\"\\x\"]", false},         // unknown escape
        {"[\"\\u12G4\"]", false},
        {"[\"open]", false},
        {"[\"\xc3\"]", false},          // cut sequence
        {"[\"\xc0\xaf\"]", false},      // overlong
        {"[\"\xed\xa0\x80\"]", false},  // surrogate in UTF-8
        {"[\"\xf4\x90\x80\x80\"]", false},  // beyond U+10FFFF
        {"\xef\xbb\xbf{}", false},      // byte order mark
    };
    for (const auto& c : cases) EXPECT_EQ(Parses(c.text), c.valid) << c.text;
}

TEST(McpRequestBody, KeepsTheIdTextAndTheFirstMemberOfAName) {
    struct {
        const char* text;
        bool has_id;
        uint32_t kind;
        const char* id_text;
    } cases[] = {
        {"{\"id\":12345678901234567890,\"method\":\"ping\"}", true, LJsonNumber, "12345678901234567890"},
        {"{\"id\":1e3}", true, LJsonNumber, "1e3"},
        {"{\"id\":-1}", true, LJsonNumber, "-1"},
        {"{\"id\":1.50}", true, LJsonNumber, "1.50"},
        {"{\"id\":\"a\\u0062\"}", true, LJsonString, "\"a\\u0062\""},
        {"{\"id\":null}", true, LJsonNull, "null"},
        {"{\"id\":{\"x\":[1]}}", true, LJsonObject, "{\"x\":[1]}"},
        {"{\"id\":7,\"id\":8}", true, LJsonNumber, "7"},
        {"{\"\\u0069d\":9}", true, LJsonNumber, "9"},  // the name as decoded
        {"{\"method\":\"x\",\"params\":{\"id\":3}}", false, 0, ""},
        {"[{\"id\":3}]", false, 0, ""},
    };
    for (const auto& c : cases) {
        LMcpRequestBody body;
        ASSERT_TRUE(LMcpParseRequestBody(c.text, std::strlen(c.text), body)) << c.text;
        EXPECT_EQ(body.has_id, c.has_id) << c.text;
        if (!c.has_id) continue;
        EXPECT_EQ(body.id_kind, c.kind) << c.text;
        EXPECT_EQ(body.id_text.Str(), c.id_text) << c.text;
    }
    LMcpRequestBody body;
    std::string text = "{\"id\":7,\"id\":8,\"n\":9007199254740993,\"s\":\"\\ud800x\"}";
    ASSERT_TRUE(LMcpParseRequestBody(text.data(), text.size(), body));
    EXPECT_EQ(body.value.Member("id").payload.i, 7);
    EXPECT_EQ(body.value.Member("n").payload.i, 9007199254740993LL);
    EXPECT_EQ(body.value.Member("s").text.Str(), "\xef\xbf\xbdx");  // a lone surrogate is U+FFFD
}

TEST(McpRequestBody, NestingIsBounded) {
    std::string deep(LMcpMaxJsonDepth, '[');
    deep += std::string(LMcpMaxJsonDepth, ']');
    EXPECT_TRUE(Parses(deep));
    std::string deeper(LMcpMaxJsonDepth + 1, '[');
    deeper += std::string(LMcpMaxJsonDepth + 1, ']');
    EXPECT_FALSE(Parses(deeper));
    // Far deeper than the stack would carry, refused at the bound.
    EXPECT_FALSE(Parses(std::string(1000000, '[')));
}

}  // namespace
