#pragma once
// The window layer: windows bound to handles, their procedures and
// subclasses, properties, item ids, fonts and colour answers, the
// per-thread message queue with timers and dialog keys, modal loops and a
// post that any thread may use. A backend (headless or GTK) shows what the
// layer holds; the layer itself never includes a toolkit header.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/task_progress.h"
#include "toolkit/window_types.h"

using LWndProc = LResult (*)(LHwnd, uint32_t, LWParam, LLParam);
// A dialog procedure answers non-zero when it handled the message; the
// message's own result then comes from the window's result slot, except for
// the messages whose answer is the procedure's value (colour answers,
// WM_INITDIALOG).
using LDlgProc = intptr_t (*)(LHwnd, uint32_t, LWParam, LLParam);
using LTimerProc = void (*)(LHwnd, uint32_t, uintptr_t, uint32_t);

struct LMsg {
    LHwnd hwnd = LHwnd::Null;
    uint32_t message = 0;
    LWParam wParam = 0;
    LLParam lParam = 0;
    uint32_t time = 0;
    // Input the backend's toolkit already acted on (typing into an entry,
    // space on a focused button): dialogs see it but do not act twice.
    bool system_handled = false;
    // Shift, Ctrl and Alt as they were with a key message.
    uint32_t modifiers = 0;
};
constexpr uint32_t LModShift = 1;
constexpr uint32_t LModCtrl = 2;
constexpr uint32_t LModAlt = 4;

// A font as the layer keeps it: a Pango family list, a size in points and
// the weight and slant. Windows share fonts; a font lives while a window or
// a slot holds it.
struct LFontDesc {
    std::string family = "Sans";
    double points = 10;
    int weight = 400;
    bool italic = false;
    bool underline = false;
};
using LFont = std::shared_ptr<const LFontDesc>;
LFont LMakeFont(const LFontDesc& d);

// Brushes are values that carry their colour, so nothing has to be freed.
using LBrush = intptr_t;
LBrush LSolidBrush(LColor c);
LBrush LSysColorBrush(int index);
LColor LGetSysColor(int index);
// False for the null brush.
bool LBrushColor(LBrush b, LColor* out);

// The "device context" of a colour question: WM_CTLCOLOR* carry a pointer to
// one in wParam and the control's handle in lParam; answers set the text
// colour and background mode and return a brush.
struct LColorContext {
    bool has_text_color = false;
    LColor text_color = 0;
    int bk_mode = LOPAQUE;
};
void LSetTextColor(LColorContext* dc, LColor c);
void LSetBkMode(LColorContext* dc, int mode);

// Which backend shows the windows.
enum class LBackendKind { Headless, Gtk };
// Opens the layer on the calling thread, which becomes the window thread.
// The GTK backend needs a display; without one it logs that and answers
// false. Opening again is a no-op answering whether the open backend is of
// the asked kind.
bool LWindowLayerOpen(LBackendKind kind);
bool LWindowLayerIsOpen();
LBackendKind LWindowLayerKind();
// The log line and the check that the desktop start uses.
bool LDesktopOpenDisplay();

// Window classes.
struct LWindowClass {
    std::u16string name;
    LWndProc proc = nullptr;
};
bool LRegisterClass(const char16_t* name, LWndProc proc);

// Creation and destruction.
LHwnd LCreateWindowEx(uint32_t exstyle, const char16_t* cls, const char16_t* text, uint32_t style, int x, int y,
                      int width, int height, LHwnd parent, intptr_t id, LLParam create_param = 0);
bool LDestroyWindow(LHwnd h);
bool LIsWindow(LHwnd h);

// Relations. A child window's parent is its container; a popup's "parent"
// argument is its owner.
LHwnd LGetParent(LHwnd h);
LHwnd LGetOwner(LHwnd h);
LHwnd LGetAncestorRoot(LHwnd h);
LHwnd LGetDlgItem(LHwnd dlg, int id);
int LGetDlgCtrlID(LHwnd h);
std::vector<LHwnd> LGetChildren(LHwnd h);
std::u16string LGetClassName(LHwnd h);
// The first window of the class on the calling thread, or null.
LHwnd LFindWindowOfClass(const char16_t* cls);

// Messages.
LResult LSendMessage(LHwnd h, uint32_t msg, LWParam w, LLParam l);
// Safe from any thread; false when the window is gone.
bool LPostMessage(LHwnd h, uint32_t msg, LWParam w, LLParam l);
void LPostQuitMessage(int code);
LResult LCallWindowProc(LWndProc proc, LHwnd h, uint32_t msg, LWParam w, LLParam l);
LResult LDefWindowProc(LHwnd h, uint32_t msg, LWParam w, LLParam l);
// 1 a message, 0 WM_QUIT, -1 failure (no layer on this thread).
int LGetMessage(LMsg* msg);
bool LPeekMessage(LMsg* msg, bool remove);
LResult LDispatchMessage(const LMsg& msg);
void LTranslateMessage(const LMsg& msg);
bool LIsDialogMessage(LHwnd dlg, const LMsg& msg);
// The modifier keys of the key message being handled.
uint32_t LGetKeyModifiers();
// True while the message being handled came from input the backend's
// toolkit already acted on.
bool LCurrentInputHandledBySystem();

