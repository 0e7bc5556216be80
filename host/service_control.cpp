#include "host/service_control.h"
bool LServiceInstall(const std::string&) { return false; }
bool LServiceRemove() { return false; }
bool LServiceSetStartType(bool) { return false; }
bool LServiceSetAccount(const std::string&, const std::string&) { return false; }
long LGrantServiceLogonRight(const std::string&) { return 1; }
bool LServiceStart() { return false; }
bool LServiceStop() { return false; }
bool LServiceIsInstalled() { return false; }
std::string LServiceUnitPath() { return ""; }
std::string LServiceUnitText(const std::string&, const std::string&) { return ""; }
const char* LServiceStartTypeText(int) { return ""; }
