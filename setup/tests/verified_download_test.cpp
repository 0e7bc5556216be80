// Signed downloads and the version file against python3 -m http.server on
// a free loopback port, serving fixtures signed with a key made per run.
#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <clocale>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "foundation/lstring.h"
#include "foundation/reg_settings.h"
#include "foundation/wait.h"
#include "net/http/http_client.h"
#include "setup/maker_signature.h"
#include "setup/verified_download.h"
#include "setup/version_check.h"
#include "tests/support/test_root.h"
#include "tests/support/tls_peer.h"

namespace {

namespace fs = std::filesystem;

using Pkey = std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)>;

Pkey NewKey() {
    EVP_PKEY* key = nullptr;
    std::unique_ptr<EVP_PKEY_CTX, decltype(&EVP_PKEY_CTX_free)> ctx(EVP_PKEY_CTX_new_id(EVP_PKEY_ED25519, nullptr),
                                                                    EVP_PKEY_CTX_free);
    EVP_PKEY_keygen_init(ctx.get());
    EVP_PKEY_keygen(ctx.get(), &key);
    return Pkey(key, EVP_PKEY_free);
}

std::string Sign(EVP_PKEY* key, const std::string& data) {
    std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> ctx(EVP_MD_CTX_new(), EVP_MD_CTX_free);
    unsigned char sig[64];
    size_t n = sizeof sig;
    EVP_DigestSignInit(ctx.get(), nullptr, nullptr, nullptr, key);
    EVP_DigestSign(ctx.get(), sig, &n, reinterpret_cast<const unsigned char*>(data.data()), data.size());
    return std::string(reinterpret_cast<char*>(sig), n);
}

void Write(const std::string& path, const std::string& bytes) {
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
}

// python3 -m http.server over one folder, stopped with the object.
class FileServer {
public:
    explicit FileServer(const std::string& folder) : port_(LTestFreePort()) {
        fs::create_directories(folder);
        process_ = std::make_unique<LTestProcess>(LTestRedirectedArgv(
            {"python3", "-m", "http.server", "--bind", "127.0.0.1", "--directory", folder, std::to_string(port_)},
            "/dev/null", "/dev/null"));
        LPlainWait wait;
        ready_ = LTestWaitFor(20000, [&] {
            char buffer[64];
            LNetOpResult r;
            return LHttpGetToBuffer(r, wait, (Host("http://") + "/").c_str(), buffer, sizeof buffer, 2000) == 0;
        });
    }
    bool Ready() const { return ready_; }
    std::string Host(const std::string& scheme = "") const { return scheme + "127.0.0.1:" + std::to_string(port_); }

private:
    int port_;
    bool ready_ = false;
    std::unique_ptr<LTestProcess> process_;
};

class MakerDownloadTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        key_ = NewKey().release();
        unsigned char pub[32];
        size_t n = sizeof pub;
        EVP_PKEY_get_raw_public_key(key_, pub, &n);
        LAddMakerTestKey(pub);
    }
    static void TearDownTestSuite() { EVP_PKEY_free(key_); }

    void SetUp() override {
        served_ = root_.Path() + "/served";
        target_ = root_.Path() + "/target";
        fs::create_directories(target_);
        server_ = std::make_unique<FileServer>(served_);
        ASSERT_TRUE(server_->Ready());
    }
    // A served file and its signature (by the maker's key unless given).
    void Serve(const std::string& name, const std::string& bytes, const std::string& signature) {
        Write(served_ + "/" + name, bytes);
        Write(served_ + "/" + name + ".sig", signature);
    }
    std::string Url(const std::string& name) const { return server_->Host("http://") + "/" + name; }
    std::vector<std::string> TargetFolder() const {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(target_)) names.push_back(e.path().filename().string());
        return names;
    }

    static EVP_PKEY* key_;
    LTestRoot root_;
    std::string served_, target_;
    std::unique_ptr<FileServer> server_;
    LPlainWait wait_;
};

EVP_PKEY* MakerDownloadTest::key_ = nullptr;

TEST_F(MakerDownloadTest, OnlyASignedNonEmptyFileIsKept) {
    Pkey stranger = NewKey();
    const std::string good = "#!/bin/sh\necho setup\n";
    Serve("good", good, Sign(key_, good));
    Serve("tampered", good + "rm -rf ~\n", Sign(key_, good));
    Serve("stranger", good, Sign(stranger.get(), good));
    Serve("empty", "", Sign(key_, ""));
    Serve("short-sig", good, Sign(key_, good).substr(0, 63));
    Write(served_ + "/unsigned", good);

    struct Case {
        const char* name;
        int result;
    } cases[] = {{"good", 0},  {"tampered", 2},  {"stranger", 2}, {"empty", 2},
                 {"short-sig", 2}, {"unsigned", 2}, {"missing", 2}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string target = target_ + "/setup";
        Write(target, "earlier");
        EXPECT_EQ(LDownloadVerified(wait_, Url(c.name), target), c.result);
        EXPECT_EQ(LTestReadFile(target), c.result == 0 ? good : "earlier");
        // Nothing of a refused download stays beside the target.
        EXPECT_EQ(TargetFolder(), std::vector<std::string>{"setup"});
    }
}

