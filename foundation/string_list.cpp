#include "foundation/string_list.h"

#include <cstdlib>
#include <cstring>

#include "foundation/lstring.h"

namespace {

template <class Ch>
bool SameText(const Ch* a, const Ch* b) {
    while (*a && *a == *b) ++a, ++b;
    return *a == *b;
}

}  // namespace

void LStringList::Init() {
    items = static_cast<void**>(std::malloc(256 * sizeof(void*)));
    count = 0;
    capacity = items ? 255 : 0;
    if (items) items[0] = nullptr;
}

void* LStringList::NewItem(uint64_t bytes) {
    if (count >= capacity) {
        uint64_t cap = capacity * 8 + 7;
        void** grown = static_cast<void**>(std::realloc(items, (cap + 1) * sizeof(void*)));
        if (!grown) return nullptr;
        items = grown;
        capacity = cap;
        items[count] = nullptr;
    }
    void* item = std::calloc(1, bytes);
    if (!item) return nullptr;
    items[count++] = item;
    items[count] = nullptr;
    return item;
}

char16_t* LStringList::NewItemW(uint64_t n) { return static_cast<char16_t*>(NewItem((n + 1) * sizeof(char16_t))); }
char* LStringList::NewItemA(uint64_t n) { return static_cast<char*>(NewItem(n + 1)); }

bool LStringList::AddW(const char16_t* text) {
    uint64_t n = LTextLength(text);
    char16_t* item = NewItemW(n);
    if (!item) return false;
    if (n) std::memcpy(item, text, n * sizeof(char16_t));
    return true;
}

bool LStringList::AddA(const char* text) {
    uint64_t n = LTextLength(text);
    char* item = NewItemA(n);
    if (!item) return false;
    if (n) std::memcpy(item, text, n);
    return true;
}

int64_t LStringList::FindW(const char16_t* text) const {
    if (!text) return -1;
    for (uint64_t i = 0; i < count; ++i)
        if (SameText(ItemW(i), text)) return static_cast<int64_t>(i);
    return -1;
}

int64_t LStringList::FindA(const char* text) const {
    if (!text) return -1;
    for (uint64_t i = 0; i < count; ++i)
        if (SameText(ItemA(i), text)) return static_cast<int64_t>(i);
    return -1;
}

bool LStringList::Contains(const char16_t* const* list, const char16_t* text) {
    if (!list || !text) return false;
    for (; *list; ++list)
        if (SameText(*list, text)) return true;
    return false;
}

void LStringList::Clear() {
    for (uint64_t i = 0; i < count; ++i) std::free(items[i]);
    count = 0;
    if (items) items[0] = nullptr;
}

void LStringList::Free() {
    Clear();
    std::free(items);
    items = nullptr;
    capacity = 0;
}
