#pragma once
// The window and dialog base classes: an object bound to its window through
// the common dialog procedure, one virtual handler that offers each message
// to the window's hooks before turning the standard messages into virtual
// calls, and the item, placement, measuring and tip operations every dialog
// uses.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "toolkit/controls.h"
#include "toolkit/layout.h"
#include "toolkit/window_layer.h"

class LWindow;

// A hook's {data, value, extra} block.
struct LHookBlock {
    intptr_t data = 0;
    intptr_t value = 0;
    intptr_t extra = 0;
};
using LMessageHookProc = LResult (*)(LWindow* window, LWParam w, LLParam l, const LHookBlock& block);

// An object a window owns and deletes (after each dispatched message).
class LOwnedObject {
public:
    virtual ~LOwnedObject() = default;
};

// Which item the balloon points at.
struct LBalloonTip {
    LHwnd tip = LHwnd::Null;
    LHwnd target = LHwnd::Null;
    LRect anchor;  // target client coordinates; used when right > 0
};

// A tracking tip (the link hint).
struct LTrackingTip {
    LHwnd tip = LHwnd::Null;
    LHwnd tool = LHwnd::Null;
};

// WM_HELP's record.
struct LHelpInfo {
    int context_type = 1;  // 2: a menu item
};

// WM_NOTIFY's header.
struct LNotifyHeader {
    LHwnd from = LHwnd::Null;
    uintptr_t id = 0;
    int code = 0;
};

constexpr int LHELPINFO_MENUITEM = 2;
constexpr LLParam LPRF_CLIENT = 4;

// Property-sheet notifications and messages.
constexpr int LPSN_SETACTIVE = -200;
constexpr int LPSN_WIZNEXT = -207;
constexpr int LPSN_WIZFINISH = -208;
constexpr uint32_t LPSM_PRESSBUTTON = LWM_USER + 113;
constexpr uint32_t LPSM_SETWIZBUTTONS = LWM_USER + 112;
constexpr int LPSBTN_CANCEL = 5;

// The message being handled by the common dialog procedure (0 outside it).
uint32_t LCurrentMessage();

// The theme and window-manager functions: here there is no UxTheme and no
// DWM, so every entry stays null and the callers' fallback paths run.
struct LThemeApi {
    LHwnd window = LHwnd::Null;
    void* uxtheme = nullptr;
    void* dwmapi = nullptr;
    void* theme = nullptr;
    std::u16string theme_class;
    void* OpenThemeData = nullptr;
    void* CloseThemeData = nullptr;
    void* DrawThemeBackground = nullptr;
    void* GetThemeColor = nullptr;
    void* GetThemeSysColorBrush = nullptr;
    void* GetThemePartSize = nullptr;
    void* GetThemeBackgroundContentRect = nullptr;
    void* GetThemeFont = nullptr;
    void* IsAppThemed = nullptr;
    void* DrawThemeParentBackground = nullptr;
    void* SetWindowTheme = nullptr;
    void* IsThemeBackgroundPartiallyTransparent = nullptr;
    void* DrawThemeTextEx = nullptr;
    void* GetThemeSysFont = nullptr;
    void* IsThemeActive = nullptr;
    void* DrawThemeIcon = nullptr;
    void* EnableThemeDialogTexture = nullptr;
    void* DwmIsCompositionEnabled = nullptr;
    void* DwmSetWindowAttribute = nullptr;
    void* DwmExtendFrameIntoClientArea = nullptr;
    static bool Load(LThemeApi& record);
    // True when the functions that opening theme data needs are all there.
    bool CanOpenTheme() const;
};
void LApplyExplorerTheme(LHwnd window);

class LWindow {
public:
    LWindow();
    virtual ~LWindow();
    LWindow(const LWindow&) = delete;
    LWindow& operator=(const LWindow&) = delete;

