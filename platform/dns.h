#pragma once
// Name resolution for the network layer: IPv4 addresses of a host
// (getaddrinfo, thread-safe), DNS record queries (res_nquery, one resolver
// state per call), the canonical local host name and the default-route test.
//
// The environment variable PORLINEX_DNS_SERVER ("a.b.c.d" or "a.b.c.d:port")
// sends the record queries to that nameserver instead of the system's, so that
// tests can point them at a local dnsmasq.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Up to max IPv4 addresses (network order) of a host name or dotted text, in
// the resolver's order, duplicates removed; returns how many were written.
size_t LPlatformResolveIPv4(const char* host, uint32_t* out, size_t max);

struct LDnsMxRecord {
    uint16_t preference = 0;
    std::string exchanger;  // without a trailing dot
};
struct LDnsSrvRecord {
    uint16_t priority = 0;
    uint16_t weight = 0;
    uint16_t port = 0;
    std::string target;  // without a trailing dot
};

// The records of one query, in the order of the answer; false when the query
// failed or the name does not exist. nameserver null or empty: the
// PORLINEX_DNS_SERVER variable, else the system's resolvers.
bool LPlatformDnsQueryMx(const char* name, std::vector<LDnsMxRecord>& out, const char* nameserver = nullptr);
bool LPlatformDnsQuerySrv(const char* name, std::vector<LDnsSrvRecord>& out, const char* nameserver = nullptr);
bool LPlatformDnsQueryA(const char* name, std::vector<uint32_t>& out, const char* nameserver = nullptr);

// The nameserver the record queries use instead of the system's, "" for none.
std::string LPlatformDnsServerOverride();

// The host name of this machine as the resolver knows it (canonical name of
// gethostname()); false when it has none.
bool LPlatformLocalHostName(std::string& out);

// True when the routing table holds a default route (IPv4 or IPv6) on an
// interface that is up: the machine can reach beyond its own links.
bool LPlatformHasDefaultRoute();
