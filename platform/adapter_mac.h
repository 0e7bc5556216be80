#pragma once
#include <cstdint>

// The hardware address of the first network adapter that has an IPv4
// address and is not the loopback, at most 6 bytes (missing bytes are 0).
// False, and all zeros, when there is none.
bool LPlatformFirstAdapterMac(uint8_t out[6]);
