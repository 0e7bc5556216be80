#pragma once
// Address helpers for settings and diagnostics: host and port splitting,
// resolution into a short address list, the strict address parser, the
// mail-exchanger lookup for direct delivery, the local host name for the
// SMTP greeting and the connectivity test.
#include <cstdint>

#include "net/net_socket.h"
#include "platform/socket_address.h"

// Copies at most 259 bytes of text into host; when it holds ':' the host
// ends there and the port is the decimal number after it, else the default.
// A port that is not a number from 0 to 65535 gives 0, which never connects.
uint16_t LNetSplitHostPortA(const char* text, char host[260], uint16_t default_port);
uint16_t LNetSplitHostPort(const char16_t* text, char16_t host[260], uint16_t default_port);

// host[:port] into a list: dotted text needs no resolver; a name gets its
// first 6 IPv4 addresses; a name that does not resolve gives count 0.
void LNetResolveHost(LNetAddressList& list, const char* text, uint16_t default_port);

// Strict a.b.c.d[:port]: 4 numbers of 0..255 separated by single dots, an
// optional port of 0..65535 after ':'. The bytes are zeroed first; without
// ':' the port is left as it was. True when well formed.
bool LNetParseAddressPort(const char16_t* text, uint8_t address[4], uint16_t& port);

// The machine's own host name as the resolver knows it, "127.0.0.1" when it
// has none; always terminated.
void LNetGetLocalHostName(char16_t out[260]);

// Direct-delivery target of domain[:port]. Without a port: the exchanger
// with the lowest preference of the domain's MX records (the domain itself
// when it has none) on port 25; with a port no query is made. The address
// is 0 when the host does not resolve.
void LNetResolveMailExchanger(LNetSocketAddress& out, const char16_t* domain_port);
// The exchanger's host name and port as LNetResolveMailExchanger chooses them.
void LNetMailExchangerHost(const char16_t* domain_port, char host[260], uint16_t& port);

// The verdict on the machine's network parameters: true (there is no node
// type of name resolution on this platform that could rule against it).
bool LNetCheckNetworkParams();
// True when the machine can reach the internet: the service process always
// says so; otherwise a default route must exist.
bool LNetHasInternetConnection();
