#pragma once
// The host's own name and addresses, and plain IPv4 name resolution.
#include <cstdint>

// The host name (cut to 259 units); empty when it cannot be read.
void LGetHostNameW(char16_t out[260]);
// The host's own address as "a.b.c.d": of the addresses its name resolves
// to, the last one that is public (not private, not beginning with 0 or
// 127), else the first; "0.0.0.0" when it has none.
void LGetLocalIPv4Text(char out[260]);
// The first address of the host's own name as "a.b.c.d"; "0.0.0.0" when it
// does not resolve.
void LGetHostIPv4Text(char out[260]);
// Dotted text first, else the first IPv4 address the name resolves to, in
// network byte order; 0 when there is none.
uint32_t LResolveIPv4(const char* host);