    virtual void OnInitDialog() {}
    virtual void OnDestroy() {}
    virtual void OnAfterInit() {}
    virtual bool OnOk() { return true; }
    virtual bool OnCancel() { return true; }
    virtual void OnHelp();
    virtual void UpdateControls() {}
    virtual void OnCommand(int /*id*/, int /*code*/) {}
    virtual void Close() { End(LIDCANCEL); }
    virtual void End(intptr_t /*result*/) {}
    virtual void SavePlacement(const char16_t* section);
    virtual bool UsesGlassFrame() { return false; }
    virtual LResult HandleMessage(uint32_t msg, LWParam w, LLParam l);

    // Hooks.
    void AddMessageHook(uint32_t msg, LMessageHookProc callback, intptr_t data, intptr_t value, intptr_t extra);
    void RemoveMessageHook(uint32_t msg, LMessageHookProc callback, intptr_t data);
    LResult DispatchMessageHooks(LHwnd window, uint32_t msg, LWParam w, LLParam l);
    void FreeMessageHooks();
    void AddOwnedObject(std::unique_ptr<LOwnedObject> object);
    void FlushDeferredDeletes();
    // Menu help: the tip shown while a menu item is highlighted.
    void AddMenuHelp(uint16_t command, const char16_t* text);

    // Items (by id, in client pixels unless dialog units are named).
    LHwnd CreateChild(int id, const char16_t* cls, const char16_t* text, uint32_t style, uint32_t exstyle);
    int DialogUnitsToPixelsX(int n);
    int DialogUnitsToPixelsY(int n);
    void MoveItem(int id, int x, int y, int width, int height);
    void MoveItemDlgUnits(int id, const LRect& du);
    void GetItemRect(int id, int* x, int* y, int* width, int* height);
    void GetItemText(int id, char16_t out[260]);
    void GetItemTextN(int id, char16_t* out, int length);
    void SetItemText(int id, const char16_t* text);
    void EnableItem(int id, bool enable);
    void EnableChoiceItems(bool enable);
    void ShowItemRange(int first, int last, bool show);
    int PlaceStandardButtons(int client_width, int client_height);
    void SetItemTextColors(int id, LColor text, LBrush background);
    void SetItem998TextColor(const class LBackgroundPainter* background);
    void InitListViewColumns();

    // Fonts, icons, placement, measuring, lists and buttons.
    void SetIcons(int big_id, int small_id);
    void SetIconsOwned(int big_id, int small_id);
    void MoveClampedToDesktop(int x, int y, int width, int height);
    void SetClientSize(int width, int height);
    void CenterOnDesktop();
    void CenterOnParent();
    void SetItemHeight(int item, int height);
    int GetTextHeight(const char16_t* text, int width);
    int GetItemWrappedTextHeight(int item, const char16_t* text, int width);
    int GetItemTextHeight(int item, int width);
    int GetItemTextWidth(int item, const char16_t* text);
    int GetItemTextWidthPadded(int item);
    int AppendListItem(const char16_t* text);
    LHwnd CreateCommandLink(int id, const char16_t* title, const char16_t* note);
    void SetSearchPrompt(LHwnd edit);

    // Tips.
    intptr_t AddTooltip(LHwnd* slot, LHwnd control, const char16_t* text);
    void UpdateTooltipText(LHwnd* slot, int item, const char16_t* text);
    void ShowBalloonTip(int item, const char16_t* text, int icon, const char16_t* title);
    void PositionBalloonTip(LBalloonTip& balloon);
    void CloseBalloonTip(LBalloonTip& balloon);
    void ShowLinkHintTip(LTrackingTip& tip, LHwnd tool, int x, int y);

    LHwnd hwnd = LHwnd::Null;
    LBalloonTip balloon;
    LHwnd menu_help_tip = LHwnd::Null;
    bool in_init = false;
    int32_t derived_value = 0;
    void* mouse_tracking = nullptr;

    // For the common dialog procedure: the window this object was bound to.
    LHwnd bound = LHwnd::Null;

private:
    struct Hook {
        uint32_t msg;
        LMessageHookProc callback;
        LHookBlock block;
        bool removed = false;
    };
    struct MenuHelp {
        uint16_t command;
        std::u16string text;
    };
    void TrackTipTo(LHwnd tip, int x, int y);

