#pragma once
// What the main window hands to the maker's services: the thanks page,
// the closing prompts and the maker's menu commands.
class LWindow;

// Opens the thanks page (shown once, after the interface was first used).
void LOpenThanksPage();
// The prompts shown when the main window is closed; they end by hiding it.
void LRunClosingPrompts(LWindow* main_window);
// A command of the maker's menus (9005-9316); false for any other id.
bool LRunMainWindowCommand(LWindow* main_window, int id);
