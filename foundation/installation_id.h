#pragma once
#include <cstdint>

// The installation identifier: 11 characters kept as the value "IID" of
// the machine-wide section "Software".

// The stored identifier, made and stored first when there is none.
void LGetInstallationId(char16_t out[260]);
// Makes and stores a new identifier.
void LCreateInstallationId();
// The identifier's text for a hardware address and a tick count (the
// address all zeros is the caller's business).
void LInstallationIdText(const uint8_t mac[6], uint32_t tick, char16_t out[260]);
