#pragma once
// The system proxy of the HTTP client. On Linux the proxy is what the
// environment says, as for curl and most programs: http_proxy for plain HTTP,
// https_proxy (or HTTPS_PROXY) for HTTPS, ftp_proxy for FTP; no_proxy (or
// NO_PROXY) names the hosts that are reached without one.
#include <cstdint>

enum LHttpProxyScheme : int { LHttpProxyHttp = 0, LHttpProxyHttps = 1, LHttpProxyFtp = 2, LHttpProxySocks = 3 };

// The proxy for a scheme; false when none is set (or, for SOCKS, ever: the
// client only speaks the CONNECT tunnel).
bool LHttpGetSystemProxy(int scheme, char host[260], uint16_t* port);
// True when the target host (a host text that may carry a port) is never
// reached through a proxy: no_proxy names it, or it is this machine (a
// request to our own loopback endpoint carries its token in clear).
bool LHttpProxyBypassed(const char* targetHost);
// localhost, a name below .localhost, 127.0.0.0/8 or ::1.
bool LHttpIsLoopbackHost(const char* targetHost);

// The pieces of both, for tests.
// "[scheme://][user[:password]@]host[:port][/...]"; 1080 when no port is
// given, as curl assumes.
bool LHttpParseProxyValue(const char* value, char host[260], uint16_t* port);
// Entries separated by commas or blanks; "*" matches every host; an entry
// matches the host itself and every name below it (a leading '.' is
// optional); case does not matter; a port in the entry or the host is ignored.
bool LHttpNoProxyMatches(const char* list, const char* targetHost);
