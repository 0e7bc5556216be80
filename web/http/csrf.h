#pragma once
// The rule that tells a state-changing call of the server's own pages from
// a forged one: the Referer or the Origin names this very server (scheme and
// Host, exact and case-sensitive), or the page's script set X-AJAX; and in
// every case the Host names this machine, so that a page whose own name was
// pointed at this machine cannot pass as one of ours. Null headers count as
// missing.
bool LWebCsrfAccepts(bool secure, const char16_t* host, const char16_t* referer, const char16_t* origin,
                     const char16_t* x_ajax);
