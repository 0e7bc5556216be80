#pragma once
// The host's own name and plain IPv4 name resolution.
#include <cstdint>

// The host name (cut to 259 units); empty when it cannot be read.
void LGetHostNameW(char16_t out[260]);
// Dotted text first, else the first IPv4 address the name resolves to, in
// network byte order; 0 when there is none.
uint32_t LResolveIPv4(const char* host);
