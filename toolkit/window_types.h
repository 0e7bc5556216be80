#pragma once
// The shapes the toolkit's windows speak in: handles, message parameters,
// rectangles, and the message, style and item ids. Ids keep their Win32
// values (and their Win32 names behind an L prefix) so that every dialog
// reads as the window code it mirrors; nothing here comes from a system
// header.
#include <cstdint>

// A window handle: a number that is never reused while the process runs, so
// a handle to a destroyed window finds nothing instead of freed memory.
enum class LHwnd : uint32_t { Null = 0 };

using LWParam = uintptr_t;
using LLParam = intptr_t;
using LResult = intptr_t;

inline LLParam LHwndToParam(LHwnd h) { return static_cast<LLParam>(h); }
inline LHwnd LHwndFromParam(intptr_t v) { return static_cast<LHwnd>(static_cast<uint32_t>(v)); }

struct LPoint {
    int x = 0, y = 0;
};

struct LSize {
    int cx = 0, cy = 0;
};

struct LRect {
    int left = 0, top = 0, right = 0, bottom = 0;
    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
    bool operator==(const LRect& o) const = default;
};

inline LWParam LMakeWParam(uint32_t low, uint32_t high) { return (low & 0xFFFF) | ((high & 0xFFFF) << 16); }
inline uint32_t LLoWord(uintptr_t v) { return static_cast<uint32_t>(v & 0xFFFF); }
inline uint32_t LHiWord(uintptr_t v) { return static_cast<uint32_t>((v >> 16) & 0xFFFF); }

// A colour as 0x00BBGGRR.
using LColor = uint32_t;
constexpr LColor LRgb(uint32_t r, uint32_t g, uint32_t b) { return r | (g << 8) | (b << 16); }

// Messages.
constexpr uint32_t LWM_NULL = 0x0000;
constexpr uint32_t LWM_CREATE = 0x0001;
constexpr uint32_t LWM_DESTROY = 0x0002;
constexpr uint32_t LWM_MOVE = 0x0003;
constexpr uint32_t LWM_SIZE = 0x0005;
constexpr uint32_t LWM_ACTIVATE = 0x0006;
constexpr uint32_t LWM_SETFOCUS = 0x0007;
constexpr uint32_t LWM_KILLFOCUS = 0x0008;
constexpr uint32_t LWM_ENABLE = 0x000A;
constexpr uint32_t LWM_SETTEXT = 0x000C;
constexpr uint32_t LWM_GETTEXT = 0x000D;
constexpr uint32_t LWM_GETTEXTLENGTH = 0x000E;
constexpr uint32_t LWM_PAINT = 0x000F;
constexpr uint32_t LWM_CLOSE = 0x0010;
constexpr uint32_t LWM_QUIT = 0x0012;
constexpr uint32_t LWM_ERASEBKGND = 0x0014;
constexpr uint32_t LWM_SHOWWINDOW = 0x0018;
constexpr uint32_t LWM_NEXTDLGCTL = 0x0028;
constexpr uint32_t LWM_WINDOWPOSCHANGING = 0x0046;
constexpr uint32_t LWM_WINDOWPOSCHANGED = 0x0047;
constexpr uint32_t LWM_NOTIFY = 0x004E;
constexpr uint32_t LWM_HELP = 0x0053;
constexpr uint32_t LWM_SETICON = 0x0080;
constexpr uint32_t LWM_NCLBUTTONDOWN = 0x00A1;
constexpr uint32_t LWM_KEYDOWN = 0x0100;
constexpr uint32_t LWM_KEYUP = 0x0101;
constexpr uint32_t LWM_CHAR = 0x0102;
constexpr uint32_t LWM_SYSKEYDOWN = 0x0104;
constexpr uint32_t LWM_INITDIALOG = 0x0110;
constexpr uint32_t LWM_COMMAND = 0x0111;
constexpr uint32_t LWM_SYSCOMMAND = 0x0112;
constexpr uint32_t LWM_TIMER = 0x0113;
constexpr uint32_t LWM_INITMENUPOPUP = 0x0117;
constexpr uint32_t LWM_MENUSELECT = 0x011F;
constexpr uint32_t LWM_CTLCOLOREDIT = 0x0133;
constexpr uint32_t LWM_CTLCOLORBTN = 0x0135;
constexpr uint32_t LWM_CTLCOLORDLG = 0x0136;
constexpr uint32_t LWM_CTLCOLORSTATIC = 0x0138;
constexpr uint32_t LWM_MOUSEMOVE = 0x0200;
constexpr uint32_t LWM_LBUTTONDOWN = 0x0201;
constexpr uint32_t LWM_LBUTTONUP = 0x0202;
constexpr uint32_t LWM_SIZING = 0x0214;
constexpr uint32_t LWM_MOVING = 0x0216;
constexpr uint32_t LWM_PRINTCLIENT = 0x0318;
constexpr uint32_t LWM_THEMECHANGED = 0x031A;
constexpr uint32_t LWM_USER = 0x0400;
constexpr uint32_t LWM_APP = 0x8000;

