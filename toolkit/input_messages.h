#pragma once
// The mouse, key, scroll and clipboard messages of the program's own
// controls, with their Win32 ids so the control code reads as it was
// written; and the paint record a WM_PAINT carries here.
#include <cstdint>

#include "toolkit/window_types.h"

constexpr uint32_t LWM_SETCURSOR = 0x0020;
constexpr uint32_t LWM_SYSKEYUP = 0x0105;
constexpr uint32_t LWM_HSCROLL = 0x0114;
constexpr uint32_t LWM_VSCROLL = 0x0115;
constexpr uint32_t LWM_LBUTTONDBLCLK = 0x0203;
constexpr uint32_t LWM_RBUTTONDOWN = 0x0204;
constexpr uint32_t LWM_RBUTTONUP = 0x0205;
constexpr uint32_t LWM_MBUTTONDOWN = 0x0207;
constexpr uint32_t LWM_MBUTTONUP = 0x0208;
constexpr uint32_t LWM_MOUSEWHEEL = 0x020A;
constexpr uint32_t LWM_MOUSEHWHEEL = 0x020E;
constexpr uint32_t LWM_MOUSEHOVER = 0x02A1;
constexpr uint32_t LWM_MOUSELEAVE = 0x02A3;
constexpr uint32_t LWM_CUT = 0x0300;
constexpr uint32_t LWM_PASTE = 0x0302;
constexpr uint32_t LWM_CLEAR = 0x0303;
constexpr uint32_t LEM_SETSEL = 0x00B1;
constexpr uint32_t LEM_REPLACESEL = 0x00C2;

// Virtual keys beyond the dialog keys.
constexpr uint32_t LVK_BACK = 0x08;
constexpr uint32_t LVK_CONTROL = 0x11;
constexpr uint32_t LVK_PAUSE = 0x13;
constexpr uint32_t LVK_PRIOR = 0x21;
constexpr uint32_t LVK_NEXT = 0x22;
constexpr uint32_t LVK_END = 0x23;
constexpr uint32_t LVK_HOME = 0x24;
constexpr uint32_t LVK_LEFT = 0x25;
constexpr uint32_t LVK_UP = 0x26;
constexpr uint32_t LVK_RIGHT = 0x27;
constexpr uint32_t LVK_DOWN = 0x28;
constexpr uint32_t LVK_INSERT = 0x2D;
constexpr uint32_t LVK_DELETE = 0x2E;
constexpr uint32_t LVK_LWIN = 0x5B;
constexpr uint32_t LVK_RWIN = 0x5C;
constexpr uint32_t LVK_APPS = 0x5D;
constexpr uint32_t LVK_F1 = 0x70;

// Modifier bits of a key code (the virtual key in the low 16 bits).
constexpr uint32_t LKEY_CTRL = 0x20000;
constexpr uint32_t LKEY_ALT = 0x10000;
constexpr uint32_t LKEY_SHIFT = 0x40000;

// Bit 30 of a key message's lParam: the key was already down (auto-repeat).
constexpr intptr_t LKEY_REPEAT_BIT = intptr_t{1} << 30;

// Scroll-bar codes.
constexpr uint32_t LSB_LINEUP = 0;
constexpr uint32_t LSB_LINEDOWN = 1;
constexpr uint32_t LSB_PAGEUP = 2;
constexpr uint32_t LSB_PAGEDOWN = 3;
constexpr uint32_t LSB_THUMBPOSITION = 4;
constexpr uint32_t LSB_THUMBTRACK = 5;
constexpr uint32_t LSB_TOP = 6;
constexpr uint32_t LSB_BOTTOM = 7;

// lParam halves as signed coordinates.
inline int LParamX(intptr_t l) { return static_cast<int16_t>(l & 0xFFFF); }
inline int LParamY(intptr_t l) { return static_cast<int16_t>((l >> 16) & 0xFFFF); }
inline intptr_t LMakePointParam(int x, int y) {
    return static_cast<intptr_t>((static_cast<uint32_t>(x) & 0xFFFF) | ((static_cast<uint32_t>(y) & 0xFFFF) << 16));
}

// What WM_PAINT carries in wParam here: the cairo context of the pass (in
// the window's client coordinates) and the area to repaint.
struct LPaintStruct {
    void* cairo = nullptr;
    LRect paint;
};
