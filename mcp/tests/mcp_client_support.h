#pragma once
// The official MCP client for tests: the npm packages pinned by
// tests/mcp-client/package-lock.json, installed with `npm ci` once per build
// folder (several test processes may ask at once), and the corpus generator
// of the shared benchmarks.
#include <string>

// The folder holding node_modules and the client scripts; "" on failure.
std::string LTestMcpClientFolder();
// Path of gen_corpus.py of the shared benchmark set-up; "" when not found.
std::string LTestCorpusGenerator();
struct LTestCurlResult;
// Runs the official client with the calls (JSON text) against a fresh
// `porlinex -mcpstdio`, its files in `folder`: the client's report (JSON
// text), "" when it wrote none; its exit code and output in `run`.
std::string LTestRunStdioClient(const std::string& folder, const std::string& calls, LTestCurlResult& run);
class LTestDovecot;
// Starts the Dovecot with the user alice@example.org (password "secret"),
// generates `count` messages of that corpus into its mailbox, and adds the
// account "acc1" that points at it to the current root's store (the mail
// schema made first): the service started next mirrors them. The
// generator's statistics (JSON text), or "" with the reason in `error`.
std::string LTestCorpusInDovecot(LTestDovecot& dovecot, int count, int seed, std::string& error);
// Waits until the store holds `count` messages.
bool LTestWaitForMirror(int count, int timeout_ms = 180000);
