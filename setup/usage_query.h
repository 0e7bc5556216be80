#pragma once
// The description of the installation that every page of the maker's web
// site opened by the program carries in its query string, built piece by
// piece into a caller's text. Stored values are percent-encoded, so a
// value holding '&', '=' or '%' cannot add pieces of its own.
#include <cstdint>
#include <vector>

#include "foundation/lstring.h"
#include "setup/command_counts.h"

// "?software=Porlinex..." up to the split-test choices.
void LAppendCommonQuery(LString& out);
// One entry of the command-use table: "&usage=" with the id in four and
// the count (at most 255) in two upper-case hexadecimal digits.
void LAppendUsageSample(LString& out);
void LAppendUsageSampleFrom(LString& out, const std::vector<LCommandCount>& table, int random);
void LAppendDaysAndRuns(LString& out, int days);
void LAppendOsClass(LString& out);
void LAppendRefData(LString& out);
void LAppendInstallerSVar(LString& out);

// The class of a product type, and of the first byte of an IPv4 address
// (network order): "A", "B", "C" or empty.
int LOsClassFromProductType(unsigned type);
const char16_t* LIpPrivClass(uint32_t address);

// "http://" + help host + "/help/en/porlinex/win/<topic>.html" and the query.
void LGetHelpPageUrl(LString& out, const char16_t* topic);
void LOpenHelpPage(const char16_t* topic);
void LOpenNewsletterPage();
