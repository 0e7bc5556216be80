#include "foundation/lstring.h"

#include <algorithm>
#include <cstdlib>

#include "foundation/system_memory.h"

void* LAllocChecked(size_t n) {
    if (n > LAllocCheckedThreshold) {
        uint64_t avail = LGetAvailableMemory();
        if (avail && n > avail / 2) return nullptr;
    }
    return std::malloc(n ? n : 1);
}

LFormatArg::LFormatArg(const LTextBuffer<char>& v) : kind(Kind::Narrow), a(v.c_str()), n(v.length) {}
LFormatArg::LFormatArg(const LTextBuffer<char16_t>& v) : kind(Kind::Wide), w(v.c_str()), n(v.length) {}

template <class Ch>
void LTextBuffer<Ch>::Free() {
    std::free(buffer);
    buffer = nullptr;
    length = capacity = 0;
}

template <class Ch>
void LTextBuffer<Ch>::InitText(const Ch* text) {
    InitTextMax(text, LTextLength(text));
    if (text && !buffer) {  // an empty text still owns a one-unit buffer
        buffer = static_cast<Ch*>(std::malloc(sizeof(Ch)));
        if (buffer) {
            buffer[0] = 0;
            capacity = 1;
        }
    }
}

template <class Ch>
void LTextBuffer<Ch>::InitTextMax(const Ch* text, uint64_t n) {
    Free();
    if (!text || n == 0) return;
    uint64_t len = 0;
    while (len < n && text[len]) ++len;
    if (len == 0) return;
    buffer = static_cast<Ch*>(std::malloc((len + 1) * sizeof(Ch)));
    if (!buffer) return;
    std::memcpy(buffer, text, len * sizeof(Ch));
    buffer[len] = 0;
    length = len;
    capacity = len + 1;
}

template <class Ch>
void LTextBuffer<Ch>::InitCopy(const LTextBuffer& other) {
    if (&other == this) return;
    Free();
    if (!other.buffer) return;
    buffer = static_cast<Ch*>(std::malloc((other.length + 1) * sizeof(Ch)));
    if (!buffer) return;
    std::memcpy(buffer, other.buffer, other.length * sizeof(Ch));
    buffer[other.length] = 0;
    length = other.length;
    capacity = other.length + 1;
}

template <class Ch>
void LTextBuffer<Ch>::InitReserve(uint64_t n) {
    Free();
    if (n == 0) return;
    buffer = static_cast<Ch*>(std::malloc(n * sizeof(Ch)));
    if (!buffer) return;
    buffer[0] = 0;
    capacity = n;
}

template <class Ch>
void LTextBuffer<Ch>::Assign(const Ch* text) {
    if (text >= buffer && text < buffer + capacity && buffer) {
        LTextBuffer copy(text);  // the text lives in our own buffer
        Adopt(copy);
        return;
    }
    InitText(text);
}

template <class Ch>
void LTextBuffer<Ch>::AssignString(const LTextBuffer& other) {
    if (&other == this) return;
    if (!other.buffer || other.length == 0) {
        Free();
        return;
    }
    InitCopy(other);
}

template <class Ch>
void LTextBuffer<Ch>::Adopt(LTextBuffer& other) {
    if (&other == this) return;
    Free();
    Take(other);
}

template <class Ch>
bool LTextBuffer<Ch>::Reserve(uint64_t n) {
    if (capacity >= n) return true;
    Ch* p = static_cast<Ch*>(std::realloc(buffer, n * sizeof(Ch)));
    if (!p) return false;
    if (!buffer) p[0] = 0;
    buffer = p;
    capacity = n;
    buffer[length] = 0;
    return true;
}

template <class Ch>
void LTextBuffer<Ch>::AppendChar(Ch unit) {
    AppendN(&unit, 1);
}

