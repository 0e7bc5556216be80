#pragma once
// E-mail address lists: iteration, domains and syntax checks.
#include <cstddef>

class LEmailAddressCursor {
public:
    const char16_t* cursor = u"";
    char16_t address[260] = {};

    // Takes the first address of a comma-separated list.
    void Begin(const char16_t* list);
    // Moves to the next address; false at the end.
    bool Next();

private:
    void Take();
};

// The text after the last '@'; false when there is none or it is empty.
bool LEmailAddressDomain(const char16_t* address, char16_t out[260]);
bool LEmailAddressIsValid(const char16_t* address);
bool LEmailAddressListIsValid(const char16_t* list);
