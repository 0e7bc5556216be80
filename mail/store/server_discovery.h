#pragma once
// Guessing an account's IMAP and SMTP hosts from its address: a table of
// large public providers, DNS SRV records, the MX record (against a table of
// known exchanger suffixes, then the exchanger's parent domain), and probes
// of likely host names. A guess counts only when the IMAP host accepts a
// connection on 993 and the SMTP host on 587.
#include <cstdint>

#include "foundation/task_progress.h"

bool LEmailGuessServers(LTaskProgress& progress, const char* address, char imap_host[260], char smtp_host[260]);

// The steps, each on a lower-case domain without trailing dots.
bool LEmailProviderLookup(const char* domain, char imap_host[260], char smtp_host[260]);
bool LEmailGuessServersSrv(LTaskProgress& progress, const char* domain, char imap_host[260], char smtp_host[260]);
bool LEmailGuessServersMx(LTaskProgress& progress, const char* domain, char imap_host[260], char smtp_host[260]);
bool LEmailGuessServersNames(LTaskProgress& progress, const char* domain, char imap_host[260],
                             char smtp_host[260]);
// The first SRV record of prefix + domain with a target; the host without
// trailing dots.
bool LDnsQuery(const char* domain, const char* prefix, char host[260], uint16_t& port);
bool LEmailProbeServers(LTaskProgress& progress, const char* imap_host, const char* smtp_host);
// A connection to the host opened within 3000 ms (closed at once).
bool LEmailProbePort(LTaskProgress& progress, const char* host, uint16_t port);

// Test hook: the probes use these ports instead of 993 and 587 (0 restores
// the real one), so that a test's listeners need no privileges.
void LEmailSetProbePortsForTests(uint16_t imap_port, uint16_t smtp_port);

// The provider table, sorted by domain in byte order (checked when built).
struct LEmailProvider {
    const char* domain;
    const char* imap_host;
    const char* smtp_host;
};
struct LEmailMxProvider {
    const char* mx_suffix;
    const char* provider_domain;
};
extern const LEmailProvider LEmailProviders[27];
extern const LEmailMxProvider LEmailMxProviders[7];
