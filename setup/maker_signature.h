#pragma once
// Whether a downloaded file comes from the maker: a detached Ed25519
// signature over the file's exact bytes, checked against the maker's
// public keys built into the program. A download that fails this check is
// treated as a failed download, so a redirected or hostile host can serve
// nothing that is ever run or unpacked.
#include <cstdint>
#include <vector>

// Files larger than this are not read for checking (and so never pass).
constexpr uint64_t LMakerSignedMaxBytes = 512ull << 20;

// True when signature (64 bytes) verifies over the file's bytes with one of
// the maker's keys. An empty file never verifies.
bool LVerifyMakerSignature(const char16_t* file, const std::vector<unsigned char>& signature);

// Test hook: adds a 32-byte raw public key to the accepted keys for the
// life of the process (tests sign their fixtures with its private half).
void LAddMakerTestKey(const unsigned char key[32]);
