#pragma once
// The three growable buffers that hold every text of the program:
// LString (UTF-16 units), LStringA (bytes, UTF-8 by convention) and
// LByteBuffer (raw bytes, no terminator). Allocation may fail: every growth
// path tolerates it and leaves the string valid, only shorter.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "foundation/format_args.h"

constexpr uint64_t LStringMinCapacity = 260;
constexpr uint64_t LStringMaxCapacity = uint64_t(1) << 29;
constexpr size_t LAllocCheckedThreshold = 1000000;

// The guarded allocation for buffers that may become large: null when more
// than a million bytes are asked and that is over half the available memory.
void* LAllocChecked(size_t n);

// Length of a terminated text of either width; 0 for null.
template <class Ch>
inline size_t LTextLength(const Ch* s) {
    if (!s) return 0;
    const Ch* p = s;
    while (*p) ++p;
    return static_cast<size_t>(p - s);
}

template <class Ch>
class LTextBuffer {
public:
    Ch* buffer = nullptr;
    uint64_t length = 0;
    uint64_t capacity = 0;

    LTextBuffer() = default;
    explicit LTextBuffer(const Ch* text) { InitText(text); }
    LTextBuffer(const LTextBuffer& other) { InitCopy(other); }
    LTextBuffer(LTextBuffer&& other) noexcept { Take(other); }
    LTextBuffer& operator=(const LTextBuffer& other) {
        if (this != &other) AssignString(other);
        return *this;
    }
    LTextBuffer& operator=(LTextBuffer&& other) noexcept {
        if (this != &other) Adopt(other);
        return *this;
    }
    ~LTextBuffer() { Free(); }

    // Construction and assignment.
    void InitText(const Ch* text);
    void InitTextMax(const Ch* text, uint64_t n);
    void InitCopy(const LTextBuffer& other);
    void InitReserve(uint64_t n);
    void Copy(const LTextBuffer& other) { InitCopy(other); }
    void Assign(const Ch* text);
    void AssignString(const LTextBuffer& other);
    void Adopt(LTextBuffer& other);

    // Exactly n units when capacity < n; false (string untouched) on failure.
    bool Reserve(uint64_t n);

    // Rule A appends.
    void AppendChar(Ch unit);
    void AppendN(const Ch* p, uint64_t n);
    void Append(const Ch* text) { AppendN(text, LTextLength(text)); }
    void AppendString(const LTextBuffer& other) { AppendN(other.buffer, other.length); }
    void AppendView(std::basic_string_view<Ch> v) { AppendN(v.data(), v.size()); }

    // Rule C: bulk append that doubles until the block fits; no terminator is
    // promised beyond what Terminate writes.
    bool AppendBulk(const Ch* p, uint64_t n);

    // Rule B: one unit through the format engines; the unit is dropped when
    // the string cannot grow. Call Terminate when done.
    void PutUnit(Ch unit) {
        if (length + 1 < capacity) {
            buffer[length++] = unit;
            return;
        }
        PutUnitSlow(unit);
    }
    void Terminate() {
        if (buffer) buffer[length] = 0;
    }

    void Clear() {
        length = 0;
        Terminate();
    }
    void Truncate(uint64_t n) {
        if (n < length) {
            length = n;
            Terminate();
        }
    }

    const Ch* c_str() const {
        static const Ch empty[1] = {0};
        return buffer ? buffer : empty;
    }
    bool IsEmpty() const { return length == 0; }
    std::basic_string_view<Ch> View() const { return {c_str(), static_cast<size_t>(length)}; }

    void Free();

protected:
    void Take(LTextBuffer& other) {
        buffer = other.buffer;
        length = other.length;
        capacity = other.capacity;
        other.buffer = nullptr;
        other.length = other.capacity = 0;
    }
    void PutUnitSlow(Ch unit);
};

extern template class LTextBuffer<char16_t>;
extern template class LTextBuffer<char>;

class LString : public LTextBuffer<char16_t> {
public:
    using LTextBuffer::LTextBuffer;
    LString() = default;

    // printf-style formatting with the program's own escapes; returns the
    // new length. A null format leaves the empty string.
    template <class... A>
    uint64_t Format(const char16_t* fmt, const A&... a) {
        LFormatArgArray<sizeof...(A)> args{LFormatArg(a)...};
        return FormatArgs(fmt, args.data(), args.size());
    }
    template <class... A>
    uint64_t AppendFormat(const char16_t* fmt, const A&... a) {
        LFormatArgArray<sizeof...(A)> args{LFormatArg(a)...};
        return AppendFormatArgs(fmt, args.data(), args.size());
    }
    uint64_t FormatArgs(const char16_t* fmt, const LFormatArg* args, size_t n);
    uint64_t AppendFormatArgs(const char16_t* fmt, const LFormatArg* args, size_t n);

