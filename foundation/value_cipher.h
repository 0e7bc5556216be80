#pragma once
// The cipher of stored secrets that the program must read back (account
// passwords in the database, the error e-mail's SMTP password in the machine
// hive): RC4 under a key made from a built-in pass phrase, exactly as the
// Windows releases derived it, so that values they stored still read.
// Database values are base64 text; hive values are raw bytes in the twin
// "_<name>" of the plain value.
#include <cstddef>
#include <cstdint>

class LValueCipher {
public:
    LValueCipher();
    // The key of another pass phrase (the tests check the derivation).
    explicit LValueCipher(const char* pass_phrase);
    bool HasKey() const { return has_key_; }

    bool Encrypt(const char16_t* text, char16_t out[260]);
    bool Decrypt(const char16_t* text_form, char16_t out[260]);
    // Decrypts the raw bytes of a machine-hive value.
    bool ReadRegistryValue(const char16_t* subkey, const char16_t* name, char16_t out[260]);
    // RC4 from the start of the key stream, in place.
    void Crypt(uint8_t* data, size_t n) const;

    static constexpr size_t KeyLength = 16;

private:
    uint8_t key_[KeyLength] = {};
    bool has_key_ = false;
};

// The process-wide cipher, or null when it has no key.
LValueCipher* LValueCipherGet();

// The decrypted twin "_<name>" of a machine-hive value when it can be read,
// else the plain value (default empty).
bool LRegGetEncryptedString(const char16_t* subkey, const char16_t* name, char16_t out[260]);
