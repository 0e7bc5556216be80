#pragma once
// Port forwarding through a UPnP Internet gateway: the search on the local
// network (SSDP), the device description, the SOAP actions on its WAN
// connection service, and the forwarding of one public port to this
// machine. Results: 0 done, 1 stop requested, 2 failed.
#include <cstdint>
#include <string>

#include "foundation/task_progress.h"
#include "web/server/gateway_http.h"

// Where the search goes: 239.255.255.250:1900, or the "a.b.c.d:port" of the
// environment variable PORLINEX_SSDP_TARGET (tests point it at loopback).
constexpr const char* LSsdpTargetVariable = "PORLINEX_SSDP_TARGET";

struct LUPnPGateway {
    LGatewayUrl location;     // where the description was fetched
    std::string description;  // at most 8192 bytes of it
};

struct LUPnPResult {
    std::string external_address;  // set only when it is a dotted IPv4 address
    bool refused = false;          // the gateway answered the mapping with a fault
};

// Searches for a gateway: up to 10 searches a second apart. An answer
// counts only when its LOCATION names the address it came from and the
// description there can be fetched; others are passed over.
uint32_t LUPnPDiscoverGateway(LTaskProgress& progress, LUPnPGateway& out);
// One action on the service at control: the reply's body (at most 16 KiB).
// 0 only for a 200 answer without a fault; fault tells whether the reply
// held "<faultstring>".
uint32_t LUPnPSoapAction(LTaskProgress& progress, const LGatewayUrl& control, const char* service, const char* action,
                         const std::string& arguments, std::string& reply, bool& fault);
// The actions on the WANIPConnection service, else the WANPPPConnection
// one: the connection must be configured and NAT on, then the external
// address is read and the public port forwarded to the local port of the
// address this machine uses towards the gateway.
uint32_t LUPnPQueryGateway(LTaskProgress& progress, const LUPnPGateway& gateway, uint16_t local_port,
                           uint16_t public_port, LUPnPResult& result);
// The search and the actions together.
uint32_t LUPnPForwardPort(LTaskProgress& progress, uint16_t local_port, uint16_t public_port, LUPnPResult& result);

// The "<controlURL>" of the service type (e.g. "WANIPConnection:1") in a
// description; "" when the description has no such service.
std::string LUPnPControlUrl(const std::string& description, const char* service);
