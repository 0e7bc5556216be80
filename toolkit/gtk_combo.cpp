// The drop-down list on GTK: a GtkComboBoxText that follows the record's
// entries and choice, and reports the user's choice back to the layer.
#include "toolkit/combo_box.h"
#include "toolkit/gtk_signals.h"
#include "toolkit/pango_measure.h"

namespace {

void OnChanged(GtkComboBox* box, gpointer) {
    LComboSelectedByUser(LGtkHwndOf(GTK_WIDGET(box)), gtk_combo_box_get_active(box));
}

}  // namespace

GtkWidget* LGtkComboCreate() {
    GtkWidget* box = gtk_combo_box_text_new();
    g_signal_connect(box, "changed", G_CALLBACK(OnChanged), nullptr);
    return box;
}

void LGtkComboSync(GtkWidget* widget, const LWnd& w, bool entries) {
    GtkComboBoxText* box = GTK_COMBO_BOX_TEXT(widget);
    g_signal_handlers_block_by_func(widget, reinterpret_cast<gpointer>(OnChanged), nullptr);
    if (entries) {
        gtk_combo_box_text_remove_all(box);
        for (const std::u16string& row : w.rows) gtk_combo_box_text_append_text(box, LUtf8Of(row).c_str());
    }
    gtk_combo_box_set_active(GTK_COMBO_BOX(box), w.cur_sel);
    g_signal_handlers_unblock_by_func(widget, reinterpret_cast<gpointer>(OnChanged), nullptr);
}
