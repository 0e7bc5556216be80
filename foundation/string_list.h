#pragma once
// A list of owned texts that is at the same time a null-terminated array of
// text pointers (for code that walks such arrays, and for the constant lists
// of the program). One list holds one kind of text: wide or narrow, as the
// first adder chose.
#include <cstdint>

class LStringList {
public:
    void** items = nullptr;  // count item pointers, then a null pointer
    uint64_t count = 0;
    uint64_t capacity = 0;   // item slots, the null slot excluded

    LStringList() { Init(); }
    LStringList(const LStringList&) = delete;
    LStringList& operator=(const LStringList&) = delete;
    ~LStringList() { Free(); }

    // An empty list with 256 slots (capacity 0 when that cannot be had).
    void Init();
    // An empty item of room for n units or bytes and a terminator, appended;
    // null (nothing appended) when memory is exhausted.
    char16_t* NewItemW(uint64_t n);
    char* NewItemA(uint64_t n);
    bool AddW(const char16_t* text);
    bool AddA(const char* text);
    // Index of the first item equal to the text, or -1.
    int64_t FindW(const char16_t* text) const;
    int64_t FindA(const char* text) const;
    // True when the text equals one of a null-terminated array's texts.
    static bool Contains(const char16_t* const* items, const char16_t* text);

    const char16_t* ItemW(uint64_t i) const { return static_cast<const char16_t*>(items[i]); }
    const char* ItemA(uint64_t i) const { return static_cast<const char*>(items[i]); }
    const char16_t* const* ItemsW() const { return reinterpret_cast<const char16_t* const*>(items); }

    // Releases every item; the array stays.
    void Clear();
    // Releases every item and the array.
    void Free();

private:
    void* NewItem(uint64_t bytes);
};
