#pragma once
// Installing, configuring, starting, stopping and deleting the service
// "PorlinexService". The service record (display name, description,
// command line, start type, account, failure actions) is kept in the
// machine hive; a systemd unit "PorlinexService.service" under the root's
// etc/systemd/system is written from it. Starting and stopping use
// systemctl when systemd runs and the root is "/"; otherwise the service is
// a detached `porlinex -service -manual` found through its state file.
#include <string>

// The start types as the service record keeps them.
constexpr int LServiceStartAuto = 2;
constexpr int LServiceStartDemand = 3;
constexpr int LServiceStartDisabled = 4;

// Creates the record and the unit, or updates command line and display
// name of an existing one (start type and account kept). Records the
// start type in the "Service" section. False when nothing could be written.
bool LServiceInstall(const std::string& program_path);
// Deletes the record, the unit and the "Account" value. False when the unit
// could not be removed.
bool LServiceRemove();
// Automatic (enabled at boot) or on demand. False when not installed or
// the change could not be written.
bool LServiceSetStartType(bool automatic);
// The log-on account: the user name as given when it holds "\", else
// ".\" + user; the unit runs as the local user name. True when not
// installed (nothing to change); false for an unknown user.
bool LServiceSetAccount(const std::string& user, const std::string& password);
// The Linux form of granting the service log-on right: 0 when the account
// names a local user (who may then run the service), else a failure code.
long LGrantServiceLogonRight(const std::string& account);
// Starts the service and waits until it runs. Releases the caller's
// start-up lock first. True when it runs (also when it already ran).
bool LServiceStart();
// Stops the service and waits (at most 30000 ms) until it has stopped.
// True when the service is installed and could be told.
bool LServiceStop();
// True when the service record exists.
bool LServiceIsInstalled();

// Pieces, for tests and status pages.
std::string LServiceUnitPath();
const char* LServiceStartTypeText(int start_type);
