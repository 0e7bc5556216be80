#pragma once
// The addresses of this machine's own network interfaces.

// True when the text is an IPv4 or IPv6 address literal that one of this
// machine's interfaces carries (loopback included).
bool LPlatformIsOwnAddress(const char* literal);
// True when the text is a loopback address literal (127.0.0.0/8 or ::1).
bool LPlatformIsLoopbackAddress(const char* literal);
