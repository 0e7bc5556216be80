#pragma once
// What the main window hands to the maker's services: the maker's menu
// commands. The thanks page and the closing prompts are setup's own
// (setup/closing_prompts.h).
class LWindow;

// A command of the maker's menus (9005-9316); false for any other id.
bool LRunMainWindowCommand(LWindow* main_window, int id);
