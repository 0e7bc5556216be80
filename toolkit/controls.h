#pragma once
// The standard controls' messages beyond the window basics: tooltips and
// list views take our own small records where the system took its structs.
#include <cstdint>

#include "toolkit/window_layer.h"

// Edit styles: several lines (with a vertical scroll bar under
// LWS_VSCROLL), read only.
constexpr uint32_t LES_MULTILINE = 0x0004;
constexpr uint32_t LES_READONLY = 0x0800;
constexpr uint32_t LES_WANTRETURN = 0x1000;

// Tooltip messages and tool flags.
constexpr uint32_t LTTM_TRACKACTIVATE = LWM_USER + 17;
constexpr uint32_t LTTM_TRACKPOSITION = LWM_USER + 18;
constexpr uint32_t LTTM_SETMAXTIPWIDTH = LWM_USER + 24;
constexpr uint32_t LTTM_GETBUBBLESIZE = LWM_USER + 30;
constexpr uint32_t LTTM_SETTITLE = LWM_USER + 33;
constexpr uint32_t LTTM_ADDTOOL = LWM_USER + 50;
constexpr uint32_t LTTM_GETTEXT = LWM_USER + 56;
constexpr uint32_t LTTM_UPDATETIPTEXT = LWM_USER + 57;
constexpr uint32_t LTTF_IDISHWND = 0x0001;
constexpr uint32_t LTTF_CENTERTIP = 0x0002;
constexpr uint32_t LTTF_SUBCLASS = 0x0010;
constexpr uint32_t LTTF_TRACK = 0x0020;
constexpr uint32_t LTTF_ABSOLUTE = 0x0080;
constexpr uint32_t LTTF_PARSELINKS = 0x1000;
constexpr int LTTI_WARNING = 2;

// lParam of LTTM_ADDTOOL, LTTM_UPDATETIPTEXT and LTTM_GETTEXT (which fills
// text_out with up to 259 units).
struct LToolInfo {
    uint32_t flags = 0;
    LHwnd tool = LHwnd::Null;
    const char16_t* text = nullptr;
    char16_t* text_out = nullptr;
};

// List-view messages.
constexpr uint32_t LLVM_GETITEMCOUNT = 0x1004;
constexpr uint32_t LLVM_GETCOLUMNWIDTH = 0x101D;
constexpr uint32_t LLVM_SETCOLUMNWIDTH = 0x101E;
constexpr uint32_t LLVM_SETEXTENDEDLISTVIEWSTYLE = 0x1036;
constexpr uint32_t LLVM_INSERTITEM = 0x104D;
constexpr uint32_t LLVM_INSERTCOLUMN = 0x1061;
constexpr uint32_t LLVM_ISGROUPVIEWENABLED = 0x10AF;
constexpr uint32_t LLVS_EX_FULLROWSELECT = 0x20;
constexpr uint32_t LLVS_EX_DOUBLEBUFFER = 0x10000;
constexpr int LLVCFMT_LEFT = 0;

// lParam of LLVM_INSERTCOLUMN (wParam: the column index).
struct LListColumnInfo {
    const char16_t* title = nullptr;
    int width = 0;
    int format = 0;
};

// Icons are values: the embedded picture's resource id and a pixel size.
using LIcon = intptr_t;
inline LIcon LMakeIcon(int resource, int size) { return static_cast<LIcon>((size << 16) | (resource & 0xFFFF)); }
inline int LIconResource(LIcon i) { return static_cast<int>(i & 0xFFFF); }
inline int LIconSize(LIcon i) { return static_cast<int>((i >> 16) & 0xFFFF); }
// The program's icon as PNG bytes (resource 1).
const unsigned char* LAppIconPng(size_t* size);

// Check state of a button.
inline int LButtonGetCheck(LHwnd h) { return static_cast<int>(LSendMessage(h, LBM_GETCHECK, 0, 0)); }
