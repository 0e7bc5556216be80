#pragma once
// Runs the window layer's loop on the calling thread (and with it GTK and
// the session bus) until a condition holds, for tests of the desktop.
#include <functional>

// Dispatches what arrives until pred holds; false after 20 seconds.
bool LTestPumpUntil(const std::function<bool()>& pred);
