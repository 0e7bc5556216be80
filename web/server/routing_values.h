#pragma once
// The machine section Routing, where the routing steps leave their findings
// for the user interface (all values are text), and this host's address as
// the routing steps see it.
#include <cstdint>
#include <string>

std::string LRoutingValue(const char16_t* name);
void LRoutingSetValue(const char16_t* name, const std::string& text);
void LRoutingDeleteValue(const char16_t* name);
// Error and its kind together (the kinds: 10046 manual router configuration
// needed, 10220 public address changed, 10221 connection test failed, 10222
// UPnP mapping failed).
void LRoutingSetError(const std::string& text, int kind);
void LRoutingClearError();

// This host's IPv4 address: the LAN address of the interface that carries
// the default route, else what the host's name resolves to.
std::string LRoutingHostAddress();
// Private (10/8, 172.16/12, 192.168/16, loopback, link-local) or not an
// address at all.
bool LRoutingIsPrivate(const std::string& address);
// A WebServer port value as a number; 0 when empty or not a port.
uint16_t LRoutingPortValue(const char16_t* name);
