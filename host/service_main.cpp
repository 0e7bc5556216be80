#include "host/service_main.h"

#include <csignal>
#include <pthread.h>

#include "foundation/log.h"
#include "web/engine/service_engine.h"

int LServiceMain(int, char**) {
    // Block the stop signals before any thread exists, so every thread
    // inherits the mask and only sigwait below receives them.
    sigset_t stop_set;
    sigemptyset(&stop_set);
    sigaddset(&stop_set, SIGTERM);
    sigaddset(&stop_set, SIGINT);
    pthread_sigmask(SIG_BLOCK, &stop_set, nullptr);
    signal(SIGHUP, SIG_IGN);
    signal(SIGPIPE, SIG_IGN);

    LSetServiceFlag(true);
    LServiceEngine engine;
    engine.Start();
    int sig = 0;
    while (sigwait(&stop_set, &sig) != 0) {
    }
    engine.Stop();
    return 0;
}
