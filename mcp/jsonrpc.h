#pragma once
// The JSON-RPC 2.0 layer of the MCP route: id echo, error answers, the MCP
// activity log of every message, and the answer to "initialize".
#include <cstddef>

#include "foundation/json_value.h"
#include "foundation/json_writer.h"
#include "mcp/jsonrpc_body.h"

class Weblet;

constexpr const char* LMcpServerVersion = "2026-09-20.3";

// The id of a request for its answer: a string or number id exactly as the
// request wrote it; any other id, or none, as null.
void LMcpWriteJsonRpcId(LJsonWriter& answer, const LMcpRequestBody& body);
// Opens an answer: {"jsonrpc":"2.0", then the id.
void LMcpBeginAnswer(LJsonWriter& answer, const LMcpRequestBody& body);
// A whole error answer, sent as a 200 JSON reply and logged as a response.
void LMcpWriteJsonRpcError(Weblet& request, const LMcpRequestBody& body, int code, const char* message,
                           const char* method);
// A string or number id; null, booleans, objects and arrays are no ids.
bool LMcpIsValidJsonRpcId(const LMcpRequestBody& body);

// "<kind> method=<method> payload=<payload>" in the MCP activity log; the
// payload cut to 4096 bytes with a note of how much there was.
void LMcpLogPayload(const char* kind, const char* method, const char* payload, size_t n);

// The "result" member of an initialize answer.
void LMcpInitialize(LJsonWriter& answer, const LJsonValue& request);
