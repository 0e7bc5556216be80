#pragma once
// What the GTK backend connects to its widgets' signals: each turns what
// the user did into the layer's messages (posted, never sent), and the
// small helpers both halves of the backend use.
#include <gtk/gtk.h>

#include "toolkit/window_record.h"

// The layer's window of a widget (or of its nearest ancestor that has one).
LHwnd LGtkHwndOf(GtkWidget* widget);
// The program's icon at a pixel size (the caller unrefs it), and the theme
// icon name of a standard message-box icon.
GdkPixbuf* LGtkAppIcon(int size);
const char* LGtkStockIconName(int resource);

gboolean LGtkOnKey(GtkWidget* widget, GdkEventKey* e, gpointer);
gboolean LGtkOnKeyRelease(GtkWidget* widget, GdkEventKey*, gpointer);
gboolean LGtkOnButtonPress(GtkWidget* widget, GdkEventButton*, gpointer);
gboolean LGtkOnDelete(GtkWidget* widget, GdkEvent*, gpointer);
gboolean LGtkOnConfigure(GtkWidget* widget, GdkEventConfigure* e, gpointer);
void LGtkOnSetFocus(GtkWindow*, GtkWidget* focus, gpointer);
void LGtkOnClicked(GtkButton* button, gpointer);
void LGtkOnEntryChanged(GtkEditable* entry, gpointer);
// Draws the prompt (the "porlinex-cue" data) over an empty entry, focused
// or not.
gboolean LGtkDrawEntryPrompt(GtkWidget* entry, cairo_t* cr, gpointer);
// edit: the multi-line edit's outer widget, which carries its window.
void LGtkOnTextBufferChanged(GtkTextBuffer* buffer, gpointer edit);
void LGtkOnBalloonClose(GtkButton* b, gpointer);
gboolean LGtkPulse(gpointer bar);
// Paint and pointer input of a drawing area that shows a self-painted
// control.
void LGtkConnectDrawingArea(GtkWidget* area);
// Pointer input of a top-level window offered to the hyperlinks in it.
void LGtkConnectLinkPointer(GtkWidget* toplevel);
// The drop-down list's widget, and bringing it in line with the record
// (its entries too when entries is set).
GtkWidget* LGtkComboCreate();
void LGtkComboSync(GtkWidget* widget, const LWnd& w, bool entries);
// The draw of a top-level window's control area: WM_ERASEBKGND first.
gboolean LGtkOnEraseDraw(GtkWidget* widget, cairo_t* cr, gpointer);
