#include "foundation/string_map.h"

#include <new>

#include "foundation/format.h"

int LCompareExact(const char16_t* a, uint64_t na, const char16_t* b, uint64_t nb) {
    uint64_t n = na < nb ? na : nb;
    for (uint64_t i = 0; i < n; ++i)
        if (a[i] != b[i]) return a[i] < b[i] ? -1 : 1;
    return na == nb ? 0 : (na < nb ? -1 : 1);
}

int LCompareNoCase(const char16_t* a, uint64_t na, const char16_t* b, uint64_t nb) {
    auto fold = [](char16_t c) { return c >= u'A' && c <= u'Z' ? char16_t(c + 32) : c; };
    uint64_t n = na < nb ? na : nb;
    for (uint64_t i = 0; i < n; ++i) {
        char16_t x = fold(a[i]), y = fold(b[i]);
        if (x != y) return x < y ? -1 : 1;
    }
    return na == nb ? 0 : (na < nb ? -1 : 1);
}

LStringMap& LStringMap::operator=(LStringMap&& o) noexcept {
    if (this != &o) {
        Clear();
        root = o.root;
        o.root = nullptr;
    }
    return *this;
}

LStringMapNode* LStringMap::NewNode(const char16_t* key, const char16_t* value) {
    auto* node = new (std::nothrow) LStringMapNode;
    if (!node) return nullptr;
    node->key.InitText(key ? key : u"");
    if (value) {
        node->value = new (std::nothrow) LString;
        if (node->value) node->value->InitText(value);
    }
    return node;
}

void LStringMap::FreeSubtree(LStringMapNode* node) {
    // Iterative on the left spine, so a long chain cannot exhaust the stack.
    while (node) {
        FreeSubtree(node->right);
        LStringMapNode* left = node->left;
        delete node->value;
        delete node;
        node = left;
    }
}

void LStringMap::RotateLeft(LStringMapNode* x) {
    LStringMapNode* y = x->right;
    x->right = y->left;
    if (y->left) y->left->parent = x;
    y->parent = x->parent;
    if (!x->parent)
        root = y;
    else if (x == x->parent->left)
        x->parent->left = y;
    else
        x->parent->right = y;
    y->left = x;
    x->parent = y;
}

void LStringMap::RotateRight(LStringMapNode* x) {
    LStringMapNode* y = x->left;
    x->left = y->right;
    if (y->right) y->right->parent = x;
    y->parent = x->parent;
    if (!x->parent)
        root = y;
    else if (x == x->parent->right)
        x->parent->right = y;
    else
        x->parent->left = y;
    y->right = x;
    x->parent = y;
}

void LStringMap::Rebalance(LStringMapNode* node) {
    while (node != root && node->parent->colour == 1) {
        LStringMapNode* parent = node->parent;
        LStringMapNode* grand = parent->parent;  // exists: a red parent is never the root
        bool parentIsLeft = parent == grand->left;
        LStringMapNode* uncle = parentIsLeft ? grand->right : grand->left;
        if (uncle && uncle->colour == 1) {
            parent->colour = 0;
            uncle->colour = 0;
            grand->colour = 1;
            node = grand;
            continue;
        }
        if (parentIsLeft) {
            if (node == parent->right) {
                node = parent;
                RotateLeft(node);
            }
            node->parent->colour = 0;
            grand->colour = 1;
            RotateRight(grand);
        } else {
            if (node == parent->left) {
                node = parent;
                RotateRight(node);
            }
            node->parent->colour = 0;
            grand->colour = 1;
            RotateLeft(grand);
        }
    }
    root->colour = 0;
    root->parent = nullptr;
}

void LStringMap::Insert(LStringMapNode* node, Compare cmp) {
    node->left = node->right = node->parent = nullptr;
    node->colour = 1;
    LStringMapNode* parent = nullptr;
    bool left = false;
    for (LStringMapNode* at = root; at;) {
        parent = at;
        left = cmp(node->key.c_str(), node->key.length, at->key.c_str(), at->key.length) < 0;
        at = left ? at->left : at->right;
    }
    node->parent = parent;
    if (!parent)
        root = node;
    else if (left)
        parent->left = node;
    else
        parent->right = node;
    Rebalance(node);
}

bool LStringMap::AddPair(LStringMapNode* node) {
    if (!node) return false;
    Insert(node, LCompareExact);
    return true;
}

bool LStringMap::AddPairNoCase(const char16_t* key, LString& value) {
    auto* node = new (std::nothrow) LStringMapNode;
    if (!node) return false;
    node->value = new (std::nothrow) LString;
    if (!node->value) {
        delete node;
        return false;
    }
    node->key.InitText(key ? key : u"");
    node->value->Adopt(value);
    Insert(node, LCompareNoCase);
    return true;
}

bool LStringMap::Set(const char16_t* key, const char16_t* value) {
    if (!key) key = u"";
    uint64_t n = LTextLength(key);
    for (LStringMapNode* at = root; at;) {
        int c = LCompareExact(key, n, at->key.c_str(), at->key.length);
        if (c == 0) {
            if (!value) {
                delete at->value;
                at->value = nullptr;
                return true;
            }
            if (!at->value) at->value = new (std::nothrow) LString;
            if (!at->value) return false;
            at->value->Assign(value);
            return true;
        }
        at = c < 0 ? at->left : at->right;
    }
    return AddPair(NewNode(key, value));
}

LStringMapNode* LStringMap::Lookup(const char16_t* key, Compare cmp) const {
    if (!key) key = u"";
    uint64_t n = LTextLength(key);
    for (LStringMapNode* at = root; at;) {
        int c = cmp(key, n, at->key.c_str(), at->key.length);
        if (c == 0) return at;
        at = c < 0 ? at->left : at->right;
    }
    return nullptr;
}

LString* LStringMap::Find(const char16_t* key) const {
    LStringMapNode* n = Lookup(key, LCompareExact);
    return n ? n->value : nullptr;
}

LString* LStringMap::FindNoCase(const char16_t* key) const {
    LStringMapNode* n = Lookup(key, LCompareNoCase);
    return n ? n->value : nullptr;
}

const char16_t* LStringMap::GetText(const char16_t* key, const char16_t* defaultText) const {
    LString* v = Find(key);
    if (!v) return defaultText;
    return v->c_str();
}

LStringMapNode* LStringMap::First() const {
    LStringMapNode* n = root;
    while (n && n->left) n = n->left;
    return n;
}

LStringMapNode* LStringMap::Next(LStringMapNode* node) {
    if (node->right) {
        node = node->right;
        while (node->left) node = node->left;
        return node;
    }
    while (node->parent && node == node->parent->right) node = node->parent;
    return node->parent;
}

void LStringMap::ToUrlEncodedForm(LString& out) const {
    out.Clear();
    out.Reserve(LStringMinCapacity);
    bool first = true;
    ForEach([&](const LStringMapNode& n) {
        if (!first) out.AppendChar(u'&');
        first = false;
        LAppendUrlEncodedW(out, n.key.c_str());
        out.AppendChar(u'=');
        if (n.value) LAppendUrlEncodedW(out, n.value->c_str());
    });
}
