#pragma once
// What the host takes from setup, which sits above it: the maker's web host
// (where crash reports go) and setup's one-button message (logged, written
// to standard error, shown where a display is). Setup registers both from a
// static initialiser, so they are in place before main runs and before any
// crash watch or switch can need them; a program built without setup logs
// "<name>: not available." and goes on without.
#include <string>

struct LSetupLink {
    std::string (*maker_web_host)() = nullptr;
    void (*message)(const char16_t* text, const char16_t* caption, const char16_t* button, bool error) = nullptr;
};

// Returns true, so that a registration can initialise a constant.
bool LSetupLinkRegister(const LSetupLink& link);

// Maker\WebHost; empty without setup.
std::string LSetupLinkMakerWebHost();
// One-button message; error selects the error icon, else information.
void LSetupLinkMessage(const char16_t* text, const char16_t* caption, const char16_t* button, bool error);
