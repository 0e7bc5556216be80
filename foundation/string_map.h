#pragma once
// An ordered string-to-string map on a red-black tree: request headers,
// query and form fields, cookies, parameters. A map is ordered either
// exactly (unsigned UTF-16 units) or without regard to ASCII case, never
// mixed. With duplicates, an equal key goes after the ones already there,
// and a lookup returns the first equal key met from the root down.
#include <cstdint>

#include "foundation/lstring.h"

struct LStringMapNode {
    LString key;
    LString* value = nullptr;  // owned; may be null
    uint8_t colour = 1;        // 1 red, 0 black
    LStringMapNode* left = nullptr;
    LStringMapNode* right = nullptr;
    LStringMapNode* parent = nullptr;
};

class LStringMap {
public:
    LStringMapNode* root = nullptr;

    LStringMap() = default;
    LStringMap(const LStringMap&) = delete;
    LStringMap& operator=(const LStringMap&) = delete;
    LStringMap(LStringMap&& o) noexcept : root(o.root) { o.root = nullptr; }
    LStringMap& operator=(LStringMap&& o) noexcept;
    ~LStringMap() { Clear(); }

    // A node with copies of key and value (a null value stays null); null
    // when memory is exhausted.
    static LStringMapNode* NewNode(const char16_t* key, const char16_t* value);

    // Exact order: replaces the value of an equal key, else inserts.
    bool Set(const char16_t* key, const char16_t* value);
    // Exact order: inserts a prepared node, keeping equal keys (false and
    // nothing inserted for a null node).
    bool AddPair(LStringMapNode* node);
    bool AddPair(const char16_t* key, const char16_t* value) { return AddPair(NewNode(key, value)); }
    // Case-insensitive order: the key is copied, the value taken over
    // (value is left empty).
    bool AddPairNoCase(const char16_t* key, LString& value);

    LString* Find(const char16_t* key) const;
    LString* FindNoCase(const char16_t* key) const;
    // The value's text, the empty text for a value without buffer, or
    // the caller's default when the key is missing or has no value.
    const char16_t* GetText(const char16_t* key, const char16_t* defaultText) const;

    // "key=value&..." in key order, both sides %U-encoded; out is cleared.
    void ToUrlEncodedForm(LString& out) const;

    // In key order.
    template <class F>
    void ForEach(F&& f) const {
        for (LStringMapNode* n = First(); n; n = Next(n)) f(*n);
    }
    LStringMapNode* First() const;
    static LStringMapNode* Next(LStringMapNode* node);

    void Clear() {
        FreeSubtree(root);
        root = nullptr;
    }
    static void FreeSubtree(LStringMapNode* node);
    // Red-black repair after the node was attached as a red leaf.
    void Rebalance(LStringMapNode* node);

private:
    using Compare = int (*)(const char16_t*, uint64_t, const char16_t*, uint64_t);
    void Insert(LStringMapNode* node, Compare cmp);
    LStringMapNode* Lookup(const char16_t* key, Compare cmp) const;
    void RotateLeft(LStringMapNode* x);
    void RotateRight(LStringMapNode* x);
};

// Code-unit order, and the ASCII case-folding order of the C runtime's
// case-insensitive comparison; <0, 0, >0.
int LCompareExact(const char16_t* a, uint64_t na, const char16_t* b, uint64_t nb);
int LCompareNoCase(const char16_t* a, uint64_t na, const char16_t* b, uint64_t nb);
