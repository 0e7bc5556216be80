#pragma once
// Datagram sockets for the gateway search: a non-blocking IPv4 UDP socket
// bound to any port, one datagram out, datagrams in with their sender.
// Waiting belongs to the caller (the socket is a pollable handle).
#include <cstddef>
#include <cstdint>

#include "platform/socket.h"

// A non-blocking UDP socket bound to 0.0.0.0 on a free port, with a
// multicast time-to-live of 2 (a search never leaves the local network);
// LInvalidSocket on failure.
LSocket LPlatformUdpOpen();
// True when the whole datagram was handed to the kernel. Address and port
// in network order.
bool LPlatformUdpSendTo(LSocket s, uint32_t address, uint16_t port, const void* data, size_t n);
// One datagram of at most n bytes (a longer one is cut): its length, or
// LSocketWouldBlock, or LSocketError. The sender's address and port in
// network order.
long LPlatformUdpReceiveFrom(LSocket s, void* buffer, size_t n, uint32_t* from_address, uint16_t* from_port);
