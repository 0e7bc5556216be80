#pragma once
// The class procedure of a window bound to an object through its user-data
// slot: WM_CREATE clears the slot; every other message goes to the bound
// object's WndProc, or to the default procedure while none is bound.
#include "toolkit/window_layer.h"

template <class T>
LResult LObjectClassProc(LHwnd h, uint32_t msg, LWParam w, LLParam l) {
    if (msg == LWM_CREATE) {
        LSetWindowLongPtr(h, LGWLP_USERDATA, 0);
        return 0;
    }
    auto* object = reinterpret_cast<T*>(LGetWindowLongPtr(h, LGWLP_USERDATA));
    if (!object) return LDefWindowProc(h, msg, w, l);
    return object->WndProc(h, msg, w, l);
}
