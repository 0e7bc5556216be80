// A top level's client area: a GtkFixed that asks for exactly the size the
// layout gave it. A plain GtkFixed asks for the natural size of its
// children, and GTK grows a window to that: a label reports its whole text
// on one line, an entry 150 pixels, so a dialog with a long text would
// come out far wider than its layout.
#include "toolkit/gtk_peer.h"

namespace {

struct LGtkClientArea {
    GtkFixed parent;
};

struct LGtkClientAreaClass {
    GtkFixedClass parent_class;
};

G_DEFINE_TYPE(LGtkClientArea, l_gtk_client_area, GTK_TYPE_FIXED)

// Nothing of its own: GTK raises both to the size request.
void PreferredSize(GtkWidget*, gint* minimum, gint* natural) { *minimum = *natural = 0; }

void l_gtk_client_area_class_init(LGtkClientAreaClass* cls) {
    GtkWidgetClass* widget = GTK_WIDGET_CLASS(cls);
    widget->get_preferred_width = PreferredSize;
    widget->get_preferred_height = PreferredSize;
}

void l_gtk_client_area_init(LGtkClientArea*) {}

}  // namespace

GtkWidget* LGtkClientAreaNew() { return GTK_WIDGET(g_object_new(l_gtk_client_area_get_type(), nullptr)); }
