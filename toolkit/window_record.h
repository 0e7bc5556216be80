#pragma once
// What the layer keeps per window, and the interface a backend implements.
// Only the layer's own files and the backends include this header.
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "toolkit/scroll_bars.h"
#include "toolkit/window_layer.h"

struct LListColumn {
    std::u16string title;
    int width = 0;
    int format = 0;
};

struct LToolEntry {
    LHwnd tool = LHwnd::Null;
    uint32_t flags = 0;
    std::u16string text;
};

struct LWnd {
    LHwnd handle = LHwnd::Null;
    std::u16string cls;  // as registered
    LWndProc proc = nullptr;
    LDlgProc dlgproc = nullptr;
    uint32_t style = 0;
    uint32_t exstyle = 0;
    LHwnd parent = LHwnd::Null;  // container of a child
    LHwnd owner = LHwnd::Null;   // owner of a top-level window
    intptr_t id = 0;
    std::u16string text;
    LRect rect;  // parent client coordinates (children) or screen (top level)
    bool visible = false;
    bool enabled = true;
    bool iconic = false;
    bool zoomed = false;
    bool destroyed = false;
    std::thread::id thread;
    std::map<std::string, intptr_t> props;
    intptr_t user_data = 0;
    intptr_t dlg_user = 0;
    intptr_t dlg_result = 0;
    LFont font;
    std::vector<LHwnd> children;
    LHwnd focus = LHwnd::Null;  // top level: its focused descendant

    // Dialogs.
    bool is_dialog = false;
    bool dialog_ended = false;
    intptr_t end_result = 0;
    int def_id = LIDOK;

    // Control state.
    int check = 0;
    int pos = 0, range_lo = 0, range_hi = 100, bar_state = LPBST_NORMAL;
    bool marquee = false;
    std::u16string cue;
    bool cue_when_focused = false;     // the prompt stays while the edit has the focus
    intptr_t icon = 0;
    LControlColors colors;
    std::vector<LListColumn> columns;
    std::vector<std::u16string> rows;  // list items, tab titles, drop-down entries
    int cur_sel = -1;                  // the selected tab or drop-down entry
    bool hand_cursor = false;          // a link is under the pointer
    int text_limit = 0;                // edits: 0 = no limit
    uint32_t list_ex_style = 0;
    // Tooltip windows.
    std::vector<LToolEntry> tools;
    bool track_active = false;
    LPoint track_pos;
    int max_tip_width = 0;
    std::u16string tip_title;
    int tip_icon = 0;
    // The window's own scroll bars (LSB_HORZ, LSB_VERT).
    LScrollInfo scroll[2];
    bool scroll_shown[2] = {false, false};

    void* peer = nullptr;  // the backend's widget
};
using LWndRef = std::shared_ptr<LWnd>;

// Which parts of a window changed, for the backend.
enum : uint32_t {
    LChangeText = 1,
    LChangeRect = 2,
    LChangeVisible = 4,
    LChangeEnabled = 8,
    LChangeFont = 16,
    LChangeState = 32,
    LChangeStyle = 64,
    LChangeColors = 128,
    LChangeFocus = 256,
    LChangeTools = 512,
    LChangeList = 1024,
    LChangeScroll = 2048,
};

class LWindowBackend {
public:
    virtual ~LWindowBackend() = default;
    virtual LBackendKind Kind() const = 0;
    virtual void Created(LWnd& w) = 0;
    virtual void Destroyed(LWnd& w) = 0;
    virtual void Changed(LWnd& w, uint32_t what) = 0;
    virtual LSize MeasureText(const LFontDesc& font, std::u16string_view text, int wrap_width) = 0;
    virtual LFontDesc InterfaceFont() = 0;
    virtual LRect DesktopRect() = 0;
    virtual LRect WorkAreaAt(LPoint p) = 0;
    // Non-client insets of a top-level window: left, top, right, bottom.
    virtual LRect FrameInsets(const LWnd& w) = 0;
    // Waits for one of the descriptors (index), anything the toolkit turns
    // into queued input (n), or the time (LWaitTimeoutResult); the system's
    // own events are handled meanwhile.
    virtual int Wait(const int* fds, uint32_t n, uint32_t ms) = 0;
    virtual void Present(LWnd& w) = 0;
    // The width of a vertical scroll bar (the height of a horizontal one).
    virtual int ScrollBarSize() = 0;
};

// Class names compare without regard to ASCII case, as window classes do.
bool LSameClassName(std::u16string_view a, std::u16string_view b);
inline bool LClassIs(const LWnd& w, const char16_t* name) { return LSameClassName(w.cls, name); }

// The layer's own helpers: top-level test and change notice to the backend.
bool LWndIsTopLevel(const LWnd& w);
void LWndNotify(LWnd& w, uint32_t what);

// The layer's table, for its own files and the backends.
LWndRef LWndFind(LHwnd h);
// Backends report what the user did: these update the record and queue
// the messages a window would get.
void LWndNoteRect(LHwnd h, const LRect& r);
void LWndNoteFocus(LHwnd h);
void LWndNoteText(LHwnd h, std::u16string_view text);
// A button clicked by the user or by BM_CLICK: check state for check boxes
// and radio buttons (unchecking the group), then BN_CLICKED to the parent.
void LButtonClicked(LHwnd h, int new_check);
// The thumb's position while the user drags it (the bar's track position).
void LWndNoteScrollTrack(LHwnd h, int bar, int track);
// Queues a message produced from system input on the window's thread.
void LPostInput(const LMsg& m);
LWindowBackend* LBackend();
// Radio buttons in the same group as this one (itself included).
std::vector<LHwnd> LRadioGroup(LHwnd h);

// The backends, made by the layer.
std::unique_ptr<LWindowBackend> LMakeHeadlessBackend();
std::unique_ptr<LWindowBackend> LMakeGtkBackend();
