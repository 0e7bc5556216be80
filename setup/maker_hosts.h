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
// A whole address of the maker's (a page on another site, a share
// service) from the same section; fallback when it is not set.
std::u16string LGetMakerPage(const char16_t* name, const std::u16string& fallback);
