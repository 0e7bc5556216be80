#pragma once
// The fixed catalogue of the 29 MCP tools: names, titles, descriptions,
// behaviour annotations and the JSON Schema of each tool's arguments. Its
// order is the order in which tools/call compares names.
#include <cstddef>

#include "foundation/json_writer.h"

enum class LMcpArgKind {
    Text,        // a string read as at most 259 characters
    LongText,    // a string of any length
    Integer,
    Boolean,
    TextArray,   // an array of strings
    EmailIds,    // an array of 1 to 50 strings
    Cursor,      // the keyset cursor object of the listing tools
    Conditions,  // add_rule's array of condition objects
    BodyOptions, // body_format and max_body_chars
};

struct LMcpArgInfo {
    const char* name;
    LMcpArgKind kind;
    const char* description;
    bool required = false;
};

enum class LMcpToolEffect { ReadOnly, Writes, Destroys };

struct LMcpToolInfo {
    const char* name;
    const char* title;
    LMcpToolEffect effect;
    const char* description;
    const LMcpArgInfo* args;
    size_t arg_count;
};

// The catalogue in its order.
const LMcpToolInfo* LMcpToolCatalogue(size_t* count);
// Exact, case-sensitive; null for a name outside the catalogue.
const LMcpToolInfo* LMcpFindTool(const char* name);

// "result":{"tools":[...]} into the open answer.
void LMcpWriteToolList(LJsonWriter& answer);
