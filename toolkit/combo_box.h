#pragma once
// The drop-down list: a "ComboBox" item that holds a list of texts and the
// index of the chosen one (-1: none). A choice the user makes reaches the
// parent as WM_COMMAND with CBN_SELCHANGE; one made by CB_SETCURSEL does
// not, as with the system's list.
#include <cstdint>

#include "toolkit/window_layer.h"

constexpr uint32_t LCB_ADDSTRING = 0x0143;
constexpr uint32_t LCB_GETCOUNT = 0x0146;
constexpr uint32_t LCB_GETCURSEL = 0x0147;
constexpr uint32_t LCB_GETLBTEXT = 0x0148;  // lParam: room for LCB_GETLBTEXTLEN + 1 units
constexpr uint32_t LCB_GETLBTEXTLEN = 0x0149;
constexpr uint32_t LCB_RESETCONTENT = 0x014B;
constexpr uint32_t LCB_SETCURSEL = 0x014E;
constexpr LResult LCB_ERR = -1;
constexpr uint32_t LCBN_SELCHANGE = 1;
constexpr uint32_t LCBS_DROPDOWNLIST = 0x0003;

// A list holds at most this many entries; more are refused (CB_ERR).
constexpr size_t LComboMaxItems = 4096;

LResult LComboBoxProc(LHwnd h, uint32_t msg, LWParam w, LLParam l);
// The backends report the user's choice: the record follows and the parent
// hears CBN_SELCHANGE.
void LComboSelectedByUser(LHwnd h, int index);
