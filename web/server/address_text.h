#pragma once
// The server's address as pages and e-mails show it: the local address by
// the mode the routing test chose (Routing\LocalAddressMode), the public
// one by Routing\PublicAddressMode, each with its port unless that is the
// scheme's own.

// 1: this host's IPv4 as its name resolves; 2: the host name; 3: the name
// its own address resolves back to; 4: the public address; anything else:
// the host name (the network parameters always allow names here).
void LRoutingGetLocalAddress(char16_t out[260]);
// 2: Routing\DomainName; otherwise Routing\StaticIPAddress.
void LRoutingGetPublicAddress(char16_t out[260]);
// "address:port", the bare address on port 80 (443 for the secure text).
void LWebLocalAddressText(char16_t out[260]);
void LWebPublicAddressText(char16_t out[260]);
void LWebPublicSecureAddressText(char16_t out[260]);
