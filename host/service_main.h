#pragma once
// Runs the service in the foreground: the engine's Start, then a wait for
// SIGTERM or SIGINT (the stop and shutdown controls), then its Stop.
// Returns the process exit code.
int LServiceMain(int argc, char** argv);
