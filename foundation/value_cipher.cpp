#include "foundation/value_cipher.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>

#include <cstring>
#include <string>

#include "foundation/base64.h"
#include "foundation/format.h"
#include "foundation/rc4.h"
#include "foundation/reg_settings.h"
#include "foundation/utf8.h"

namespace {

const char kPassPhrase[] = "plimsorkad";

// Ends the plaintext's life in every working buffer.
class LWipedBytes {
public:
    explicit LWipedBytes(std::string bytes) : bytes(std::move(bytes)) {}
    ~LWipedBytes() { OPENSSL_cleanse(bytes.data(), bytes.size()); }
    LWipedBytes(const LWipedBytes&) = delete;
    LWipedBytes& operator=(const LWipedBytes&) = delete;
    uint8_t* Data() { return reinterpret_cast<uint8_t*>(bytes.data()); }
    std::string bytes;
};

// The first 259 bytes of decrypted UTF-8 into a fixed field.
void PlainToField(LWipedBytes& plain, char16_t out[260]) {
    if (plain.bytes.size() > 259) plain.bytes.resize(259);
    LUTF8ToWideBuf(out, plain.bytes.c_str());
}

}  // namespace

LValueCipher::LValueCipher() : LValueCipher(kPassPhrase) {}

LValueCipher::LValueCipher(const char* pass_phrase) {
    // The Windows releases hashed the pass phrase with MD5 and derived an RC4
    // key of the Base provider's default length, 40 bits, which that provider
    // pads with 11 zero bytes of salt: RC4 over a 16-byte key whose first 5
    // bytes are the digest's.
    uint8_t digest[EVP_MAX_MD_SIZE];
    unsigned int len = 0;
    if (EVP_Digest(pass_phrase, std::strlen(pass_phrase), digest, &len, EVP_md5(), nullptr) != 1 || len < 5) return;
    std::memcpy(key_, digest, 5);
    OPENSSL_cleanse(digest, sizeof digest);
    has_key_ = true;
}

void LValueCipher::Crypt(uint8_t* data, size_t n) const {
    // A fresh key stream per value: every value is encrypted from its start.
    LRc4 rc4(key_, KeyLength);
    rc4.Process(data, n);
}

bool LValueCipher::Encrypt(const char16_t* text, char16_t out[260]) {
    out[0] = 0;
    if (!has_key_) return false;
    char utf8[1040];
    LUTF8FromWide conv(text);
    size_t n = conv.Length() > 1039 ? 1039 : conv.Length();
    std::memcpy(utf8, conv.text, n);
    LWipedBytes work(std::string(utf8, n));
    OPENSSL_cleanse(utf8, sizeof utf8);
    if (n == 0) return false;
    Crypt(work.Data(), n);
    // The text form must fit the 259 characters of a field, or nothing is
    // written.
    if (LBase64EncodedLength(n, LBase64NoLineBreaks) > 259) return false;
    LBase64EncodeW260(work.Data(), n, out, LBase64NoLineBreaks);
    return out[0] != 0;
}

bool LValueCipher::Decrypt(const char16_t* text_form, char16_t out[260]) {
    out[0] = 0;
    if (!has_key_) return false;
    LUTF8FromWide conv(text_form);
    LHeapBlock decoded;
    size_t n = LBase64Decode(conv.text, conv.Length(), decoded);
    LWipedBytes work(std::string(static_cast<const char*>(decoded.block), n));
    if (n) OPENSSL_cleanse(decoded.block, n);
    if (work.bytes.empty()) return false;
    Crypt(work.Data(), work.bytes.size());
    PlainToField(work, out);
    return true;
}

bool LValueCipher::ReadRegistryValue(const char16_t* subkey, const char16_t* name, char16_t out[260]) {
    LRegKey key;
    if (!key.Open(LRegHive::LocalMachine, subkey)) return false;
    out[0] = 0;
    if (!has_key_) return false;
    const LHiveValue* v = key.Find(name);
    if (!v) return false;
    LWipedBytes work(LRegValueBytes(*v));
    Crypt(work.Data(), work.bytes.size());
    PlainToField(work, out);
    return true;
}

LValueCipher* LValueCipherGet() {
    static LValueCipher cipher;
    return cipher.HasKey() ? &cipher : nullptr;
}

bool LRegGetEncryptedString(const char16_t* subkey, const char16_t* name, char16_t out[260]) {
    if (LValueCipher* cipher = LValueCipherGet()) {
        char16_t twin[260];
        LFormatEscPathW(twin, u"_%s", name);
        if (cipher->ReadRegistryValue(subkey, twin, out)) return true;
    }
    return LRegReadString(LRegHive::LocalMachine, subkey, name, u"", out);
}
