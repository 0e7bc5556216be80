// The MCP installers' way to the desktop: the pending requests of this host.
#include "host/desktop_request.h"
#include "host/pipe_server.h"
#include "mcp/clients/desktop_channel.h"

namespace {

const LMcpDesktopChannel kChannel = {LDesktopRequestBegin, LDesktopRequestWait, LServicePipeHasClients};

[[maybe_unused]] const bool g_registered = (LMcpSetDesktopChannel(&kChannel), true);

}  // namespace
