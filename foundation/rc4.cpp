#include "foundation/rc4.h"

#include <openssl/crypto.h>

#include <utility>

LRc4::LRc4(const uint8_t* key, size_t key_length) {
    for (int k = 0; k < 256; ++k) s_[k] = static_cast<uint8_t>(k);
    uint8_t j = 0;
    for (int k = 0; k < 256; ++k) {
        j = static_cast<uint8_t>(j + s_[k] + key[static_cast<size_t>(k) % key_length]);
        std::swap(s_[k], s_[j]);
    }
}

// The state is as good as the key, so it goes with the object.
LRc4::~LRc4() { OPENSSL_cleanse(s_, sizeof s_); }

void LRc4::Process(uint8_t* data, size_t n) {
    for (size_t k = 0; k < n; ++k) {
        i_ = static_cast<uint8_t>(i_ + 1);
        j_ = static_cast<uint8_t>(j_ + s_[i_]);
        std::swap(s_[i_], s_[j_]);
        data[k] ^= s_[static_cast<uint8_t>(s_[i_] + s_[j_])];
    }
}
