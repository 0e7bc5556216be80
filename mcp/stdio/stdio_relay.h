#pragma once
// The relay that AI clients start as `porlinex -mcpstdio`: newline-framed
// JSON-RPC from standard input is posted to the running service's local
// `mcp` route with the stdio token, and each request's answer is written as
// one line to standard output. Standard output carries those lines and
// nothing else; everything any layer prints goes to standard error.
#include <cstddef>
#include <string>

#include "net/crypto_socket.h"

// The longest message, without its line end.
constexpr size_t LMcpStdioMaxLine = 1048576;
// How long one answer may take: longer than the longest tool wait (120 s),
// so a slow call is answered instead of being reported unavailable while
// it still runs.
constexpr unsigned LMcpStdioReceiveMs = 180000;

// Runs the relay until its input ends; returns the process's exit code (0
// for a normal end or the refusal line, 1 for an error). start_service is
// called once when the service does not answer at first.
int LMcpStdioRelay(bool (*start_service)());

// True when the local web server answers GET mcp/status with 200 or 401.
bool LMcpStdioProbeService();

// Pending input of the relay and the reader of one message from it.
struct LMcpStdioInput {
    int fd = 0;
    std::string pending;
    // Bytes of `pending` already searched for a line end.
    size_t scanned = 0;
};
// One message (without "\n" and a "\r" before it). False at the end of
// input (end_of_input set) or on an error: a read error, or more than
// LMcpStdioMaxLine bytes without a line end.
bool LMcpStdioReadLine(LMcpStdioInput& in, std::string& message, bool& end_of_input);

// True for a message that gets no answer line: a notification (a JSON
// object without "id") or a client's response to a server request (an
// "id" with "result" or "error" and no "method"). False for a text that
// does not parse.
bool LMcpStdioIsNotification(const std::string& message);
// The relay's one connection to the endpoint, kept open between messages:
// a connection per message would run into the web server's per-address
// connection limits after a few dozen calls in a row.
struct LMcpStdioLink {
    LCryptoSocket conn;
    bool open = false;
};
// Posts the message with the stdio token; true when the endpoint answered
// 200 with a JSON body, which becomes `answer`.
bool LMcpStdioPostMessage(LMcpStdioLink& link, const std::string& message, std::string& answer);
// The relay's own -32000 answer, echoing the message's id as written.
void LMcpStdioWriteUnavailable(const std::string& message, std::string& answer);
