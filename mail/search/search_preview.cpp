#include "mail/search/email_search.h"

// Weak: the store writer's definition wins once it is linked. Until then a
// row without a stored preview shows its text body on one line.
__attribute__((weak)) void LEmailMakePreviewText(const LString& text, const LString&, char16_t* out, size_t size) {
    size_t n = 0;
    bool gap = false;
    for (const char16_t* p = text.c_str(); *p && n + 2 < size; ++p) {
        if (*p <= 32) {
            gap = n > 0;
            continue;
        }
        if (gap) out[n++] = u' ';
        gap = false;
        out[n++] = *p;
    }
    if (size) out[n] = 0;
}
