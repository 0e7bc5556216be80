#pragma once
// The members of the three AI clients' install state in mcp/status. The
// module of the AI-client installers defines it; the MCP routes call it.
#include "foundation/json_writer.h"
#include "foundation/task_progress.h"

// In the service it waits for the desktop through `progress`, so a stopping
// server does not wait out the requests.
void LMcpWriteClientInstallStatus(LJsonWriter& json, LTaskProgress* progress);
