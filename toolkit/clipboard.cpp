#include "toolkit/clipboard.h"

#include <gtk/gtk.h>

namespace {

std::string text_of(GdkAtom selection) {
    GtkClipboard* clipboard = gtk_clipboard_get(selection);
    if (!clipboard) return std::string();
    gchar* text = gtk_clipboard_wait_for_text(clipboard);
    if (!text) return std::string();
    std::string out(text);
    g_free(text);
    return out;
}

}  // namespace

std::string clipboard_text() {
    std::string text = text_of(GDK_SELECTION_CLIPBOARD);
    if (text.empty()) text = text_of(GDK_SELECTION_PRIMARY);
    return text;
}

int clipboard_set_text(const std::string& text) {
    GtkClipboard* clipboard = gtk_clipboard_get(GDK_SELECTION_CLIPBOARD);
    if (!clipboard) return 0;
    gtk_clipboard_set_text(clipboard, text.data(), static_cast<gint>(text.size()));
    // Asks the clipboard manager, when the desktop runs one, to keep the text
    // after the program ends.
    gtk_clipboard_set_can_store(clipboard, nullptr, 0);
    return 1;
}