    // The string becomes the UTF-16 form of a UTF-8 text (invalid sequences
    // become U+FFFD).
    void SetUtf8(const char* utf8);
    void SetUtf8N(const char* utf8, size_t n);

    // Small text routines (text_scan.cpp).
    // Removes leading and trailing units 1 to 32 in place.
    void Trim();
    // The string becomes the units before the first stop unit (or the whole
    // text); returns how many were taken.
    uint64_t AssignUpTo(const char16_t* text, char16_t stop);
    // Replaces every occurrence left to right; replacements are not searched
    // again; an empty find text does nothing.
    void ReplaceAll(const char16_t* find, const char16_t* replacement);
};

class LStringA : public LTextBuffer<char> {
public:
    using LTextBuffer::LTextBuffer;
    LStringA() = default;
    explicit LStringA(std::string_view v) { AppendView(v); }

    template <class... A>
    uint64_t Format(const char* fmt, const A&... a) {
        LFormatArgArray<sizeof...(A)> args{LFormatArg(a)...};
        return FormatArgs(fmt, args.data(), args.size());
    }
    template <class... A>
    uint64_t AppendFormat(const char* fmt, const A&... a) {
        LFormatArgArray<sizeof...(A)> args{LFormatArg(a)...};
        return AppendFormatArgs(fmt, args.data(), args.size());
    }
    uint64_t FormatArgs(const char* fmt, const LFormatArg* args, size_t n);
    uint64_t AppendFormatArgs(const char* fmt, const LFormatArg* args, size_t n);

    // Raw bytes through the bulk rule, without a terminator.
    bool AppendBytes(const void* p, uint64_t n) { return AppendBulk(static_cast<const char*>(p), n); }
    // Exactly 4096 bytes, then the terminator.
    void AppendBlock(const char* p) { AppendN(p, 4096); }

    // The string becomes the UTF-8 form of n UTF-16 units.
    void SetUtf8FromWide(const char16_t* wide, size_t n);
    void SetUtf8FromWide(const char16_t* wide) { SetUtf8FromWide(wide, LTextLength(wide)); }

    std::string Str() const { return std::string(View()); }
};

// Raw bytes: no terminator, length may equal capacity.
class LByteBuffer {
public:
    uint8_t* buffer = nullptr;
    uint64_t length = 0;
    uint64_t capacity = 0;

    LByteBuffer() = default;
    LByteBuffer(const LByteBuffer&) = delete;
    LByteBuffer& operator=(const LByteBuffer&) = delete;
    LByteBuffer(LByteBuffer&& o) noexcept : buffer(o.buffer), length(o.length), capacity(o.capacity) {
        o.buffer = nullptr;
        o.length = o.capacity = 0;
    }
    LByteBuffer& operator=(LByteBuffer&& o) noexcept;
    ~LByteBuffer() { Free(); }

    // Exactly n bytes through LAllocChecked; on failure the buffer is empty.
    bool Reserve(uint64_t n);
    // Length n, growing to max(2 x capacity, n); length 0 when no room.
    void Resize(uint64_t n);
    // As Resize, with the plain allocation.
    void SetLength(uint64_t n);
    bool Append(const void* p, uint64_t n);
    void Free();

private:
    bool Grow(uint64_t n, bool checked);
};

// One owned heap block, replaced whole.
class LHeapBlock {
public:
    void* block = nullptr;
    LHeapBlock() = default;
    LHeapBlock(const LHeapBlock&) = delete;
    LHeapBlock& operator=(const LHeapBlock&) = delete;
    ~LHeapBlock();
    void* Reallocate(size_t n);
};

// UTF-16 <-> UTF-8 at the level every other module builds on.
void LStringAAppendWide(LStringA& out, const char16_t* wide, size_t n);
inline void LStringAAppendWide(LStringA& out, const char16_t* wide) { LStringAAppendWide(out, wide, LTextLength(wide)); }
void LStringAppendUtf8(LString& out, const char* utf8, size_t n);
// One UTF-16 unit as UTF-8 (a lone surrogate becomes U+FFFD).
void LAppendCharUTF8(LStringA& out, char16_t unit);

// Small conveniences for code that talks to the C and C++ libraries.
std::string LToUtf8(const char16_t* wide);
std::string LToUtf8(const LString& s);
LString LFromUtf8(std::string_view utf8);
