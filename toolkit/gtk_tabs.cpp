// The tab control on GTK: a notebook whose pages are empty, so its page
// area shows what the parent places there. Rebuilding the pages and
// selecting from code stay quiet; only the user's picks reach the layer.
#include "toolkit/gtk_peer.h"
#include "toolkit/gtk_signals.h"
#include "toolkit/pango_measure.h"
#include "toolkit/tab_control.h"

namespace {

void OnSwitch(GtkNotebook* notebook, GtkWidget*, guint index, gpointer) {
    LTabPickedByUser(LGtkHwndOf(GTK_WIDGET(notebook)), static_cast<int>(index));
}

}  // namespace

GtkWidget* LGtkMakeTabs() {
    GtkWidget* book = gtk_notebook_new();
    g_signal_connect(book, "switch-page", G_CALLBACK(OnSwitch), nullptr);
    return book;
}

void LGtkSetTabs(const LWnd& w, GtkNotebook* book) {
    g_signal_handlers_block_by_func(book, reinterpret_cast<gpointer>(OnSwitch), nullptr);
    while (gtk_notebook_get_n_pages(book) > 0) gtk_notebook_remove_page(book, -1);
    for (const std::u16string& title : w.rows) {
        GtkWidget* page = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
        gtk_widget_show(page);
        GtkWidget* label = gtk_label_new(LUtf8Of(title).c_str());
        gtk_widget_show(label);
        gtk_notebook_append_page(book, page, label);
    }
    if (w.cur_sel >= 0) gtk_notebook_set_current_page(book, w.cur_sel);
    g_signal_handlers_unblock_by_func(book, reinterpret_cast<gpointer>(OnSwitch), nullptr);
}
