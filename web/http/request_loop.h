#pragma once
// Serving the requests of one connection, one after another: request line,
// bounded head, dispatch to a route or to a static file, keep-alive.
#include <cstdint>
#include <string>

#include "web/http/weblet.h"

// Returns when the connection is to end (the caller closes it).
void LWebletServeConnection(LWebletConnection& connection, uint32_t peer_ip, const std::string& web_folder);
