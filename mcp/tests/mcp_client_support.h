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
// Generates `count` messages of that corpus under `folder` and mirrors them
// into the current root's store; the generator's statistics (JSON text), or
// "" with the reason in `error`.
std::string LTestMirrorCorpus(const std::string& folder, int count, int seed, std::string& error);
