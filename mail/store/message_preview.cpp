#include "foundation/html_text.h"
#include "mail/store/message_store.h"

void LEmailMakePreviewText(const LString& text, const LString& html, char16_t* out, size_t size) {
    if (size == 0 || !out) return;
    LString rendered;
    const char16_t* source = text.c_str();
    if (text.IsEmpty()) {
        LHtmlToText(rendered, html.c_str());
        source = rendered.c_str();
    }
    auto blank = [](char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n'; };
    size_t n = 0;
    bool pending_space = false;
    for (const char16_t* p = source; *p && n + 1 < size; ++p) {
        if (blank(*p)) {
            pending_space = n > 0;
            continue;
        }
        if (pending_space) {
            out[n++] = u' ';
            pending_space = false;
            if (n + 1 >= size) break;
        }
        // A surrogate pair is kept whole or not at all.
        if (*p >= 0xD800 && *p <= 0xDBFF && n + 2 >= size) break;
        out[n++] = *p;
    }
    // A blank kept just before the end has nothing after it.
    while (n > 0 && out[n - 1] == u' ') --n;
    out[n] = 0;
}
