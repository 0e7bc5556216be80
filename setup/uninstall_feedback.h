#pragma once
// Where the uninstall feedback goes: a problem report to the maker's report
// host (section "Maker", value "ReportHost"), with the reason's key and the
// comment as form fields.
#include <string>

// The display name of an active antivirus product; this system keeps no
// register of them, so it is always empty.
std::u16string LGetAntivirusProducts();
// Posts the feedback; false when the report host could not be reached.
bool LSendUninstallFeedback(const std::string& key, const std::u16string& comment);
