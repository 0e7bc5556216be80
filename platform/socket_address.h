#pragma once
// Address tests that the foundation's system helpers and the network layer
// both need, kept below them both.
#include <cstdint>

// True for the addresses that are not reachable from the internet: 10/8,
// 172.16/12, 192.168/16, the loopback 127/8 and the link-local 169.254/16.
// The 4 bytes are in network order (a.b.c.d as bytes[0..3]).
bool LNetIsPrivateAddress(const uint8_t address[4]);

// The first IPv4 address (network order) of a host name or dotted text;
// writes nothing when the name does not resolve.
void LNetPickHostAddress(uint32_t& out, const char* host);
