#include "foundation/string_list.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

TEST(StringList, GrowsAndStaysNullTerminated) {
    LStringList list;
    EXPECT_EQ(list.capacity, 255u);
    EXPECT_EQ(list.items[0], nullptr);
    EXPECT_EQ(list.FindW(u"x"), -1);

    struct Step {
        uint64_t count;
        uint64_t capacity;
    } steps[] = {{255, 255}, {256, 2047}, {2047, 2047}, {2048, 16383}};
    uint64_t added = 0;
    for (const auto& s : steps) {
        while (added < s.count) {
            std::u16string text = u"item";
            for (char c : std::to_string(added)) text += char16_t(c);
            ASSERT_TRUE(list.AddW(text.c_str()));
            ++added;
        }
        EXPECT_EQ(list.count, s.count);
        EXPECT_EQ(list.capacity, s.capacity);
        EXPECT_EQ(list.items[list.count], nullptr);
    }
    EXPECT_EQ(list.FindW(u"item204"), 204);
    EXPECT_EQ(list.FindW(u"item20"), 20);
    EXPECT_EQ(list.FindW(u"item2048"), -1);
    EXPECT_EQ(list.FindW(list.ItemW(1)), 1);
    EXPECT_TRUE(LStringList::Contains(list.ItemsW(), list.ItemW(2047)));

    list.Clear();
    EXPECT_EQ(list.count, 0u);
    EXPECT_EQ(list.capacity, 16383u);
    EXPECT_EQ(list.items[0], nullptr);
}

TEST(StringList, NarrowItemsAndConstantLists) {
    LStringList list;
    list.AddA("alpha");
    list.AddA("");
    char* item = list.NewItemA(5);
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(item[0], 0);
    std::memcpy(item, "gamma", 5);
    EXPECT_EQ(list.FindA("gamma"), 2);
    EXPECT_EQ(list.FindA(""), 1);
    EXPECT_EQ(list.FindA("alph"), -1);
    EXPECT_EQ(list.FindA(nullptr), -1);

    static const char16_t* const kTags[] = {u"INBOX", u"Sent", u"Drafts", nullptr};
    EXPECT_TRUE(LStringList::Contains(kTags, u"Sent"));
    EXPECT_FALSE(LStringList::Contains(kTags, u"sent"));
    EXPECT_FALSE(LStringList::Contains(kTags, u"Sen"));
    EXPECT_FALSE(LStringList::Contains(nullptr, u"Sent"));

    list.Free();
    EXPECT_EQ(list.items, nullptr);
    // A list without an array starts with 8 slots.
    EXPECT_TRUE(list.AddA("again"));
    EXPECT_EQ(list.capacity, 7u);
    EXPECT_EQ(list.items[1], nullptr);
}
