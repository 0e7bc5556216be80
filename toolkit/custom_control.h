#pragma once
// The base of every control the program paints itself: an object bound to
// a dialog item of class "LPC" that turns the item's messages into virtual
// handlers (mouse with enter, leave and hover tracking, keys with their
// modifier bits, first press apart from repeats) and paints through a draw
// context, usually double-buffered.
#include <cstdint>

#include "toolkit/draw_context.h"
#include "toolkit/input_messages.h"

class LWindow;

class LCustomControl {
public:
    LCustomControl();
    virtual ~LCustomControl();
    LCustomControl(const LCustomControl&) = delete;
    LCustomControl& operator=(const LCustomControl&) = delete;

    virtual void Attach(LWindow* owner, int item_id);
    virtual LResult WndProc(LHwnd h, uint32_t msg, LWParam w, LLParam l);
    virtual void Paint(LDrawContext& context) = 0;
    virtual void OnMouseEnter() {}
    virtual void OnMouseLeave() {}
    virtual void OnMouseMove(int, int) {}
    virtual void OnMouseHover(int, int) {}
    virtual void OnLButtonDown(int, int) {}
    virtual void OnLButtonUp(int, int) {}
    virtual void OnRButtonUp(int, int) {}
    virtual void OnRButtonDown(int, int) {}
    virtual void OnMButtonUp(int, int, uint32_t) {}
    virtual void OnMButtonDown(int, int) {}
    virtual void OnMouseWheel(int, int, int) {}
    virtual void OnMouseHWheel(int, int, int) {}
    virtual void OnLButtonDblClk(int, int) {}
    virtual bool OnKeyDown(uint32_t) { return false; }
    virtual bool OnKeyDownUnhandled(uint32_t) { return false; }
    virtual void OnKeyUp(uint32_t) {}
    virtual bool OnChar(char16_t) { return false; }
    virtual void OnSize() {}
    virtual void OnCommand(int, int) {}
    virtual void OnPaint(const LPaintStruct& ps);
    virtual void DrawContent(LDrawContext& context) = 0;

    // The usual Paint: the content drawn off-screen, then copied.
    void PaintDoubleBuffered(LDrawContext& context);
    void Detach();

    int CharsToPixelsX(int n) const;
    int LinesToPixelsY(int n) const;

    int width = 0;
    int height = 0;
    LHwnd hwnd = LHwnd::Null;
    LWindow* owner = nullptr;
    bool tracking = false;
};

// The window procedure of class "LPC": messages go to the attached object.
LResult LCustomControlClassProc(LHwnd h, uint32_t msg, LWParam w, LLParam l);

// The key code of a key message: the virtual key plus the modifier bits of
// the keys held with it.
uint32_t LKeyCodeWithModifiers(uint32_t virtual_key);
