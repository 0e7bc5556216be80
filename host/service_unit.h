#pragma once
// The systemd unit "PorlinexService.service", written from the service
// record: how systemd starts the service and what the service may touch.
// It names the machine's own places (the unit is used only when the root is
// "/"): the data folder /var/lib/Vek Software/Porlinex, the settings folder
// /etc/porlinex and the run folder /run/porlinex, which systemd makes
// for the service at every start.
#include <string>

constexpr const char* LServiceDisplayName = "Porlinex";
constexpr const char* LServiceDescription = "Allows Porlinex to run in the background if required.";

struct LServiceUnitSettings {
    std::string program;  // full path of the program
    std::string user;     // the log-on account's user; empty: root
    std::string home;     // that user's home folder
    std::string group;    // the group of allowed users; empty: the user's own
};

// The group whose members may use the service (its run folder, socket and
// data folder belong to it), when the machine has one of that name.
constexpr const char* LServiceAllowedGroupName = "porlinex";

std::string LServiceUnitText(const LServiceUnitSettings& settings);