// Dialog messages and the toolkit's private messages.
constexpr uint32_t LDM_GETDEFID = LWM_USER + 0;
constexpr uint32_t LDM_SETDEFID = LWM_USER + 1;
constexpr uint32_t LWM_TRAYCALLBACK = 0x8067;
constexpr uint32_t LWM_OPENREQUEST = 0x8068;
constexpr uint32_t LWM_POSTAFTERINIT = 0x806A;
constexpr uint32_t LWM_AFTERINIT = 0x806B;
constexpr uint32_t LWM_SQUAREMENUCORNERS = 0x806C;
constexpr uint32_t LWM_MAINWINDOWSIZE = 0x806E;

// Button messages and notifications.
constexpr uint32_t LBM_GETCHECK = 0x00F0;
constexpr uint32_t LBM_SETCHECK = 0x00F1;
constexpr uint32_t LBM_CLICK = 0x00F5;
constexpr uint32_t LBN_CLICKED = 0;
constexpr uint32_t LBST_UNCHECKED = 0;
constexpr uint32_t LBST_CHECKED = 1;
constexpr uint32_t LEN_CHANGE = 0x0300;

// Progress bar messages and states.
constexpr uint32_t LPBM_SETRANGE = LWM_USER + 1;
constexpr uint32_t LPBM_SETPOS = LWM_USER + 2;
constexpr uint32_t LPBM_GETPOS = LWM_USER + 8;
constexpr uint32_t LPBM_SETMARQUEE = LWM_USER + 10;
constexpr uint32_t LPBM_SETSTATE = LWM_USER + 16;
constexpr uint32_t LPBM_GETSTATE = LWM_USER + 17;
constexpr uint32_t LPBST_NORMAL = 1;
constexpr uint32_t LPBST_ERROR = 2;

// Edit messages.
constexpr uint32_t LEM_LIMITTEXT = 0x00C5;
constexpr uint32_t LEM_SETCUEBANNER = 0x1501;

// Static messages.
constexpr uint32_t LSTM_SETICON = 0x0170;

// Menu-select flags.
constexpr uint32_t LMF_POPUP = 0x0010;
constexpr uint32_t LMF_MOUSESELECT = 0x8000;

// Window styles.
constexpr uint32_t LWS_OVERLAPPED = 0x00000000;
constexpr uint32_t LWS_POPUP = 0x80000000;
constexpr uint32_t LWS_CHILD = 0x40000000;
constexpr uint32_t LWS_MINIMIZE = 0x20000000;
constexpr uint32_t LWS_VISIBLE = 0x10000000;
constexpr uint32_t LWS_DISABLED = 0x08000000;
constexpr uint32_t LWS_CLIPCHILDREN = 0x02000000;
constexpr uint32_t LWS_MAXIMIZE = 0x01000000;
constexpr uint32_t LWS_CAPTION = 0x00C00000;
constexpr uint32_t LWS_BORDER = 0x00800000;
constexpr uint32_t LWS_VSCROLL = 0x00200000;
constexpr uint32_t LWS_SYSMENU = 0x00080000;
constexpr uint32_t LWS_THICKFRAME = 0x00040000;
constexpr uint32_t LWS_GROUP = 0x00020000;
constexpr uint32_t LWS_TABSTOP = 0x00010000;
constexpr uint32_t LWS_EX_DLGMODALFRAME = 0x00000001;
constexpr uint32_t LWS_EX_TOPMOST = 0x00000008;
constexpr uint32_t LWS_EX_TRANSPARENT = 0x00000020;
constexpr uint32_t LWS_EX_CONTEXTHELP = 0x00000400;

// Dialog styles.
constexpr uint32_t LDS_SETFONT = 0x0040;
constexpr uint32_t LDS_MODALFRAME = 0x0080;
constexpr uint32_t LDS_3DLOOK = 0x0004;
constexpr uint32_t LDS_FIXEDSYS = 0x0008;
constexpr uint32_t LDS_CENTER = 0x0800;
constexpr uint32_t LDS_CONTEXTHELP = 0x2000;

// Button styles.
constexpr uint32_t LBS_PUSHBUTTON = 0x0000;
constexpr uint32_t LBS_DEFPUSHBUTTON = 0x0001;
constexpr uint32_t LBS_CHECKBOX = 0x0002;
constexpr uint32_t LBS_AUTOCHECKBOX = 0x0003;
constexpr uint32_t LBS_AUTORADIOBUTTON = 0x0009;
constexpr uint32_t LBS_GROUPBOX = 0x0007;
constexpr uint32_t LBS_COMMANDLINK = 0x000E;
constexpr uint32_t LBS_TYPEMASK = 0x000F;
constexpr uint32_t LBS_TOP = 0x0400;
constexpr uint32_t LBS_CENTER = 0x0300;

