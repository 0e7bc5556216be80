#pragma once
// Values of the machine hive's product sections as UTF-8 text, for tests.
#include <gtest/gtest.h>

#include <string>

#include "foundation/reg_settings.h"
#include "foundation/system_version.h"

inline void LTestSetMachineValue(const char16_t* section, const char16_t* name, const std::string& value) {
    ASSERT_TRUE(LRegSettingsSet(section, name, LFromUtf8(value).c_str()));
}

inline std::string LTestMachineValue(const char16_t* section, const char16_t* name) {
    char16_t out[260] = {0};
    LRegSettingsGet(section, name, u"", out);
    return LToUtf8(out);
}

// The query piece a virtual machine adds.
inline std::string LTestVmPiece() { return LIsVirtualMachineByBios() ? "&vm=1" : ""; }
