#pragma once
// The body of one POST on the MCP route, read as exactly one JSON text of
// RFC 8259 and nothing else: no unclosed containers, no missing commas, no
// mismatched brackets, no trailing bytes, no leading zeros, well-formed
// UTF-8 only. A body that is not such a text is a JSON-RPC parse error, and
// nothing of it may run.
#include <cstddef>
#include <cstdint>

#include "foundation/json_value.h"
#include "foundation/lstring.h"

// Containers nest at most this deep; a deeper text is refused whole.
constexpr int LMcpMaxJsonDepth = 128;

struct LMcpRequestBody {
    LJsonValue value;
    // The first top-level member named "id", when the text is an object:
    // its value's own JSON text (echoed byte for byte) and kind.
    bool has_id = false;
    uint32_t id_kind = 0;
    LStringA id_text;
};

// False when the bytes are not one JSON text.
bool LMcpParseRequestBody(const char* bytes, size_t n, LMcpRequestBody& out);