// Static styles.
constexpr uint32_t LSS_LEFT = 0x0000;
constexpr uint32_t LSS_ICON = 0x0003;
constexpr uint32_t LSS_ETCHEDHORZ = 0x0010;
constexpr uint32_t LSS_ETCHEDFRAME = 0x0012;
constexpr uint32_t LSS_TYPEMASK = 0x001F;
constexpr uint32_t LSS_NOPREFIX = 0x0080;

// Progress bar style.
constexpr uint32_t LPBS_MARQUEE = 0x0008;

// Tooltip styles.
constexpr uint32_t LTTS_ALWAYSTIP = 0x01;
constexpr uint32_t LTTS_NOPREFIX = 0x02;
constexpr uint32_t LTTS_BALLOON = 0x40;
constexpr uint32_t LTTS_CLOSE = 0x80;

// Item ids of the standard buttons.
constexpr int LIDOK = 1;
constexpr int LIDCANCEL = 2;
constexpr int LIDABORT = 3;
constexpr int LIDRETRY = 4;
constexpr int LIDIGNORE = 5;
constexpr int LIDYES = 6;
constexpr int LIDNO = 7;
constexpr int LIDCLOSE = 8;
constexpr int LIDHELP = 9;
constexpr int LIDTRYAGAIN = 10;
constexpr int LIDCONTINUE = 11;

// ShowWindow commands.
constexpr int LSW_HIDE = 0;
constexpr int LSW_SHOWNORMAL = 1;
constexpr int LSW_SHOWMINIMIZED = 2;
constexpr int LSW_SHOWMAXIMIZED = 3;
constexpr int LSW_SHOW = 5;
constexpr int LSW_MINIMIZE = 6;
constexpr int LSW_RESTORE = 9;

// SetWindowPos flags.
constexpr uint32_t LSWP_NOSIZE = 0x0001;
constexpr uint32_t LSWP_NOMOVE = 0x0002;
constexpr uint32_t LSWP_NOZORDER = 0x0004;
constexpr uint32_t LSWP_NOACTIVATE = 0x0010;
constexpr uint32_t LSWP_FRAMECHANGED = 0x0020;
constexpr uint32_t LSWP_NOCOPYBITS = 0x0100;
constexpr uint32_t LSWP_NOOWNERZORDER = 0x0200;

// Virtual keys.
constexpr uint32_t LVK_TAB = 0x09;
constexpr uint32_t LVK_RETURN = 0x0D;
constexpr uint32_t LVK_SHIFT = 0x10;
constexpr uint32_t LVK_MENU = 0x12;
constexpr uint32_t LVK_ESCAPE = 0x1B;
constexpr uint32_t LVK_SPACE = 0x20;

// WM_SIZE kinds.
constexpr uint32_t LSIZE_RESTORED = 0;
constexpr uint32_t LSIZE_MINIMIZED = 1;

// Window-long slots.
constexpr int LGWLP_WNDPROC = -4;
constexpr int LGWLP_USERDATA = -21;
constexpr int LGWL_STYLE = -16;
constexpr int LGWL_EXSTYLE = -20;
constexpr int LGWLP_ID = -12;
constexpr int LDWLP_MSGRESULT = 0;
constexpr int LDWLP_USER = 16;

// Background modes of a colour answer.
constexpr int LTRANSPARENT = 1;
constexpr int LOPAQUE = 2;

// System colours the toolkit paints with.
constexpr int LCOLOR_WINDOW = 5;
constexpr int LCOLOR_BTNFACE = 15;

// Icons of the message and task dialogs.
constexpr int LTD_WARNING_ICON = -1;
constexpr int LTD_ERROR_ICON = -2;
constexpr int LTD_INFORMATION_ICON = -3;

// Message-box types.
constexpr uint32_t LMB_OK = 0x0;
constexpr uint32_t LMB_OKCANCEL = 0x1;
constexpr uint32_t LMB_ABORTRETRYIGNORE = 0x2;
constexpr uint32_t LMB_YESNOCANCEL = 0x3;
constexpr uint32_t LMB_YESNO = 0x4;
constexpr uint32_t LMB_RETRYCANCEL = 0x5;
constexpr uint32_t LMB_CANCELTRYCONTINUE = 0x6;
constexpr uint32_t LMB_TYPEMASK = 0xF;
constexpr uint32_t LMB_ICONERROR = 0x10;
constexpr uint32_t LMB_ICONQUESTION = 0x20;
constexpr uint32_t LMB_ICONWARNING = 0x30;
constexpr uint32_t LMB_ICONINFORMATION = 0x40;
constexpr uint32_t LMB_ICONMASK = 0xF0;
constexpr uint32_t LMB_DEFMASK = 0xF00;
constexpr uint32_t LMB_SYSTEMMODAL = 0x1000;
constexpr uint32_t LMB_SETFOREGROUND = 0x10000;
constexpr uint32_t LMB_TOPMOST = 0x40000;
