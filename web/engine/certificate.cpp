#include "web/engine/service_engine.h"

// No local certificate is made yet: the TLS listener stays as configured.
bool LEnsureHttpsCertificate() { return false; }
