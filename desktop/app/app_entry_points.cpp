#include "desktop/app/app_entry_points.h"

#include "desktop/toolkit/window.h"
#include "foundation/log.h"

#define L_STAND_IN __attribute__((weak))

L_STAND_IN void LOpenThanksPage() { LLog("LOpenThanksPage: not available.", 2); }

L_STAND_IN void LRunClosingPrompts(LWindow* main_window) {
    if (main_window && main_window->hwnd != LHwnd::Null) LShowWindow(main_window->hwnd, LSW_HIDE);
}

L_STAND_IN bool LRunMainWindowCommand(LWindow*, int) { return false; }
