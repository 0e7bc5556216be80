#pragma once
// Opening files, folders and links for the user.
#include <string_view>

// Opens the target with the desktop's default program; the result is not
// reported (callers do not check it).
void LShellOpen(const char16_t* target);

// An http or https address without blanks or control characters. Addresses
// that come from settings, downloaded files or the network reach the opener
// only in this form: anything else could name a local file or a desktop
// entry, which the opener would run.
bool LIsWebAddress(std::u16string_view address);
// Opens the address when it is a web address; false when it was refused.
bool LOpenWebAddress(std::u16string_view address);
