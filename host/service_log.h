#pragma once
// In the service process every log line also goes to the connected
// desktops, through the socket server.
void LServiceRegisterLogBroadcast();
void LServiceUnregisterLogBroadcast();
