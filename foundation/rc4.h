#pragma once
// RC4, for reading and writing the stored values that earlier releases
// encrypted with it. Not for anything new: the cipher is broken.
#include <cstddef>
#include <cstdint>

class LRc4 {
public:
    LRc4(const uint8_t* key, size_t key_length);
    ~LRc4();
    LRc4(const LRc4&) = delete;
    LRc4& operator=(const LRc4&) = delete;
    // Encrypts or decrypts in place (the same operation).
    void Process(uint8_t* data, size_t n);

private:
    uint8_t s_[256];
    uint8_t i_ = 0, j_ = 0;
};
