#pragma once
// Tells the desktop that a web listener has started listening (event
// 0x1000013). The listener sits below the host, so the host registers how
// the desktop is told: through its service proxy in the desktop process,
// through the pipe broadcast in the service.
using LListeningHook = void (*)();
void LListenerSetListeningHook(LListeningHook hook);
// Called by a listener once its port is open; nobody is told without a hook.
void LListenerNotifyListening();

// A listener's bind-failed flag: set when its port is taken (OnBindFailed),
// cleared once it listens (OnListening). The desktop asks whether either
// listener has failed to bind (pipe query 0x1000011).
void LListenerSetBindFailed(bool secure, bool failed);
bool LListenerAnyBindFailed();
