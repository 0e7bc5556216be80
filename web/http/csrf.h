#pragma once
// The rule that tells a state-changing call of the server's own pages from
// a forged one: the Referer or the Origin names this very server (scheme and
// Host, exact and case-sensitive), or the page's script set X-AJAX. Null
// headers count as missing.
bool LWebCsrfAccepts(bool secure, const char16_t* host, const char16_t* referer, const char16_t* origin,
                     const char16_t* x_ajax);
