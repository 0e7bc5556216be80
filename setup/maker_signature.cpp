#include "setup/maker_signature.h"

#include <fcntl.h>
#include <openssl/evp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <memory>
#include <mutex>
#include <string>

#include "foundation/lstring.h"

namespace {

using Key = std::array<unsigned char, 32>;

// The maker's release keys. None is published yet: until one is, only
// keys added by the test hook verify, so no download is ever trusted.
const std::vector<Key> kMakerKeys = {};

std::mutex& TestKeysLock() {
    static std::mutex m;
    return m;
}
std::vector<Key>& TestKeys() {
    static std::vector<Key> keys;
    return keys;
}

struct FdCloser {
    int fd;
    ~FdCloser() {
        if (fd >= 0) close(fd);
    }
};

// The whole file, bounded; false when it cannot be read or is too large.
bool ReadBounded(const char16_t* file, std::string& out) {
    FdCloser f{open(LToUtf8(file).c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW)};
    struct stat st {};
    if (f.fd < 0 || fstat(f.fd, &st) != 0 || !S_ISREG(st.st_mode)) return false;
    if (uint64_t(st.st_size) > LMakerSignedMaxBytes) return false;
    out.resize(size_t(st.st_size));
    size_t got = 0;
    while (got < out.size()) {
        ssize_t n = read(f.fd, out.data() + got, out.size() - got);
        if (n <= 0) return false;
        got += size_t(n);
    }
    // A file that grew while read is not the file that was signed.
    char extra;
    return read(f.fd, &extra, 1) == 0;
}

bool VerifyWith(const Key& key, const std::string& data, const std::vector<unsigned char>& signature) {
    std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)> pkey(
        EVP_PKEY_new_raw_public_key(EVP_PKEY_ED25519, nullptr, key.data(), key.size()), EVP_PKEY_free);
    std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> ctx(EVP_MD_CTX_new(), EVP_MD_CTX_free);
    if (!pkey || !ctx || EVP_DigestVerifyInit(ctx.get(), nullptr, nullptr, nullptr, pkey.get()) != 1) return false;
    return EVP_DigestVerify(ctx.get(), signature.data(), signature.size(),
                            reinterpret_cast<const unsigned char*>(data.data()), data.size()) == 1;
}

}  // namespace

bool LVerifyMakerSignature(const char16_t* file, const std::vector<unsigned char>& signature) {
    if (signature.size() != 64) return false;
    std::string data;
    if (!ReadBounded(file, data) || data.empty()) return false;
    for (const Key& k : kMakerKeys)
        if (VerifyWith(k, data, signature)) return true;
    std::lock_guard<std::mutex> lock(TestKeysLock());
    for (const Key& k : TestKeys())
        if (VerifyWith(k, data, signature)) return true;
    return false;
}

void LAddMakerTestKey(const unsigned char key[32]) {
    Key k;
    std::copy(key, key + 32, k.begin());
    std::lock_guard<std::mutex> lock(TestKeysLock());
    TestKeys().push_back(k);
}