// Timers: a timer of 0 ms fires at the next empty queue.
uintptr_t LSetTimer(LHwnd h, uintptr_t id, uint32_t ms, LTimerProc proc);
bool LKillTimer(LHwnd h, uintptr_t id);

// Waits until one of the handles is signalled (its index), until input is
// queued for the thread (n) or the time runs out (LWaitTimeoutResult).
constexpr int LWaitTimeoutResult = -1;
constexpr int LWaitFailedResult = -2;
int LMsgWaitForMultiple(const LHandle* handles, uint32_t n, uint32_t ms);
// A descriptor that the thread's loop watches: while it is readable the
// loop sends msg to the window (whose handler must drain it).
bool LWatchHandle(LHandle fd, LHwnd h, uint32_t msg);
void LUnwatchHandle(LHandle fd);

// Text, state and geometry.
bool LSetWindowText(LHwnd h, std::u16string_view text);
std::u16string LGetWindowText(LHwnd h);
bool LShowWindow(LHwnd h, int cmd);
bool LIsWindowVisible(LHwnd h);
bool LEnableWindow(LHwnd h, bool enable);
bool LIsWindowEnabled(LHwnd h);
bool LIsIconic(LHwnd h);
bool LIsZoomed(LHwnd h);
// Child rectangles are in the parent's client coordinates, top-level ones
// in screen coordinates.
bool LSetWindowPos(LHwnd h, int x, int y, int width, int height, uint32_t flags);
bool LMoveWindow(LHwnd h, int x, int y, int width, int height, bool repaint);
LRect LGetWindowRect(LHwnd h);  // screen coordinates
LRect LGetClientRect(LHwnd h);  // 0, 0, width, height
LPoint LClientToScreen(LHwnd h, LPoint p);
LPoint LScreenToClient(LHwnd h, LPoint p);
LRect LGetDesktopRect();
// The work area of the monitor nearest to the point.
LRect LGetWorkArea(LPoint near);
LRect LGetPrimaryWorkArea();

// Focus and activation.
LHwnd LSetFocus(LHwnd h);
LHwnd LGetFocus();
LHwnd LGetActiveWindow();
bool LSetForegroundWindow(LHwnd h);

// Properties and window-long slots.
bool LSetProp(LHwnd h, const char* name, intptr_t value);
intptr_t LGetProp(LHwnd h, const char* name);
intptr_t LRemoveProp(LHwnd h, const char* name);
intptr_t LGetWindowLongPtr(LHwnd h, int index);
intptr_t LSetWindowLongPtr(LHwnd h, int index, intptr_t value);

// Fonts.
void LSetWindowFont(LHwnd h, LFont font, bool redraw);
LFont LGetWindowFont(LHwnd h);
// The desktop's interface font (family and size; the size already carries
// the desktop's text scale).
LFontDesc LGetInterfaceFont();
// Pango measure of a text in a font: single line when wrap_width <= 0,
// else word-wrapped at that width in pixels.
LSize LMeasureText(const LFontDesc& font, std::u16string_view text, int wrap_width);
// The font's height and average character width (over the Latin letters),
// the base units of dialog units.
struct LFontMetrics {
    int height = 0;
    int ave_char_width = 0;
};
LFontMetrics LGetFontMetrics(const LFontDesc& font);

// Colours a control takes from its parent's answer to WM_CTLCOLOR*; asked
// again after a colour hook is added or removed.
void LRefreshControlColors(LHwnd h);
struct LControlColors {
    bool has_text = false;
    LColor text = 0;
    bool has_background = false;
    LColor background = 0;
};
LControlColors LGetControlColors(LHwnd h);

// Redraw request (the backend repaints; colour answers are asked again).
void LInvalidate(LHwnd h);
// The hand cursor over a self-painted control (a link under the pointer),
// or the arrow.
void LSetHandCursor(LHwnd h, bool hand);
bool LHasHandCursor(LHwnd h);

// Dialogs: a dialog is a window of class "#32770" whose procedure is a
// dialog procedure. The creation parameter reaches WM_INITDIALOG's lParam.
struct LDialogCreate {
    std::u16string title;
    uint32_t style = 0;
    uint32_t exstyle = 0;
    int x = 0, y = 0, cx = 0, cy = 0;  // dialog units
    double points = 0;                 // 0: no font given
    std::u16string face;
};
LHwnd LCreateDialog(const LDialogCreate& t, LHwnd owner, LDlgProc proc, LLParam param);
// Runs a modal loop until LEndDialog; the owner is disabled meanwhile.
intptr_t LDialogBox(const LDialogCreate& t, LHwnd owner, LDlgProc proc, LLParam param);
bool LEndDialog(LHwnd dlg, intptr_t result);
// Dialog units of the dialog's font to pixels.
LRect LMapDialogRect(LHwnd dlg, LRect r);

// A JSON list of the window and its descendants: handle, class, role,
// name, item id, screen rectangle, visible, enabled, checked.
std::string LDumpWindowTree(LHwnd root);
// The accessibility role name that the backend's widget for this window has.
const char* LWindowRole(LHwnd h);
