#pragma once
// Small containers: the search tree of the route tables, rebuilt fully
// balanced on request; three growable arrays; and the release of the
// notification record list.
#include <cstdint>

#include "foundation/lstring.h"

// The head of every node of a sorted tree; route records continue it. Keys
// greater than a node's key lie in its first subtree, keys less or equal in
// its second. A lookup must descend the same way.
struct LSortedTreeNode {
    LSortedTreeNode* first = nullptr;
    LSortedTreeNode* second = nullptr;
    LSortedTreeNode* parent = nullptr;
    uint64_t height = 0;  // of the node's subtree; a leaf has 1
    const char16_t* key = nullptr;
};

class LSortedTree {
public:
    LSortedTreeNode* root = nullptr;
    uint64_t count = 0;

    // Attaches the node below start (or from the root) by key and raises
    // the stored heights above it.
    void Insert(LSortedTreeNode* node, LSortedTreeNode* start = nullptr);
    // Rebuilds a subtree (or the whole tree for null) fully balanced.
    // False when the node array cannot be allocated (tree unchanged).
    bool Rebalance(LSortedTreeNode* subtree = nullptr);
    // Inserts nodes[lo..hi] (sorted) middle first, below start.
    void BuildBalanced(LSortedTreeNode* start, LSortedTreeNode** nodes, int64_t lo, int64_t hi);
    // Recomputes heights from the node up its parent chain.
    static void UpdateHeights(LSortedTreeNode* node);

    // The second route type shares the node head, so the same code serves it.
    bool RebalanceWithHeights(LSortedTreeNode* subtree = nullptr) { return Rebalance(subtree); }
    void BuildBalancedWithHeights(LSortedTreeNode* start, LSortedTreeNode** nodes, int64_t lo, int64_t hi) {
        BuildBalanced(start, nodes, lo, hi);
    }
};

// Unsigned 32-bit items.
struct LUIntArray {
    uint32_t* items = nullptr;
    uint64_t count = 0;
    uint64_t capacity = 0;
    LUIntArray() = default;
    LUIntArray(const LUIntArray&) = delete;
    LUIntArray& operator=(const LUIntArray&) = delete;
    ~LUIntArray();
    // Grows to max(2 x capacity, count + 1); false when memory is exhausted.
    bool Push(uint32_t value);
};

struct LPtrArray {
    void** items = nullptr;
    uint64_t count = 0;
    uint64_t capacity = 0;
    LPtrArray() = default;
    LPtrArray(const LPtrArray&) = delete;
    LPtrArray& operator=(const LPtrArray&) = delete;
    ~LPtrArray();
    // Count n, growing to max(2 x capacity, n) first; new items are null.
    bool Resize(uint64_t n);
};

struct LPairItem {
    uint64_t first;
    uint64_t second;
};

struct LPairArray {
    LPairItem* items = nullptr;
    uint64_t count = 0;
    uint64_t capacity = 0;
    LPairArray() = default;
    LPairArray(const LPairArray&) = delete;
    LPairArray& operator=(const LPairArray&) = delete;
    ~LPairArray();
    // Capacity exactly n, zeroed, keeping min(count, n) items.
    bool Resize(uint64_t n);
};

// The notification list (LPushNotificationData, LNotificationListFree)
// lives with the maker's notices in setup/push_notifications.h.
