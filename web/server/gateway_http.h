#pragma once
// HTTP with an Internet gateway device: its URLs and one bounded exchange.
// A gateway is whatever answered the search on the local network, so it is
// treated as hostile: only http URLs whose host is an IPv4 literal are
// taken, replies are capped in size and every exchange in time.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "foundation/task_progress.h"

struct LGatewayUrl {
    uint32_t address = 0;  // network order
    uint16_t port = 80;    // host order
    std::string path = "/";
    // "a.b.c.d:port", for the Host header.
    std::string HostText() const;
};

// "http://a.b.c.d[:port][/path]"; false for anything else.
bool LGatewayParseUrl(std::string_view url, LGatewayUrl& out);
// A URL found in a description fetched from `base`: an absolute one must
// name the same address, a path is taken on base's address and port.
bool LGatewayResolveUrl(const LGatewayUrl& base, std::string_view ref, LGatewayUrl& out);

// Sends the request and reads the answer within budget_ms all told: the
// status code and the body (chunked bodies joined; at most max_body bytes,
// the rest is not read). 0 done, 1 stop requested, 2 failed.
uint32_t LGatewayExchange(LTaskProgress& progress, const LGatewayUrl& url, const std::string& request,
                          size_t max_body, uint32_t budget_ms, int& status, std::string& body);

// The text between "<name" ... ">" and the next "<" of a reply; "" when
// there is none.
std::string LGatewayTagText(const std::string& reply, const char* name);
// Strict a.b.c.d (no leading zeros): the only form of an address that is
// stored and shown.
bool LGatewayParseIPv4(std::string_view text, uint32_t& network_order);
bool LGatewayIsIPv4(std::string_view text);
