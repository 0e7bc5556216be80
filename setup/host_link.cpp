// The host sits below setup and cannot include it; it reaches the maker's
// web host and setup's message through the link it declares, filled here.
#include "host/setup_link.h"
#include "setup/maker_hosts.h"
#include "setup/setup_message.h"

namespace {

[[maybe_unused]] const bool g_registered = LSetupLinkRegister({LGetMakerWebHost, LSetupMessage});

}  // namespace
