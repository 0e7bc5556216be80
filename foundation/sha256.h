#pragma once
// SHA-256 (FIPS 180-4). The digest leaves Final as eight 32-bit words in
// the machine's byte order: printing each with "%08x" in turn gives the
// usual hexadecimal text.
#include <cstddef>
#include <cstdint>

struct LSha256 {
    uint32_t state[8];
    uint32_t lengthLow;   // message length in bytes, low word
    uint32_t lengthHigh;  // and high word
    uint8_t block[64];
    uint32_t blockUsed;
    bool finished;
    bool corrupted;

    // False when the context is finished or corrupted. One call takes fewer
    // than 2^32 bytes.
    bool Update(const void* bytes, uint32_t count);
    // False when out has fewer than 32 bytes or the context is corrupted.
    // The first call closes the message; later calls give the same words.
    bool Final(void* out, size_t out_size);
    void Transform(const uint8_t block64[64]);
};

void LSha256Init(LSha256& context);
