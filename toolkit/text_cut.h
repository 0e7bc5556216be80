#pragma once
// Cutting a text to a fixed number of UTF-16 units without leaving the
// first half of a surrogate pair at the end.
#include <string>
#include <string_view>

inline std::u16string LCutText(std::u16string_view text, size_t max_units) {
    if (text.size() <= max_units) return std::u16string(text);
    size_t n = max_units;
    if (n > 0 && text[n - 1] >= 0xD800 && text[n - 1] <= 0xDBFF) --n;
    return std::u16string(text.substr(0, n));
}
