#pragma once
// The members of a JSON object found in the text itself, so that an edit
// can replace exactly the bytes it means to and leave every other byte,
// number text, escape and blank of the user's file as it was. The texts
// handed in have passed the strict reader (one valid JSON text, depth
// bounded), which this scanner relies on.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

struct LJsonMemberSpan {
    std::string name;  // decoded
    size_t name_begin = 0;
    size_t value_begin = 0;
    size_t value_end = 0;
};

// The end of the value that starts at `pos` (white space before it skipped).
size_t LJsonSkipValue(std::string_view text, size_t pos);
// The members of the object whose "{" is at `open`, in order.
std::vector<LJsonMemberSpan> LJsonObjectMembers(std::string_view text, size_t open);
// The last member of that name (the one JSON readers such as the clients'
// keep when a name repeats), or null.
const LJsonMemberSpan* LJsonFindLast(const std::vector<LJsonMemberSpan>& members, std::string_view name);
// The position of the first character of the value at `pos`.
size_t LJsonSkipSpace(std::string_view text, size_t pos);

// Edits of one object: its members as found, and where its "{" is.
void LJsonEraseMember(std::string& text, const std::vector<LJsonMemberSpan>& members, size_t index);
// `member` is a whole member text: "name":value.
void LJsonAppendMember(std::string& text, size_t open, const std::vector<LJsonMemberSpan>& members,
                       std::string_view member);

// The text as a JSON string literal (quotes included). Bytes that are not
// UTF-8 become U+FFFD, so the file stays valid JSON.
std::string LJsonQuote(std::string_view text);
