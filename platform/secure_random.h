#pragma once
// The kernel's random source, for everything that guards access (session
// IDs, tokens, passwords).
#include <cstddef>

// Fills n bytes; false when the source gave nothing.
bool LPlatformRandomBytes(void* out, size_t n);
