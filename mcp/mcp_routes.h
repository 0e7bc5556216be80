#pragma once
// The members of the three AI clients' install state in mcp/status. The
// module of the AI-client installers defines it; the MCP routes call it.
#include "foundation/json_writer.h"

void LMcpWriteClientInstallStatus(LJsonWriter& json);
