#pragma once
// The service main: `porlinex -service [start arguments]` runs it in the
// foreground. It opens the service socket so desktops can connect, waits
// the start delay, starts the engine, reports itself running and serves
// desktop messages on this thread until SIGTERM (stop) or SIGINT
// (shutdown), then stops the socket, the connections and the engine in that
// order. Its state goes to the state file of the run folder.
#include <cstdint>

// The start delay of "Service\Delay" in milliseconds: 1000 when missing or
// empty; 0 or less means none.
int64_t LServiceReadDelay();
// The number of 200 ms steps the delay is slept in: (delay - 1) / 200 + 1,
// 0 when the delay is 0 or less.
uint32_t LServiceDelaySteps(int64_t delay_ms);
// True when the start arguments are exactly "-manual" (a start by
// LServiceStart), which skips the delay.
bool LServiceIsManualStart(int argc, char** argv);

// The control handler: 1 (stop) and 5 (shutdown) move a service that has
// not stopped to stop pending and tell the socket server to end. Every
// control re-reports the state.
constexpr uint32_t LServiceControlStop = 1;
constexpr uint32_t LServiceControlShutdown = 5;
void LServiceCtrlHandler(uint32_t control);

// argv holds the start arguments (those after "-service"). Returns the
// process exit code: 0 after a stop, 1 when the service could not open its
// socket (another service runs, or the run folder is not ours).
int LServiceMain(int argc, char** argv);
