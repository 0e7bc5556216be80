#pragma once
// The desktop's answers to service-to-desktop requests: the service raises
// an event whose code is the request code (1 to 8) and whose value is the
// request id; the desktop runs the request in the signed-in user's process
// and sends one reply block back through its service proxy.
#include <cstdint>
#include <string>

// Runs one request and replies; false for a code this process does not
// answer (no reply is sent then).
bool LDesktopRequestHandle(uint32_t code, uint32_t request_id);

// How a reply block reaches the service: the host registers its service
// proxy's sender at start-up; without one, replies are dropped. Returns
// the sender it replaces, so a caller can pass replies on to it.
using LDesktopReplySend = void (*)(uint32_t request_id, bool ok, const std::string& message, const std::string& detail);
LDesktopReplySend LDesktopRequestSetReplySender(LDesktopReplySend send);
