#pragma once
// What the main window hands to later modules (the thanks page, the
// closing prompts, the maker's menu commands). Each has a weak stand-in
// here; the module that implements one defines the same function and
// replaces it at link time.
class LWindow;

// Opens the thanks page (shown once, after the interface was first used).
void LOpenThanksPage();
// The prompts shown when the main window is closed; they end by hiding it.
void LRunClosingPrompts(LWindow* main_window);
// A command of the maker's menus (9000-9999 and the banner's 810-812);
// false when nobody handles it.
bool LRunMainWindowCommand(LWindow* main_window, int id);
