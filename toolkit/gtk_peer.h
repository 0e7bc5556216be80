#pragma once
// What the GTK backend keeps per window, and the pieces of the backend
// that live in their own files: a window's own scroll bars and the tab
// control's notebook.
#include <gtk/gtk.h>

#include "toolkit/window_record.h"

struct LGtkPeer {
    GtkWidget* widget = nullptr;  // what is placed or shown
    GtkWidget* inner = nullptr;   // a toplevel's GtkFixed; the balloon's text label
    GtkWidget* title = nullptr;   // the balloon's title label
    GtkWidget* icon = nullptr;    // the balloon's title icon
    GtkCssProvider* css = nullptr;
    guint pulse = 0;
    GtkWidget* bars[2] = {nullptr, nullptr};  // the window's own scroll bars (LSB_HORZ, LSB_VERT)
};

inline LGtkPeer* LGtkPeerOf(LWnd& w) { return static_cast<LGtkPeer*>(w.peer); }

// The bars are GtkScrollbars beside the control in its top level's
// GtkFixed; their adjustments mirror the layer's bar records (the range's
// maximum is inclusive there, exclusive in GTK). What the user asks of a
// bar reaches the window as WM_VSCROLL or WM_HSCROLL. Made when a bar
// first shows; the caller places and shows them afterwards.
void LGtkSyncScrollBars(LWnd& w, LGtkPeer& p);
// Beside the client area (x, y, width, height in the top level's
// coordinates) at the given thickness.
void LGtkPlaceScrollBars(LGtkPeer& p, int x, int y, int width, int height, int size);
// Bars show only while their window and all its parents show.
void LGtkShowScrollBars(const LWnd& w, LGtkPeer& p, bool parent_shown = true);
void LGtkDestroyScrollBars(LGtkPeer& p);
// The theme's width of a vertical bar.
int LGtkMeasureScrollBar();

// A top level's client area: a GtkFixed whose size is its size request,
// whatever its children would like.
GtkWidget* LGtkClientAreaNew();

// The notebook of a tab control: one empty page per title, the selection
// shown; the user's picks go to the layer.
GtkWidget* LGtkMakeTabs();
void LGtkSetTabs(const LWnd& w, GtkNotebook* book);
