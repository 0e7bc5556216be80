#include "foundation/containers.h"

#include <cstdlib>
#include <cstring>

namespace {

int LCompareUnits(const char16_t* a, const char16_t* b) {
    for (; *a && *a == *b; ++a, ++b) {
    }
    return *a == *b ? 0 : (static_cast<uint16_t>(*a) < static_cast<uint16_t>(*b) ? -1 : 1);
}

}  // namespace

// ---- sorted tree ----

void LSortedTree::Insert(LSortedTreeNode* node, LSortedTreeNode* start) {
    node->first = node->second = node->parent = nullptr;
    node->height = 1;
    ++count;
    LSortedTreeNode* at = start ? start : root;
    if (!at) {
        root = node;
        return;
    }
    for (;;) {
        bool greater = LCompareUnits(node->key, at->key) > 0;
        LSortedTreeNode*& link = greater ? at->first : at->second;
        if (!link) {
            link = node;
            node->parent = at;
            break;
        }
        at = link;
    }
    for (LSortedTreeNode *child = node, *up = node->parent; up && up->height < child->height + 1;
         child = up, up = up->parent)
        up->height = child->height + 1;
}

void LSortedTree::UpdateHeights(LSortedTreeNode* node) {
    for (; node; node = node->parent) {
        uint64_t a = node->first ? node->first->height : 0;
        uint64_t b = node->second ? node->second->height : 0;
        node->height = (a > b ? a : b) + 1;
    }
}

void LSortedTree::BuildBalanced(LSortedTreeNode* start, LSortedTreeNode** nodes, int64_t lo, int64_t hi) {
    for (;;) {
        int64_t mid = lo + (hi - lo) / 2;
        Insert(nodes[mid], start);
        if (lo < mid) BuildBalanced(start, nodes, lo, mid - 1);
        if (mid >= hi) break;
        lo = mid + 1;
    }
}

namespace {

uint64_t CountNodes(const LSortedTreeNode* n) {
    uint64_t c = 0;
    // The tree may be degenerate (insertion order): no recursion on its depth.
    for (; n; n = n->second) c += 1 + CountNodes(n->first);
    return c;
}

// In-order: first subtree, node, second subtree.
void Collect(LSortedTreeNode* n, LSortedTreeNode** out, uint64_t& at) {
    for (; n; n = n->second) {
        Collect(n->first, out, at);
        out[at++] = n;
    }
}

}  // namespace

bool LSortedTree::Rebalance(LSortedTreeNode* subtree) {
    if (subtree) UpdateHeights(subtree);
    LSortedTreeNode* top = subtree ? subtree : root;
    if (!top) return true;
    uint64_t n = CountNodes(top);
    auto** nodes = static_cast<LSortedTreeNode**>(std::malloc(n * sizeof(LSortedTreeNode*)));
    if (!nodes) return false;
    uint64_t at = 0;
    Collect(top, nodes, at);

    LSortedTreeNode* parent = top->parent;
    if (!parent)
        root = nullptr;
    else if (parent->first == top)
        parent->first = nullptr;
    else
        parent->second = nullptr;
    for (uint64_t i = 0; i < n; ++i) {
        nodes[i]->first = nodes[i]->second = nodes[i]->parent = nullptr;
        nodes[i]->height = 0;
    }
    uint64_t saved = count;
    BuildBalanced(parent, nodes, 0, static_cast<int64_t>(n) - 1);
    count = saved;
    std::free(nodes);
    return true;
}

// ---- arrays ----

LUIntArray::~LUIntArray() { std::free(items); }

bool LUIntArray::Push(uint32_t value) {
    if (count >= capacity) {
        uint64_t cap = capacity * 2 > count + 1 ? capacity * 2 : count + 1;
        auto* grown = static_cast<uint32_t*>(std::realloc(items, cap * sizeof(uint32_t)));
        if (!grown) return false;
        items = grown;
        capacity = cap;
    }
    items[count++] = value;
    return true;
}

LPtrArray::~LPtrArray() { std::free(items); }

bool LPtrArray::Resize(uint64_t n) {
    if (n > capacity) {
        uint64_t cap = capacity * 2 > n ? capacity * 2 : n;
        auto** grown = static_cast<void**>(std::realloc(items, cap * sizeof(void*)));
        if (!grown) return false;
        items = grown;
        capacity = cap;
    }
    for (uint64_t i = count; i < n; ++i) items[i] = nullptr;
    count = n;
    return true;
}

LPairArray::~LPairArray() { std::free(items); }

bool LPairArray::Resize(uint64_t n) {
    auto* fresh = static_cast<LPairItem*>(std::calloc(n ? n : 1, sizeof(LPairItem)));
    if (!fresh) return false;
    uint64_t keep = count < n ? count : n;
    if (keep) std::memcpy(fresh, items, keep * sizeof(LPairItem));
    std::free(items);
    items = fresh;
    count = keep;
    capacity = n;
    return true;
}
