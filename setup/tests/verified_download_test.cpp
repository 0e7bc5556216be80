// Signed downloads and the version file against python3 -m http.server on
// a free loopback port, serving fixtures signed with a key made per run.
#include <gtest/gtest.h>

#include <clocale>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "foundation/lstring.h"
#include "foundation/reg_settings.h"
#include "setup/verified_download.h"
#include "setup/version_check.h"
#include "setup/tests/maker_peer.h"

namespace {

namespace fs = std::filesystem;

class MakerDownloadTest : public ::testing::Test {
protected:
    void SetUp() override {
        maker_.Trust();
        served_ = root_.Path() + "/served";
        target_ = root_.Path() + "/target";
        fs::create_directories(target_);
        server_ = std::make_unique<LTestFileServer>(served_);
        ASSERT_TRUE(server_->Ready());
    }
    // A served file and its detached signature.
    void Serve(const std::string& name, const std::string& bytes, const std::string& signature) {
        LTestWriteFile(served_ + "/" + name, bytes);
        LTestWriteFile(served_ + "/" + name + ".sig", signature);
    }
    std::string Url(const std::string& name) const { return "http://" + server_->Host() + "/" + name; }
    std::vector<std::string> TargetFolder() const {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(target_)) names.push_back(e.path().filename().string());
        return names;
    }

    LTestSigner maker_;
    LTestRoot root_;
    std::string served_, target_;
    std::unique_ptr<LTestFileServer> server_;
    LPlainWait wait_;
};

TEST_F(MakerDownloadTest, OnlyASignedNonEmptyFileIsKept) {
    LTestSigner stranger;
    const std::string good = "#!/bin/sh\necho setup\n";
    Serve("good", good, maker_.Sign(good));
    Serve("tampered", good + "rm -rf ~\n", maker_.Sign(good));
    Serve("stranger", good, stranger.Sign(good));
    Serve("empty", "", maker_.Sign(""));
    Serve("short-sig", good, maker_.Sign(good).substr(0, 63));
    LTestWriteFile(served_ + "/unsigned", good);

    struct Case {
        const char* name;
        int result;
    } cases[] = {{"good", 0},  {"tampered", 2},  {"stranger", 2}, {"empty", 2},
                 {"short-sig", 2}, {"unsigned", 2}, {"missing", 2}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string target = target_ + "/setup";
        LTestWriteFile(target, "earlier");
        EXPECT_EQ(LDownloadVerified(wait_, Url(c.name), target), c.result);
        EXPECT_EQ(LTestReadFile(target), c.result == 0 ? good : "earlier");
        // Nothing of a refused download stays beside the target.
        EXPECT_EQ(TargetFolder(), std::vector<std::string>{"setup"});
    }
}

TEST_F(MakerDownloadTest, TheNextSourceIsTriedAfterABadSignature) {
    const std::string good = "installer bytes";
    Serve("a/setup", good + "!", maker_.Sign(good));
    Serve("b/setup", good, maker_.Sign(good));
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
    LTestWriteFile(served_ + "/versions/porlinex.txt", "version=2.05&info=http://i/&download=http://d/");
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
        {"205", "127.0.0.1:1", 0, 2.05, "205"},
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
