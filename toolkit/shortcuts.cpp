// Key shortcuts of a window, posted as KeyShortcut events.
#include <gtk/gtk.h>

#include <vector>

#include "toolkit/events.h"
#include "toolkit/internal.h"

namespace {

constexpr const char* shortcuts_key = "toolkit-shortcuts";

struct Shortcut {
    guint key;  // lower case
    GdkModifierType modifiers;
    int number;
};
using Shortcuts = std::vector<Shortcut>;

const Shortcut* find(const Shortcuts& list, guint keyval, GdkModifierType modifiers) {
    const guint key = gdk_keyval_to_lower(keyval);
    for (const Shortcut& s : list) {
        if (s.key == key && s.modifiers == modifiers) return &s;
    }
    return nullptr;
}

// Connected after the window's own handler: that one has offered the key to
// the focused widget and to mnemonics first, and the handler runs only when
// none of them took it.
gboolean on_key_press(GtkWidget* window, GdkEventKey* event, gpointer) {
    auto* list = static_cast<Shortcuts*>(g_object_get_data(G_OBJECT(window), shortcuts_key));
    if (!list) return FALSE;
    const auto modifiers = GdkModifierType(event->state & gtk_accelerator_get_default_mod_mask());
    const Shortcut* hit = find(*list, event->keyval, modifiers);
    if (!hit && event->group != 0) {
        // A Cyrillic layout gives Ctrl+V as Ctrl+Cyrillic_em: the key in the
        // same place on the first layout is meant.
        guint latin = 0;
        if (gdk_keymap_translate_keyboard_state(gdk_keymap_get_for_display(gtk_widget_get_display(window)),
                                                event->hardware_keycode, GdkModifierType(event->state), 0, &latin,
                                                nullptr, nullptr, nullptr))
            hit = find(*list, latin, modifiers);
    }
    if (!hit) return FALSE;
    event_post(KeyShortcut, 0, tk::window_id_of(window), hit->number);
    return TRUE;
}

}  // namespace

int window_shortcut(ObjectId window, const std::string& keys, int number) {
    GtkWindow* gtk_window = tk::window_gtk(window);
    if (!gtk_window) return 0;
    guint key = 0;
    GdkModifierType modifiers = GdkModifierType(0);
    gtk_accelerator_parse(keys.c_str(), &key, &modifiers);
    if (key == 0) return 0;
    key = gdk_keyval_to_lower(key);
    modifiers = GdkModifierType(modifiers & gtk_accelerator_get_default_mod_mask());

    auto* list = static_cast<Shortcuts*>(g_object_get_data(G_OBJECT(gtk_window), shortcuts_key));
    if (!list) {
        list = new Shortcuts;
        g_object_set_data_full(G_OBJECT(gtk_window), shortcuts_key, list,
                               [](gpointer p) { delete static_cast<Shortcuts*>(p); });
        g_signal_connect_after(gtk_window, "key-press-event", G_CALLBACK(on_key_press), nullptr);
    }
    for (Shortcut& s : *list) {
        if (s.key == key && s.modifiers == modifiers) {
            s.number = number;
            return 1;
        }
    }
    list->push_back({key, modifiers, number});
    return 1;
}
