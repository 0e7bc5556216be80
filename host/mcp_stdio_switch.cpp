// The -mcpstdio switch: the relay, with the service starter of this host.
#include "host/entry_points.h"
#include "host/service_control.h"
#include "mcp/stdio/stdio_relay.h"

int LMcpStdioRun() { return LMcpStdioRelay(LServiceStart); }
