// An account's address is the sender of all its mail: one that no server
// takes (no dot in its domain, no '@') is refused when the account is saved,
// rather than failing every message later.
#include <string_view>

#include "foundation/lstring.h"
#include "net/mime/address.h"
#include "web/http/db_table.h"

namespace {

const char* CheckAccountText(const char* column, const char* text) {
    if (std::string_view(column) != "EMAIL") return nullptr;
    // As it is stored: the queue sends with it as it is.
    LString address = LFromUtf8(text);
    return LEmailAddressIsValid(address.c_str()) ? nullptr : "Please enter a valid email address.";
}

}  // namespace

LWEBDBTABLE_CHECK(EMAILACCOUNTS, CheckAccountText);
