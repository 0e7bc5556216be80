#pragma once
// The real service under the test root with MCP on and a signed-in web
// session, for tests that drive its routes with curl.
#include <memory>
#include <string>

#include "tests/support/service_harness.h"

struct LMcpServiceSession {
    std::unique_ptr<LTestService> service;
    std::string port, session;
};

// Starts the service and makes the session; check with HasFatalFailure.
void LStartMcpServiceSession(LMcpServiceSession& out);
