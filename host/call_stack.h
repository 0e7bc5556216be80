#pragma once
// Diagnostic records for failures that are not crashes: a message, a time,
// the thread's tag and the first return addresses of the calling thread,
// kept in the "RDF" section of the machine hive (service) or the user hive
// (desktop). The next crash or problem report carries the newest record.
#include <cstdint>
#include <string>
#include <vector>

#include "foundation/log.h"  // LDebugSaveCallStack, whose recorder this is

// At most six return addresses of the calling thread, its own frame and
// the skip frames inside it left out, innermost first.
std::vector<uintptr_t> LCallStackAddresses(size_t skip = 0);
// "a-b-c" in lower-case hexadecimal.
std::string LCallStackAddressText(const std::vector<uintptr_t>& addresses);

// "id=...&th=...&cs=..." of the newer record of the two hives, each value
// percent-encoded as UTF-8, at most 259 characters and never cut inside an
// escape; empty when neither hive holds a record.
std::string LDebugGetCallStackQuery();

// The length of the longest prefix of a percent-encoded UTF-8 text of at
// most max characters that ends between whole characters.
size_t LUrlEncodedCut(const std::string& text, size_t max);
