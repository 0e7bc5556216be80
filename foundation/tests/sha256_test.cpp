#include "foundation/sha256.h"

#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <cstdio>
#include <string>

namespace {

std::string Hex(const uint32_t words[8]) {
    char buf[65];
    for (int i = 0; i < 8; ++i) std::snprintf(buf + 8 * i, 9, "%08x", words[i]);
    return buf;
}

std::string Ours(const std::string& data, size_t piece) {
    LSha256 c;
    LSha256Init(c);
    for (size_t i = 0; i < data.size(); i += piece) {
        size_t n = data.size() - i < piece ? data.size() - i : piece;
        EXPECT_TRUE(c.Update(data.data() + i, static_cast<uint32_t>(n)));
    }
    uint32_t out[8];
    EXPECT_TRUE(c.Final(out, sizeof out));
    return Hex(out);
}

std::string OpenSsl(const std::string& data) {
    unsigned char md[32];
    unsigned int n = 0;
    EVP_Digest(data.data(), data.size(), md, &n, EVP_sha256(), nullptr);
    std::string hex;
    char b[3];
    for (unsigned i = 0; i < n; ++i) {
        std::snprintf(b, sizeof b, "%02x", md[i]);
        hex += b;
    }
    return hex;
}

TEST(Sha256, FipsExamples) {
    EXPECT_EQ(Ours("", 64), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(Ours("abc", 64), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(Ours("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq", 64),
              "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
}

TEST(Sha256, AgreesWithOpenSslAcrossBlockEdges) {
    std::string data;
    for (int i = 0; i < 1000; ++i) data += static_cast<char>((i * 131 + 7) & 0xFF);
    for (size_t len : {0, 1, 55, 56, 57, 63, 64, 65, 119, 120, 128, 1000})
        for (size_t piece : {1, 7, 64, 1000}) {
            std::string d = data.substr(0, len);
            EXPECT_EQ(Ours(d, piece), OpenSsl(d)) << len << "/" << piece;
        }
}

TEST(Sha256, FinishedAndShortOutputs) {
    LSha256 c;
    LSha256Init(c);
    ASSERT_TRUE(c.Update("abc", 3));
    uint32_t small[8];
    EXPECT_FALSE(c.Final(small, 31));
    EXPECT_FALSE(c.finished);
    uint32_t out[8], again[8];
    ASSERT_TRUE(c.Final(out, 32));
    EXPECT_FALSE(c.Update("x", 1));
    ASSERT_TRUE(c.Final(again, 32));
    EXPECT_EQ(Hex(out), Hex(again));
    EXPECT_EQ(Hex(out), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
}

TEST(Sha256, LengthBeyondTheBitCountCorrupts) {
    LSha256 c;
    LSha256Init(c);
    c.lengthHigh = (1u << 29) - 1;
    c.lengthLow = 0xFFFFFFF0u;
    EXPECT_TRUE(c.Update("0123456789abcdef", 15));
    EXPECT_FALSE(c.Update("xx", 2));
    EXPECT_TRUE(c.corrupted);
    uint32_t out[8];
    EXPECT_FALSE(c.Final(out, 32));
    EXPECT_FALSE(c.Update("", 0));
}

}  // namespace
