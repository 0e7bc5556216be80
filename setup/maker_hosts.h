#pragma once
// The maker's web site and help host. Both come from the machine-wide
// section "Maker" and default to names under .invalid, so that nothing
// leaves the machine unless an administrator has configured the hosts.
#include <string>

std::string LGetMakerWebHost();
std::string LGetMakerHelpHost();
// The download hosts A and B (installers, the version file) and the two
// component hosts.
std::string LGetMakerDownloadHost();
std::string LGetMakerDownloadHostB();
std::string LGetMakerComponentHost();
std::string LGetMakerComponentHostB();
// The problem-report host (host[:port]).
std::string LGetMakerReportHost();
