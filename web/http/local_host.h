#pragma once
// Whether the name a request was sent to (its Host header) is this machine:
// a loopback name or address, the machine's own names and interface
// addresses, or the public name or address that the routing settings
// record. A page that had its own name point at this machine (DNS
// rebinding: evil.example resolving to 127.0.0.1) sends its own name and is
// told apart by it. The port and the brackets of an IPv6 literal are not
// part of the name; names compare without regard to case.
bool LWebHostNamesThisMachine(const char16_t* host_header);
