#include "web/server/firewall.h"

#include "foundation/child_process.h"
#include "foundation/log.h"
#include "foundation/wait.h"
#include "platform/spawn.h"

namespace {

constexpr uint32_t kStatusWaitMs = 10000;

bool Runs(const LArgv& argv) {
    if (LPlatformFindOnPath(argv[0]).empty()) return false;
    uint32_t result = 2;
    int exit_code = -1;
    LPlainWait wait;
    LRunProcessHiddenWait(&result, &wait, argv, &exit_code);
    return result == 0 && exit_code == 0;
}

// What ufw says of itself; "" when it is not there or says nothing in time.
std::string UfwStatus() {
    if (LPlatformFindOnPath("ufw").empty()) return std::string();
    LChildProcess child;
    if (!child.Start({"ufw", "status"}, 0)) return std::string();
    std::string out;
    char piece[1024];
    while (out.size() < 8192 && LPlatformPollReadable(child.output, kStatusWaitMs)) {
        uint32_t n = child.Read(piece, sizeof piece);
        if (n == 0) break;
        out.append(piece, n);
    }
    return out;
}

}  // namespace

bool LFirewallOpenPort(int port, int protocol, const std::string& name) {
    bool firewalld = Runs({"firewall-cmd", "--state"});
    bool ufw = !firewalld && UfwStatus().find("Status: active") != std::string::npos;
    if (!firewalld && !ufw) {
        LLogWarningF("%s: not available.", "LFirewallOpenPort");
        return false;
    }
    const char* proto = protocol == 6 ? "tcp" : protocol == 17 ? "udp" : nullptr;
    if (!proto || port <= 0 || port > 65535) return false;
    std::string spec = std::to_string(port) + "/" + proto;
    bool ok = firewalld ? Runs({"firewall-cmd", "--add-port=" + spec}) &&
                              Runs({"firewall-cmd", "--permanent", "--add-port=" + spec})
                        : Runs({"ufw", "allow", spec, "comment", name});
    if (ok)
        LLogInfoF("Firewall: port %s opened with %s (%s).", spec.c_str(), firewalld ? "firewalld" : "ufw", name.c_str());
    else
        LLogErrorF("Firewall: port %s could not be opened with %s.", spec.c_str(), firewalld ? "firewall-cmd" : "ufw");
    return ok;
}

bool LFirewallAllowPort(uint16_t port) { return LFirewallOpenPort(port, 6, "Porlinex TCP/IP Port"); }

bool LFirewallOpenPortElevated(const uint16_t* ports) {
    if (!ports || !*ports) return false;
    for (; *ports; ++ports) LFirewallOpenPort(*ports, 6, "Porlinex TCP/IP Port");
    return true;
}
