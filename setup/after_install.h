#pragma once
// What turns the copied program into an installed system: menu entries,
// start at log-on, the service and its users, the HTTPS certificate, the
// version and date values, the kept setup program, the installation id and
// the Uninstall values.
#include <string>

#include "foundation/task_progress.h"

constexpr const char16_t* LProductVersion = u"2.01";
// The machine hive's key of the Uninstall values.
constexpr const char16_t* LUninstallKey = u"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Porlinex";
// The product's key in both hives, with every section below it.
constexpr const char16_t* LProductKey = u"Software\\Vek Software\\Porlinex";

void LConfigureAfterInstall(LTaskProgress& progress);
// Limits the product's machine settings to the users the service access
// rule names.
void LSecureProductKey();
void LRegisterUninstallEntry(const std::string& program);
void LRemoveUninstallEntry();
// Deletes a key with all keys below it from a hive.
void LDeleteKeyTree(bool machine, const std::u16string& key);
// The kept setup program's name in the install folder.
constexpr const char* LKeptSetupName = "porlinexsetup_v2.01.run";
