#include "host/service_unit.h"

namespace {

// A unit's words are quoted; '%' would start a specifier.
std::string Quote(const std::string& s) {
    std::string out = "\"";
    for (char c : s) {
        if (c == '"' || c == '\\') out += '\\';
        if (c == '%') out += '%';
        out += c;
    }
    return out + "\"";
}

}  // namespace

std::string LServiceUnitText(const LServiceUnitSettings& s) {
    std::string t = std::string("# ") + LServiceDescription + "\n[Unit]\nDescription=" + LServiceDisplayName + "\n";
    t += "After=network-online.target\n"
         "Wants=network-online.target\n"
         // Restarts are never rate-limited: the failure action applies for ever.
         "StartLimitIntervalSec=0\n"
         "\n"
         "[Service]\n"
         "Type=simple\n";
    t += "ExecStart=" + Quote(s.program) + " -service\n";
    t += "Restart=on-failure\n"
         "RestartSec=1\n"
         "KillSignal=SIGTERM\n"
         "TimeoutStopSec=30\n";
    if (!s.user.empty()) t += "User=" + s.user + "\n";
    if (!s.group.empty()) t += "Group=" + s.group + "\n";
    // Its files are the group's, never anybody else's.
    t += "UMask=0007\n"
         // Each listener serves up to 512 connections.
         "LimitNOFILE=8192\n"
         // Made at every start for the account, which could not make it under
         // /run itself; kept over restarts, for the desktops' lock files.
         "RuntimeDirectory=porlinex\n"
         "RuntimeDirectoryMode=2770\n"
         "RuntimeDirectoryPreserve=yes\n"
         // The data folder, made and given to the account by systemd.
         "StateDirectory=\"Vek Software/Porlinex\"\n"
         "StateDirectoryMode=2770\n"
         // The machine settings; the installer makes the folder.
         "ReadWritePaths=-/etc/porlinex\n"
         "ProtectSystem=strict\n";
    if (s.user.empty() || s.home.empty()) {
        t += "ProtectHome=yes\n";
    } else {
        // Only the account's own home: its settings, and the backup folder
        // that is usually a cloud folder in it.
        t += "ProtectHome=tmpfs\n";
        t += "BindPaths=" + Quote("-" + s.home) + "\n";
        t += "ReadWritePaths=" + Quote("-" + s.home) + "\n";
    }
    t += "PrivateTmp=yes\n"
         "PrivateDevices=yes\n"
         "PrivateMounts=yes\n"
         "NoNewPrivileges=yes\n"
         "ProtectKernelTunables=yes\n"
         "ProtectKernelModules=yes\n"
         "ProtectKernelLogs=yes\n"
         "ProtectControlGroups=yes\n"
         "ProtectClock=yes\n"
         "ProtectHostname=yes\n"
         "ProtectProc=invisible\n"
         "RestrictNamespaces=yes\n"
         "RestrictRealtime=yes\n"
         "LockPersonality=yes\n"
         "MemoryDenyWriteExecute=yes\n"
         // Mail and web over IPv4 and IPv6, the desktops' socket, and the
         // interface list (netlink) that the web server's Host check reads.
         "RestrictAddressFamilies=AF_UNIX AF_INET AF_INET6 AF_NETLINK\n"
         "SystemCallArchitectures=native\n"
         "SystemCallFilter=@system-service\n"
         "SystemCallErrorNumber=EPERM\n";
    if (s.user.empty()) {
        // Root keeps what it needs for files that desktop users made in the
        // data folder, and low ports.
        t += "CapabilityBoundingSet=CAP_NET_BIND_SERVICE CAP_DAC_OVERRIDE CAP_FOWNER CAP_CHOWN\n";
    } else {
        // A port below 1024 set in the settings still opens.
        t += "CapabilityBoundingSet=CAP_NET_BIND_SERVICE\n"
             "AmbientCapabilities=CAP_NET_BIND_SERVICE\n";
    }
    t += "\n"
         "[Install]\n"
         "WantedBy=multi-user.target\n";
    return t;
}
