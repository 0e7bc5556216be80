// Address lists, domains and syntax checks.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "net/mime/address.h"

TEST(Address, Validity) {
    std::u16string local65(65, u'a');
    struct Case {
        std::u16string address;
        bool valid;
    } cases[] = {
        {u"john.doe+tag@example.co.uk", true},
        {u"a@b.c", true},
        {u"john..doe@example.com", false},
        {local65 + u"@example.com", false},
        {u"john@example.com-", false},
        {u"john@localhost", false},
        {u".john@example.com", false},
        {u"john@exa_mple.com", false},
        {u"john@example..com", false},
        {u"no-at-sign", false},
        {u"x@example.com\r\nBcc: y@z.com", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(LEmailAddressIsValid(c.address.c_str()), c.valid) << std::string(c.address.begin(), c.address.end());

    EXPECT_TRUE(LEmailAddressListIsValid(u"a@b.c, d@e.f ,\tg@h.i"));
    for (const char16_t* bad : {u"", u"a@b.c,", u"a@b.c,,d@e.f", u"a@b.c d@e.f", u" , a@b.c"})
        EXPECT_FALSE(LEmailAddressListIsValid(bad));
}

TEST(Address, CursorAndDomain) {
    LEmailAddressCursor c;
    std::vector<std::u16string> got;
    c.Begin(u"a@b.c,  d@e.f ,g@h.i");
    do got.emplace_back(c.address);
    while (c.Next());
    EXPECT_EQ(got, (std::vector<std::u16string>{u"a@b.c", u"d@e.f", u"g@h.i"}));

    c.Begin(u"a@b.c d@e.f");
    EXPECT_EQ(std::u16string(c.address), u"a@b.c");
    EXPECT_FALSE(c.Next());

    char16_t d[260];
    EXPECT_TRUE(LEmailAddressDomain(u"x@y@example.org", d));
    EXPECT_EQ(std::u16string(d), u"example.org");
    EXPECT_FALSE(LEmailAddressDomain(u"x@", d));
    EXPECT_FALSE(LEmailAddressDomain(u"plain", d));
}