TEST_F(MakerDownloadTest, TheNextSourceIsTriedAfterABadSignature) {
    const std::string good = "installer bytes";
    Serve("a/setup", good + "!", Sign(key_, good));
    Serve("b/setup", good, Sign(key_, good));
    const std::string target = target_ + "/setup";
    EXPECT_EQ(LDownloadVerifiedFromAny(wait_, {Url("a/setup"), Url("b/setup")}, target), 0);
    EXPECT_EQ(LTestReadFile(target), good);

    fs::remove(target);
    EXPECT_EQ(LDownloadVerifiedFromAny(wait_, {Url("a/setup"), Url("c/setup")}, target), 2);
    EXPECT_FALSE(fs::exists(target));
}

TEST(VersionFile, ParsesKeysInOrder) {
    struct Case {
        const char* text;
        int result;
        double version;
        const char16_t* info;
    } cases[] = {
        {"HTTP/1.0 200 OK\r\n\r\nversion=2.01&info=http://i/&download=http://d/", 0, 2.01, u"http://i/"},
        {"version=2.1&info=x&download=y&more", 0, 2.1, u"x"},
        {"info=x&version=2.1&download=y", 2, 0, u""},
        {"version=2.1&info=x", 2, 0, u""},
        {"version=2.1&info=x&download=", 2, 0, u""},
        {"version=&info=x&download=y", 2, 0, u""},
        {"nothing here", 2, 0, u""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        LVersionInfo info;
        EXPECT_EQ(LParseVersionInfo(c.text, info), c.result);
        EXPECT_DOUBLE_EQ(info.version, c.version);
        EXPECT_EQ(LToUtf8(info.info), LToUtf8(c.info));
    }
    // A long value is cut to 259 bytes and stays terminated.
    LVersionInfo info;
    std::string long_text = "version=2&info=" + std::string(400, 'a') + "&download=" + std::string(400, 'b');
    ASSERT_EQ(LParseVersionInfo(long_text.c_str(), info), 0);
    EXPECT_EQ(LToUtf8(info.download), std::string(259, 'b'));
}

TEST(VersionFile, NumberIsReadTheSameUnderACommaLocale) {
    const char* old = std::setlocale(LC_NUMERIC, nullptr);
    std::string saved = old ? old : "C";
    if (!std::setlocale(LC_NUMERIC, "de_DE.UTF-8")) GTEST_SKIP() << "de_DE.UTF-8 is not installed";
    LVersionInfo info;
    int r = LParseVersionInfo("version=2.05&info=i&download=d", info);
    std::setlocale(LC_NUMERIC, saved.c_str());
    EXPECT_EQ(r, 0);
    EXPECT_DOUBLE_EQ(info.version, 2.05);
}

TEST_F(MakerDownloadTest, NewerVersionIsFetchedAndStoredOnlyWhenNeeded) {
    Write(served_ + "/versions/porlinex.txt", "version=2.05&info=http://i/&download=http://d/");
    LRegSettingsSet(u"Maker", u"DownloadHost", LFromUtf8(server_->Host()).c_str());
    auto stored = [] {
        char16_t out[260] = {0};
        LRegUserSettingsGet(u"Settings", u"NewerVersion", u"", out);
        return LToUtf8(out);
    };

    struct Case {
        const char* before;
        const char* host;  // "" keeps the served host
        int result;
        double version;
        const char* after;
    } cases[] = {
        {"", "", 0, 2.05, "205"},
        {"201", "", 0, 2.05, "205"},
        {"150", "", 0, 2.05, "205"},
        // Already known to be newer: answered without the network.
        {"210", "127.0.0.1:1", 0, 2.10, "210"},
        // No version data: the stored value stays.
        {"150", "127.0.0.1:1", 2, 0, "150"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.before) + " " + c.host);
        LRegUserSettingsSet(u"Settings", u"NewerVersion", LFromUtf8(c.before).c_str());
        LRegSettingsSet(u"Maker", u"DownloadHost", LFromUtf8(*c.host ? c.host : server_->Host()).c_str());
        double version = 0;
        EXPECT_EQ(LGetNewerVersion(wait_, version) != 0 ? 2 : 0, c.result);
        if (c.result == 0) {
            EXPECT_DOUBLE_EQ(version, c.version);
        }
        EXPECT_EQ(stored(), c.after);
    }
}

}  // namespace
