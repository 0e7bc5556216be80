#pragma once
// The routing test and the refresh of a port's forwarding, which record
// their findings in the Routing section for the user interface. Results:
// 0 done, 1 stop requested, 2 the test found a problem (see Routing\Error).
#include <cstdint>
#include <string>

#include "foundation/task_progress.h"

// One refresh of the public port's forwarding (only while the public
// address is a static one): UPnP when it keeps the port forwarded, else a
// look at whether this host's own public address changed.
uint32_t LUPnPMapPort(LTaskProgress& progress, uint16_t local_port, uint16_t& public_port);
// The full test: private or public address, the firewall, the configured
// public address, UPnP, and the connection test from outside.
uint32_t LRoutingTestWizard(LTaskProgress& progress, uint16_t local_port, uint16_t& public_port);

// The same two for a given address of this host (the routing steps never
// send anything to it; it decides the path and goes into the texts).
uint32_t LUPnPMapPortFor(LTaskProgress& progress, const std::string& host_address, uint16_t local_port,
                         uint16_t& public_port);
uint32_t LRoutingTestWizardFor(LTaskProgress& progress, const std::string& host_address, uint16_t local_port,
                               uint16_t& public_port);