    std::vector<std::shared_ptr<Hook>> hooks_;
    std::vector<MenuHelp> menu_help_;
    std::vector<std::unique_ptr<LOwnedObject>> owned_;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);

    friend class LAliveCheck;
};

// Whether an object still exists after a call that may delete it.
class LAliveCheck {
public:
    explicit LAliveCheck(LWindow* w) : alive_(w->alive_) {}
    bool Alive() const { return *alive_; }

private:
    std::shared_ptr<bool> alive_;
};

// The common dialog procedure of every dialog object.
intptr_t LDialogProc(LHwnd h, uint32_t msg, LWParam w, LLParam l);

class LDialog : public LWindow {
public:
    LDialog() : layout(this, 1) {}
    void End(intptr_t result) override;
    LResult HandleMessage(uint32_t msg, LWParam w, LLParam l) override;
    virtual void ApplyLayout(int x, int y, int width, int height);

    // Modal runs from an empty template (0 x 0, or characters x lines).
    static bool RunModal(LDialog* object, LHwnd owner);
    static bool RunModalSized(LDialog* object, LHwnd owner, float chars, float lines);
    // The same, answering the dialog's end value (-1 when it could not run).
    static intptr_t RunModalResult(LDialog* object, LHwnd owner, float chars, float lines);

    LDialogLayout layout;
};

class LModelessDialog : public LDialog {
public:
    void OnDestroy() override { FreeMessageHooks(); }
    void Close() override;
    void End(intptr_t) override { Close(); }
};

class LPropertyPage : public LDialog {
public:
    void End(intptr_t result) override;
    LResult HandleMessage(uint32_t msg, LWParam w, LLParam l) override;
    virtual void OnActivate() {}
    virtual void OnDeactivate() {}
    // The page procedure's own handling, which the page's handler falls
    // back to: the sheet notifications become the page's operations.
    virtual LResult BaseHandleMessage(uint32_t msg, LWParam w, LLParam l);

    uint32_t wizard_buttons = 0;
    bool has_help = false;

private:
    int themed_ = -1;  // -1 not tested yet
};

// The background painter's fill modes.
class LBackgroundPainter {
public:
    virtual ~LBackgroundPainter() = default;
    int fill_mode = 0;
    LColor first = 0;
    LColor second = 0;
    LBrush brush = 0;
    // What fills the area: a colour, a gradient or nothing.
    struct Fill {
        int kind = 0;  // 0 nothing, 1 solid colour, 2 horizontal gradient, 3 vertical gradient, 4 picture
        LColor a = 0, b = 0;
    };
    Fill FillBackground(LHwnd window) const;
};

void LForceForegroundWindow(LHwnd window);
LResult LHookStaticTextColor(LWindow* window, LWParam w, LLParam l, const LHookBlock& block);
LResult LHookEditPromptColor(LWindow* window, LWParam w, LLParam l, const LHookBlock& block);

// Fonts (the slot owns its font; each call replaces it).
void LCreateWindowFontCopy(LFont& slot, LHwnd window);
void LCreateWindowFontVariant(LFont& slot, LHwnd window, int n, bool bold, bool underline);
// The default dialog font when a window has none: the interface font.
LFontDesc LDefaultDialogFont();
void LSetEditPromptText(LHwnd edit, const char16_t* text);

// The property sheet's callback: answers 1 (no context-help button is added:
// the sheet has its own Help button here).
int LPropertySheetCallback(LHwnd sheet, uint32_t message, LLParam l);
// The single-instance window's procedure: 0x8068 goes on to the window
// stored in its user data, everything else to the default procedure.
LResult LHiddenWindowProc(LHwnd h, uint32_t msg, LWParam w, LLParam l);
// The subclass of a command link built from a button and a note.
LResult LCommandLinkForwardProc(LHwnd h, uint32_t msg, LWParam w, LLParam l);

// Opens a help topic of the maker's site (a later module defines it).
void LOpenHelpTopic(const char* topic);
