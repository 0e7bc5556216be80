// The in-process web server of the web layer's tests, linked into this
// folder's test program so that the mail routes are called over real HTTP.
#include "web/http/tests/http_harness.cpp"  // NOLINT(bugprone-suspicious-include)
