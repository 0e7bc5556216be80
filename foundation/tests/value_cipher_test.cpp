#include "foundation/value_cipher.h"

#include <gtest/gtest.h>

#include <string>

#include "foundation/rc4.h"
#include "foundation/reg_settings.h"
#include "foundation/utf8.h"
#include "tests/support/test_root.h"

namespace {

// The key derivation sample of the Windows Base provider's documentation: a
// 40-bit key from the digest's first five bytes, with 11 zero bytes of salt.
TEST(Rc4, MatchesTheBaseProviderSample) {
    uint8_t key[16] = {0x73, 0x40, 0xe6, 0xe2, 0x74};
    uint8_t data[32];
    for (int i = 0; i < 32; ++i) data[i] = static_cast<uint8_t>(i);
    LRc4(key, 16).Process(data, 32);
    const uint8_t want[32] = {0x26, 0x59, 0xde, 0x24, 0x44, 0xfa, 0x36, 0x9c, 0x11, 0x0c, 0xbb,
                              0x9d, 0xb6, 0xa2, 0xbd, 0x24, 0x04, 0x2e, 0xe3, 0xba, 0x72, 0x76,
                              0xf3, 0x27, 0x8d, 0xd5, 0xb4, 0x2f, 0x56, 0xcf, 0xf8, 0xc9};
    EXPECT_EQ(0, memcmp(data, want, 32));
}

TEST(ValueCipher, RoundTripsAndIsDeterministic) {
    LValueCipher* c = LValueCipherGet();
    ASSERT_NE(c, nullptr);
    char16_t form[260], again[260], plain[260];
    ASSERT_TRUE(c->Encrypt(u"abc", form));
    // MD5("plimsorkad"), 40-bit key with zero salt, RC4 of "abc", base64.
    EXPECT_EQ(std::u16string(form), u"1/GG");
    ASSERT_TRUE(c->Encrypt(u"abc", again));
    EXPECT_EQ(std::u16string(form), std::u16string(again));
    ASSERT_TRUE(c->Decrypt(form, plain));
    EXPECT_EQ(std::u16string(plain), u"abc");

    const char16_t* texts[] = {u"p\u00e4ssw\u00f6rd \U0001F511", u"x"};
    for (const char16_t* t : texts) {
        ASSERT_TRUE(c->Encrypt(t, form));
        ASSERT_TRUE(c->Decrypt(form, plain));
        EXPECT_EQ(std::u16string(plain), t);
    }
}

TEST(ValueCipher, LimitsOfTheTextForm) {
    LValueCipher* c = LValueCipherGet();
    ASSERT_NE(c, nullptr);
    char16_t form[260], plain[260];
    EXPECT_FALSE(c->Encrypt(u"", form));
    std::u16string fits(192, u'a'), too_long(193, u'a');
    EXPECT_TRUE(c->Encrypt(fits.c_str(), form));
    EXPECT_EQ(std::u16string(form).size(), 256u);
    EXPECT_FALSE(c->Encrypt(too_long.c_str(), form));
    EXPECT_EQ(form[0], 0);
    EXPECT_FALSE(c->Decrypt(u"", plain));
    EXPECT_FALSE(c->Decrypt(u"!!!", plain));

    // A text form of more than 259 bytes gives only the first 259 bytes.
    uint8_t bytes[300];
    for (auto& b : bytes) b = 'q';
    c->Crypt(bytes, sizeof bytes);
    static const char alpha[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::u16string b64;
    for (size_t i = 0; i < sizeof bytes; i += 3) {
        uint32_t v = bytes[i] << 16 | bytes[i + 1] << 8 | bytes[i + 2];
        for (int k = 0; k < 4; ++k) b64 += static_cast<char16_t>(alpha[(v >> (18 - 6 * k)) & 63]);
    }
    // Line breaks inside the text are skipped.
    b64.insert(76, u"\r\n");
    ASSERT_TRUE(c->Decrypt(b64.c_str(), plain));
    EXPECT_EQ(std::u16string(plain), std::u16string(259, u'q'));
}

TEST(ValueCipher, RegistryTwinIsPreferredOverThePlainValue) {
    LTestRoot root;
    const char16_t* key = u"Software\\Vek Software\\Porlinex\\Email";
    char16_t out[260];
    ASSERT_TRUE(LRegWriteString(LRegHive::LocalMachine, key, u"Password", u"plain"));
    EXPECT_TRUE(LRegSettingsGetEncrypted(u"Email", u"Password", out));
    EXPECT_EQ(std::u16string(out), u"plain");

    std::string secret = "s3cret";
    LValueCipherGet()->Crypt(reinterpret_cast<uint8_t*>(secret.data()), secret.size());
    ASSERT_TRUE(LRegWriteBinary(LRegHive::LocalMachine, key, u"_Password", secret.data(), secret.size()));
    EXPECT_TRUE(LRegSettingsGetEncrypted(u"Email", u"Password", out));
    EXPECT_EQ(std::u16string(out), u"s3cret");
    EXPECT_FALSE(LRegSettingsGetEncrypted(u"Email", u"Missing", out));
    EXPECT_EQ(out[0], 0);
}

}  // namespace
