#pragma once
// The maker's hosts as tests see them: python3 -m http.server over a
// folder on a free loopback port, and a signing key made per run whose
// public half the program accepts.
#include <openssl/evp.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "foundation/wait.h"
#include "net/http/http_client.h"
#include "setup/maker_signature.h"
#include "tests/support/test_root.h"
#include "tests/support/tls_peer.h"

inline void LTestWriteFile(const std::string& path, const std::string& bytes) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
}

class LTestSigner {
public:
    LTestSigner() {
        std::unique_ptr<EVP_PKEY_CTX, decltype(&EVP_PKEY_CTX_free)> ctx(EVP_PKEY_CTX_new_id(EVP_PKEY_ED25519, nullptr),
                                                                        EVP_PKEY_CTX_free);
        EVP_PKEY_keygen_init(ctx.get());
        EVP_PKEY_keygen(ctx.get(), &key_);
    }
    ~LTestSigner() { EVP_PKEY_free(key_); }
    LTestSigner(const LTestSigner&) = delete;
    LTestSigner& operator=(const LTestSigner&) = delete;
    // Makes the program accept this key's signatures for the rest of the run.
    void Trust() const {
        unsigned char pub[32];
        size_t n = sizeof pub;
        EVP_PKEY_get_raw_public_key(key_, pub, &n);
        LAddMakerTestKey(pub);
    }
    std::string Sign(const std::string& data) const {
        std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> ctx(EVP_MD_CTX_new(), EVP_MD_CTX_free);
        unsigned char sig[64];
        size_t n = sizeof sig;
        EVP_DigestSignInit(ctx.get(), nullptr, nullptr, nullptr, key_);
        EVP_DigestSign(ctx.get(), sig, &n, reinterpret_cast<const unsigned char*>(data.data()), data.size());
        return std::string(reinterpret_cast<char*>(sig), n);
    }

private:
    EVP_PKEY* key_ = nullptr;
};

class LTestFileServer {
public:
    explicit LTestFileServer(const std::string& folder) : port_(LTestFreePort()) {
        std::filesystem::create_directories(folder);
        process_ = std::make_unique<LTestProcess>(LTestRedirectedArgv(
            {"python3", "-m", "http.server", "--bind", "127.0.0.1", "--directory", folder, std::to_string(port_)},
            "/dev/null", "/dev/null"));
        LPlainWait wait;
        ready_ = LTestWaitFor(20000, [&] {
            char buffer[64];
            LNetOpResult r;
            return LHttpGetToBuffer(r, wait, ("http://" + Host() + "/").c_str(), buffer, sizeof buffer, 2000) == 0;
        });
    }
    bool Ready() const { return ready_; }
    std::string Host() const { return "127.0.0.1:" + std::to_string(port_); }

private:
    int port_;
    bool ready_ = false;
    std::unique_ptr<LTestProcess> process_;
};
