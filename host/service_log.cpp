#include "host/service_log.h"

#include "host/pipe_server.h"

void LServiceRegisterLogBroadcast() {}
void LServiceUnregisterLogBroadcast() {}
