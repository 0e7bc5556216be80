// The web server's own black-box harness (in-process listeners, curl from a
// source address of each test's own), built into this test program as well.
#include "web/http/tests/http_harness.cpp"  // NOLINT(bugprone-suspicious-include)
