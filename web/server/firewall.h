#pragma once
// Opening the web server's ports in the machine's firewall: firewalld when it
// runs (firewall-cmd, runtime and permanent), else ufw when it is active;
// otherwise there is no firewall this program knows to open, which is
// logged and reported as failure. Nothing is ever run with more rights than
// the process has: a user who may not change the firewall gets a failure.
#include <cstdint>
#include <string>

// The host's "-firewall" switch calls this for each port (protocol 6 TCP,
// 17 UDP); name describes the rule where the firewall keeps one.
bool LFirewallOpenPort(int port, int protocol, const std::string& name);
// One TCP port under the rule name "Porlinex TCP/IP Port".
bool LFirewallAllowPort(uint16_t port);
// Each port of a list ended by 0, in this process; false for an empty list.
bool LFirewallOpenPortElevated(const uint16_t* ports);
