#include "host/service_log.h"

#include "foundation/log.h"
#include "host/pipe_server.h"

void LServiceRegisterLogBroadcast() { LLogSetPipeBroadcast(LServicePipeBroadcastLog); }
void LServiceUnregisterLogBroadcast() { LLogSetPipeBroadcast(nullptr); }
