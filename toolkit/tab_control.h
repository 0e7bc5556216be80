#pragma once
// The tab control (class "SysTabControl32"): a row of titled tabs, one of
// them selected. A tab the user picks becomes the selection and the parent
// hears TCN_SELCHANGE through WM_NOTIFY; selecting from code notifies no
// one, as the system's control does.
#include <cstdint>

#include "toolkit/window_layer.h"

constexpr uint32_t LTCM_GETITEMCOUNT = 0x1304;
constexpr uint32_t LTCM_DELETEITEM = 0x1308;
constexpr uint32_t LTCM_GETCURSEL = 0x130B;
constexpr uint32_t LTCM_SETCURSEL = 0x130C;
// wParam: the index; lParam: the title (const char16_t*). Answers the
// index the tab got, or -1.
constexpr uint32_t LTCM_INSERTITEM = 0x133E;
constexpr int LTCN_SELCHANGE = -551;

// The procedure of the class.
LResult LTabControlProc(LHwnd h, uint32_t msg, LWParam wp, LLParam lp);
// The user picked the tab (the backends report it).
void LTabPickedByUser(LHwnd h, int index);
// The tab titles, for the backends and the window dump.
std::vector<std::u16string> LTabTitles(LHwnd h);
