#pragma once
// tools/call: the tool name and arguments of a request, the tool-use line of
// the MCP activity log, and the call of the named handler.
#include "foundation/database.h"
#include "foundation/json_value.h"
#include "foundation/json_writer.h"

class Weblet;

// request: the whole JSON-RPC request; web_request: null when the call does
// not come from the web server (its waits then use a plain waiting object).
void LMcpToolsCall(LJsonWriter& answer, LAppDatabaseAccount& db, const LJsonValue& request, Weblet* web_request);
// Writes "result" with the tool's envelope, or for a name outside the
// catalogue "error" with -32602.
void LMcpDispatchTool(LJsonWriter& answer, LAppDatabaseAccount& db, const char* tool_name, const LJsonValue& args,
                      Weblet* web_request);
