#include "foundation/containers.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

struct Route : LSortedTreeNode {
    std::u16string name;
    explicit Route(std::u16string n) : name(std::move(n)) { key = name.c_str(); }
};

// Keys greater than a node's key are in its first subtree.
const LSortedTreeNode* Lookup(const LSortedTree& t, const char16_t* key) {
    const LSortedTreeNode* n = t.root;
    while (n) {
        int c = std::u16string(key).compare(n->key);
        if (c == 0) return n;
        n = c > 0 ? n->first : n->second;
    }
    return nullptr;
}

uint64_t Height(const LSortedTreeNode* n) {
    if (!n) return 0;
    uint64_t a = Height(n->first), b = Height(n->second);
    return (a > b ? a : b) + 1;
}

void CheckHeights(const LSortedTreeNode* n) {
    if (!n) return;
    EXPECT_EQ(n->height, Height(n)) << LToUtf8(n->key);
    if (n->first) {
        EXPECT_EQ(n->first->parent, n);
    }
    if (n->second) {
        EXPECT_EQ(n->second->parent, n);
    }
    CheckHeights(n->first);
    CheckHeights(n->second);
}

}  // namespace

TEST(SortedTree, RebuildsBalancedWithTheMiddleKeyAtTheRoot) {
    std::vector<Route> routes;
    routes.reserve(16);  // keys point into the elements: no reallocation
    for (const char16_t* k : {u"a", u"b", u"c", u"d", u"e", u"f", u"g"}) routes.emplace_back(k);
    LSortedTree tree;
    for (auto& r : routes) tree.Insert(&r);  // ascending: a chain
    EXPECT_EQ(tree.root->height, 7u);
    CheckHeights(tree.root);

    ASSERT_TRUE(tree.Rebalance());
    EXPECT_EQ(tree.count, 7u);
    EXPECT_EQ(std::u16string(tree.root->key), u"d");
    EXPECT_EQ(tree.root->height, 3u);
    EXPECT_EQ(tree.root->parent, nullptr);
    EXPECT_EQ(std::u16string(tree.root->first->key), u"f");  // greater keys first
    CheckHeights(tree.root);
    for (auto& r : routes) EXPECT_EQ(Lookup(tree, r.key), &r);
    EXPECT_EQ(Lookup(tree, u"h"), nullptr);
}

TEST(SortedTree, RebuildsOneSubtreeInPlace) {
    std::vector<Route> routes;
    routes.reserve(16);  // keys point into the elements: no reallocation
    for (const char16_t* k : {u"m", u"a", u"b", u"c", u"d", u"e", u"z"}) routes.emplace_back(k);
    LSortedTree tree;
    for (auto& r : routes) tree.Insert(&r);
    LSortedTreeNode* chain = tree.root->second;  // a..e, a chain below "m"
    ASSERT_EQ(std::u16string(chain->key), u"a");
    ASSERT_TRUE(tree.Rebalance(chain));
    EXPECT_EQ(tree.count, 7u);
    EXPECT_EQ(std::u16string(tree.root->key), u"m");
    EXPECT_EQ(std::u16string(tree.root->second->key), u"c");
    EXPECT_EQ(tree.root->second->parent, tree.root);
    EXPECT_EQ(tree.root->second->height, 3u);
    for (auto& r : routes) EXPECT_EQ(Lookup(tree, r.key), &r);
    LSortedTree::UpdateHeights(tree.root->second);
    CheckHeights(tree.root);

    LSortedTree empty;
    EXPECT_TRUE(empty.RebalanceWithHeights());
    EXPECT_EQ(empty.root, nullptr);
}

TEST(SortedTree, EqualKeysGoToTheSecondSide) {
    Route a(u"k"), b(u"k"), c(u"k");
    LSortedTree tree;
    tree.Insert(&a);
    tree.Insert(&b);
    tree.Insert(&c);
    EXPECT_EQ(a.second, &b);
    EXPECT_EQ(b.second, &c);
    // Equal keys cannot spread to both sides: the rebuild keeps a chain.
    ASSERT_TRUE(tree.Rebalance());
    EXPECT_EQ(tree.root, &b);
    EXPECT_EQ(tree.count, 3u);
    CheckHeights(tree.root);
}

TEST(Arrays, GrowAsTheirRulesSay) {
    LUIntArray u;
    for (uint32_t i = 0; i < 5; ++i) ASSERT_TRUE(u.Push(i * 10));
    EXPECT_EQ(u.count, 5u);
    EXPECT_EQ(u.capacity, 8u);  // 1, 2, 4, 8
    EXPECT_EQ(u.items[4], 40u);

    LPtrArray p;
    ASSERT_TRUE(p.Resize(3));
    EXPECT_EQ(p.capacity, 3u);
    p.items[2] = &u;
    ASSERT_TRUE(p.Resize(4));
    EXPECT_EQ(p.capacity, 6u);
    EXPECT_EQ(p.items[2], &u);
    EXPECT_EQ(p.items[3], nullptr);
    ASSERT_TRUE(p.Resize(1));
    EXPECT_EQ(p.count, 1u);

    LPairArray q;
    ASSERT_TRUE(q.Resize(4));
    EXPECT_EQ(q.capacity, 4u);
    EXPECT_EQ(q.items[3].second, 0u);
    q.count = 4;
    q.items[1] = {7, 8};
    ASSERT_TRUE(q.Resize(2));
    EXPECT_EQ(q.capacity, 2u);
    EXPECT_EQ(q.count, 2u);
    EXPECT_EQ(q.items[1].second, 8u);
}