template <class Ch>
void LTextBuffer<Ch>::AppendN(const Ch* p, uint64_t n) {
    if (!p || n == 0) {
        if (!buffer) Reserve(1);
        return;
    }
    uint64_t need = length + n + 1;
    if (capacity < need) {
        // The source may live inside our own buffer.
        if (p >= buffer && p < buffer + capacity && buffer) {
            LTextBuffer tmp;
            tmp.AppendN(p, n);
            if (!tmp.buffer) return;
            AppendN(tmp.buffer, tmp.length);
            return;
        }
        if (!Reserve(std::max(LStringMinCapacity, capacity + need))) return;
    }
    std::memmove(buffer + length, p, n * sizeof(Ch));
    length += n;
    buffer[length] = 0;
}

template <class Ch>
bool LTextBuffer<Ch>::AppendBulk(const Ch* p, uint64_t n) {
    if (n == 0) return true;
    uint64_t need = length + n + 1;
    if (need >= capacity) {
        if (capacity > LStringMaxCapacity) return false;
        // Start from the minimum: four times an empty capacity would stay 0.
        uint64_t cap = std::max(capacity * 4, LStringMinCapacity);
        while (cap < need) cap *= 2;
        if (p >= buffer && p < buffer + capacity && buffer) {
            LTextBuffer tmp;
            if (!tmp.AppendBulk(p, n)) return false;
            return AppendBulk(tmp.buffer, tmp.length);
        }
        if (!Reserve(cap)) return false;
    }
    std::memcpy(buffer + length, p, n * sizeof(Ch));
    length += n;
    return true;
}

template <class Ch>
void LTextBuffer<Ch>::PutUnitSlow(Ch unit) {
    if (capacity == 0) {
        if (!Reserve(LStringMinCapacity)) return;
        buffer[length++] = unit;
        return;
    }
    // length + 1 == capacity: the unit fits, but the terminator would not.
    if (capacity > LStringMaxCapacity || !Reserve(capacity * 4)) return;
    buffer[length++] = unit;
}

template class LTextBuffer<char16_t>;
template class LTextBuffer<char>;

// ---- LByteBuffer ----

LByteBuffer& LByteBuffer::operator=(LByteBuffer&& o) noexcept {
    if (this != &o) {
        Free();
        buffer = o.buffer;
        length = o.length;
        capacity = o.capacity;
        o.buffer = nullptr;
        o.length = o.capacity = 0;
    }
    return *this;
}

void LByteBuffer::Free() {
    std::free(buffer);
    buffer = nullptr;
    length = capacity = 0;
}

bool LByteBuffer::Reserve(uint64_t n) {
    void* p = LAllocChecked(n);
    if (!p) {
        Free();
        return false;
    }
    uint64_t keep = std::min(length, n);
    if (keep) std::memcpy(p, buffer, keep);
    std::free(buffer);
    buffer = static_cast<uint8_t*>(p);
    length = keep;
    capacity = n;
    return true;
}

bool LByteBuffer::Grow(uint64_t n, bool checked) {
    if (capacity >= n) return true;
    uint64_t want = std::max(capacity * 2, n);
    if (checked) return Reserve(want);
    void* p = std::realloc(buffer, want ? want : 1);
    if (!p) {
        Free();
        return false;
    }
    buffer = static_cast<uint8_t*>(p);
    capacity = want;
    return true;
}

void LByteBuffer::Resize(uint64_t n) {
    if (n == length) return;
    if (!Grow(n, true)) return;
    length = buffer ? n : 0;
}

void LByteBuffer::SetLength(uint64_t n) {
    if (n == length) return;
    if (!Grow(n, false)) return;
    length = buffer ? n : 0;
}

bool LByteBuffer::Append(const void* p, uint64_t n) {
    if (n == 0) return true;
    uint64_t old = length;
    if (capacity < old + n) {
        // Keep the contents when the allocation fails.
        uint64_t want = std::max(capacity * 2, old + n);
        void* q = std::realloc(buffer, want);
        if (!q) return false;
        buffer = static_cast<uint8_t*>(q);
        capacity = want;
    }
    std::memcpy(buffer + old, p, n);
    length = old + n;
    return true;
}

LHeapBlock::~LHeapBlock() { std::free(block); }

void* LHeapBlock::Reallocate(size_t n) {
    std::free(block);
    block = LAllocChecked(n);
    return block;
}
