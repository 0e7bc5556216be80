#pragma once
// Making the local root trusted on this machine.
#include "web/server/certificate.h"

// As root on the real system (no PORLINEX_ROOT), the root goes into the
// machine's trusted authorities (update-ca-certificates) whenever it is not
// there as it is; otherwise a new root is only logged, and the user trusts it
// in the browser (docs/https-certificates.md).
void LHttpsCertificateTrustRoot(const LHttpsCertificateOutcome& outcome);
