#pragma once
// The machine's own addresses as the routing and certificate code need
// them: the LAN address (the interface that carries the default route) and
// the local address the machine would use to reach a given host.
#include <cstdint>
#include <string>

// The first IPv4 unicast address, outside 169.254/16, of the first
// interface that is up, is neither loopback nor a point-to-point tunnel,
// and carries a default route; "" when there is none.
std::string LPlatformLanAddress();

// The local IPv4 address (network order) the kernel picks for traffic to
// remote:port; no packet is sent. False when there is no route.
bool LPlatformLocalAddressTowards(uint32_t remote, uint16_t port, uint32_t& local);
