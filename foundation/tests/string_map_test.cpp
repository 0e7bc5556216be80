#include "foundation/string_map.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

std::vector<std::string> Keys(const LStringMap& m) {
    std::vector<std::string> keys;
    m.ForEach([&](const LStringMapNode& n) { keys.push_back(LToUtf8(n.key)); });
    return keys;
}

// Checks the red-black rules and parent links; returns the black height.
int CheckRedBlack(const LStringMapNode* n, const LStringMapNode* parent) {
    if (!n) return 1;
    EXPECT_EQ(n->parent, parent);
    if (n->colour == 1) {
        EXPECT_TRUE(!n->left || n->left->colour == 0);
        EXPECT_TRUE(!n->right || n->right->colour == 0);
    }
    int l = CheckRedBlack(n->left, n), r = CheckRedBlack(n->right, n);
    EXPECT_EQ(l, r);
    return l + (n->colour == 0 ? 1 : 0);
}

}  // namespace

TEST(StringMap, ExactOrderIsCodeUnitOrder) {
    LStringMap m;
    m.Set(u"B", u"2");
    m.Set(u"a", u"3");
    m.Set(u"A", u"1");
    m.Set(u"Ab", u"4");
    m.Set(u"\u00e9", u"5");
    EXPECT_EQ(Keys(m), (std::vector<std::string>{"A", "Ab", "B", "a", "\xc3\xa9"}));
    LString form;
    m.ToUrlEncodedForm(form);
    EXPECT_EQ(LToUtf8(form), "A=1&Ab=4&B=2&a=3&%C3%A9=5");
}

TEST(StringMap, SetReplacesAndLookupsAnswer) {
    LStringMap m;
    m.Set(u"x", u"first");
    m.Set(u"x", u"second");
    ASSERT_NE(m.root, nullptr);
    EXPECT_EQ(m.root->left, nullptr);
    EXPECT_EQ(m.root->right, nullptr);
    EXPECT_EQ(LToUtf8(*m.Find(u"x")), "second");
    EXPECT_EQ(m.Find(u"X"), nullptr);

    const char16_t* fallback = u"fallback";
    EXPECT_EQ(m.GetText(u"missing", fallback), fallback);  // the caller's pointer itself
    m.Set(u"none", nullptr);
    EXPECT_EQ(m.GetText(u"none", fallback), fallback);
    m.AddPair(u"empty", u"");
    EXPECT_EQ(std::u16string(m.GetText(u"empty", fallback)), u"");
    EXPECT_EQ(std::u16string(m.GetText(u"x", fallback)), u"second");

    LString out(u"old");
    LStringMap empty;
    empty.ToUrlEncodedForm(out);
    EXPECT_EQ(LToUtf8(out), "");
}

TEST(StringMap, DuplicatesKeepArrivalOrder) {
    LStringMap m;
    for (const char16_t* v : {u"1", u"2", u"3", u"4", u"5"}) m.AddPair(u"k", v);
    m.AddPair(u"a", u"x");
    std::vector<std::string> values;
    m.ForEach([&](const LStringMapNode& n) { values.push_back(LToUtf8(n.key) + "=" + LToUtf8(*n.value)); });
    EXPECT_EQ(values, (std::vector<std::string>{"a=x", "k=1", "k=2", "k=3", "k=4", "k=5"}));
    EXPECT_NE(m.Find(u"k"), nullptr);
    EXPECT_FALSE(m.AddPair(nullptr));
}

TEST(StringMap, NoCaseMapFindsAnySpelling) {
    LStringMap m;
    for (const char16_t* k : {u"Content-Type", u"Host", u"accept", u"X_Y"}) {
        LString v(k);
        m.AddPairNoCase(k, v);
        EXPECT_EQ(v.buffer, nullptr);  // taken over
    }
    ASSERT_NE(m.FindNoCase(u"content-type"), nullptr);
    EXPECT_EQ(LToUtf8(*m.FindNoCase(u"content-type")), "Content-Type");
    EXPECT_EQ(LToUtf8(*m.FindNoCase(u"ACCEPT")), "accept");
    EXPECT_EQ(LToUtf8(*m.FindNoCase(u"x_y")), "X_Y");
    EXPECT_EQ(m.FindNoCase(u"Hos"), nullptr);
    // Folding to lower case puts '_' before letters.
    EXPECT_EQ(Keys(m), (std::vector<std::string>{"accept", "Content-Type", "Host", "X_Y"}));
}

TEST(StringMap, StaysRedBlackUnderManyInserts) {
    struct Case {
        const char* name;
        int order;  // 0 ascending, 1 descending, 2 shuffled
    } cases[] = {{"ascending", 0}, {"descending", 1}, {"shuffled", 2}};
    for (const auto& c : cases) {
        std::vector<int> numbers(2000);
        for (int i = 0; i < 2000; ++i) numbers[i] = c.order == 1 ? 1999 - i : i;
        if (c.order == 2) std::shuffle(numbers.begin(), numbers.end(), std::mt19937(7));
        LStringMap m;
        for (int i : numbers) {
            char16_t key[8];
            std::string s = std::to_string(10000 + i);
            for (size_t j = 0; j <= s.size(); ++j) key[j] = s[j];
            m.Set(key, key);
        }
        EXPECT_EQ(m.root->colour, 0) << c.name;
        int blackHeight = CheckRedBlack(m.root, nullptr);
        EXPECT_LE(blackHeight, 12) << c.name;
        auto keys = Keys(m);
        ASSERT_EQ(keys.size(), 2000u) << c.name;
        EXPECT_TRUE(std::is_sorted(keys.begin(), keys.end())) << c.name;
        EXPECT_EQ(LToUtf8(*m.Find(u"11234")), "11234");
    }
}
