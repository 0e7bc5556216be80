#pragma once
// The outside view of this network: an HTTP ping service on the internet
// that tries to connect back to a port and tells which address it saw us
// from. Its address is the machine setting Routing\PingService (an http
// URL without a path); there is none by default, and then nothing is asked.
#include <cstdint>
#include <string>

#include "foundation/task_progress.h"

// Results of the reachability test.
constexpr uint32_t LRoutingReachable = 0;
constexpr uint32_t LRoutingStopped = 1;
constexpr uint32_t LRoutingUnreachable = 2;
// No service, or it could not be asked: nothing is known either way.
constexpr uint32_t LRoutingUnknown = 3;

// Asks whether the port is reachable from outside; text: what the service
// said after its verdict (the address it saw us from).
uint32_t LRoutingPingTest(LTaskProgress& progress, uint16_t port, std::string& text);
// This network's public IPv4 address as the service sees it: 0 with the
// address, 1 on a stop, 2 when there is none to be had.
uint32_t LRoutingGetExternalIP(LTaskProgress& progress, std::string& address);
