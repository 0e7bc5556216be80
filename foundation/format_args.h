#pragma once
// Tagged argument values for the format engines: each argument keeps the
// kind it had at the call, so an engine never reads a slot as something it
// is not (no va_list, whose slots differ between platforms).
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>

template <class Ch>
class LTextBuffer;

struct LFormatArg {
    enum class Kind : uint8_t { Null, Int, UInt, Double, Pointer, Narrow, Wide };
    Kind kind = Kind::Null;
    union {
        int64_t i;
        uint64_t u;
        double d;
        const void* p;
        const char* a;
        const char16_t* w;
    };
    // Texts carry their length so that views and buffers with inner NULs work.
    size_t n = 0;

    LFormatArg() : i(0) {}
    LFormatArg(std::nullptr_t) : i(0) {}
    LFormatArg(bool v) : kind(Kind::Int), i(v ? 1 : 0) {}
    LFormatArg(char v) : kind(Kind::Int), i(v) {}
    LFormatArg(char16_t v) : kind(Kind::UInt), u(v) {}
    LFormatArg(signed char v) : kind(Kind::Int), i(v) {}
    LFormatArg(unsigned char v) : kind(Kind::UInt), u(v) {}
    LFormatArg(short v) : kind(Kind::Int), i(v) {}
    LFormatArg(unsigned short v) : kind(Kind::UInt), u(v) {}
    LFormatArg(int v) : kind(Kind::Int), i(v) {}
    LFormatArg(unsigned v) : kind(Kind::UInt), u(v) {}
    LFormatArg(long v) : kind(Kind::Int), i(v) {}
    LFormatArg(unsigned long v) : kind(Kind::UInt), u(v) {}
    LFormatArg(long long v) : kind(Kind::Int), i(v) {}
    LFormatArg(unsigned long long v) : kind(Kind::UInt), u(v) {}
    LFormatArg(double v) : kind(Kind::Double), d(v) {}
    LFormatArg(float v) : kind(Kind::Double), d(v) {}
    LFormatArg(const char* v) : kind(v ? Kind::Narrow : Kind::Null), a(v), n(v ? std::char_traits<char>::length(v) : 0) {}
    LFormatArg(char* v) : LFormatArg(static_cast<const char*>(v)) {}
    LFormatArg(const char16_t* v)
        : kind(v ? Kind::Wide : Kind::Null), w(v), n(v ? std::char_traits<char16_t>::length(v) : 0) {}
    LFormatArg(char16_t* v) : LFormatArg(static_cast<const char16_t*>(v)) {}
    LFormatArg(std::string_view v) : kind(Kind::Narrow), a(v.data()), n(v.size()) {}
    LFormatArg(const std::string& v) : kind(Kind::Narrow), a(v.data()), n(v.size()) {}
    LFormatArg(std::u16string_view v) : kind(Kind::Wide), w(v.data()), n(v.size()) {}
    LFormatArg(const std::u16string& v) : kind(Kind::Wide), w(v.data()), n(v.size()) {}
    LFormatArg(const LTextBuffer<char>& v);
    LFormatArg(const LTextBuffer<char16_t>& v);
    template <class T>
        requires(std::is_pointer_v<T*> && !std::is_same_v<std::remove_cv_t<T>, char> &&
                 !std::is_same_v<std::remove_cv_t<T>, char16_t>)
    LFormatArg(T* v) : kind(Kind::Pointer), p(v) {}
    template <class E>
        requires std::is_enum_v<E>
    LFormatArg(E v) : LFormatArg(static_cast<std::underlying_type_t<E>>(v)) {}
};

template <size_t N>
using LFormatArgArray = std::array<LFormatArg, N>;
