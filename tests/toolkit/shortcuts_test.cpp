// Key shortcuts of a window: real key presses through the X server (XTest).
#include <gtest/gtest.h>

#include <vector>

// The toolkit first: X11's headers define None, a name the toolkit uses.
#include "tests/support/gtk_input.h"
#include "toolkit/toolkit.h"

#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <gdk/gdkkeysyms.h>
#include <gdk/gdkx.h>
#include <gtk/gtk.h>

namespace {

Display* x_display() { return GDK_DISPLAY_XDISPLAY(gdk_display_get_default()); }

// Presses the keys in order and releases them in reverse, as fingers do.
void press_keys(std::vector<KeySym> keys) {
    Display* d = x_display();
    for (KeySym k : keys) XTestFakeKeyEvent(d, XKeysymToKeycode(d, k), True, CurrentTime);
    for (auto k = keys.rbegin(); k != keys.rend(); ++k) XTestFakeKeyEvent(d, XKeysymToKeycode(d, *k), False, CurrentTime);
    XFlush(d);
    pump(60);
}

struct Seen {
    int shortcuts = 0;
    int number = -1;
    ObjectId window = -2;
    ObjectId gadget = -2;
};

Seen shortcut_events() {
    Seen seen;
    for (EventKind kind; (kind = event_wait_timeout(0)) != NoEvent;) {
        if (kind != KeyShortcut) continue;
        ++seen.shortcuts;
        seen.number = event_type();
        seen.window = event_window();
        seen.gadget = event_gadget();
    }
    return seen;
}

class Shortcuts : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(toolkit_init(), 1);
        ASSERT_NE(window_open(3, 1, 1, 400, 200, "shortcuts", 96), 0);
        button_gadget(10, 10, 10, 120, 25, "button");
        string_gadget(11, 10, 50, 300, 25, "");
        ASSERT_TRUE(wait_mapped(GTK_WIDGET(tk::window_gtk(3))));
        focus_widget(tk::gadget_widget(10));
        drain_events();
    }
    void TearDown() override { toolkit_shutdown(); }
};

}  // namespace

TEST_F(Shortcuts, AKeyOfTheWindowPostsItsNumber) {
    ASSERT_EQ(window_shortcut(3, "<Control>v", 7), 1);
    ASSERT_EQ(window_shortcut(3, "<Control>c", 8), 1);
    press_keys({XK_Control_L, XK_v});
    Seen seen = shortcut_events();
    EXPECT_EQ(seen.shortcuts, 1);
    EXPECT_EQ(seen.number, 7);
    EXPECT_EQ(seen.window, 3);
    EXPECT_EQ(seen.gadget, 0);

    press_keys({XK_Control_L, XK_c});
    EXPECT_EQ(shortcut_events().number, 8);

    // Other modifiers, or none, are other keys; Caps Lock is not a modifier.
    press_keys({XK_v});
    press_keys({XK_Control_L, XK_Shift_L, XK_v});
    press_keys({XK_Alt_L, XK_v});
    EXPECT_EQ(shortcut_events().shortcuts, 0);

    // Given again, the keys take the new number.
    ASSERT_EQ(window_shortcut(3, "<Control>V", 9), 1);
    press_keys({XK_Control_L, XK_v});
    EXPECT_EQ(shortcut_events().number, 9);
}

TEST_F(Shortcuts, BadWindowOrKeysAreRefused) {
    EXPECT_EQ(window_shortcut(4, "<Control>v", 1), 0);
    EXPECT_EQ(window_shortcut(3, "<Control>", 1), 0);
    EXPECT_EQ(window_shortcut(3, "no such key", 1), 0);
    EXPECT_EQ(window_shortcut(3, "", 1), 0);
}

TEST_F(Shortcuts, ATextFieldWithTheFocusKeepsItsOwnKeys) {
    ASSERT_EQ(window_shortcut(3, "<Control>v", 7), 1);
    ASSERT_EQ(clipboard_set_text("pasted"), 1);
    EXPECT_EQ(clipboard_text(), "pasted");
    focus_widget(tk::gadget_widget(11));
    drain_events();
    press_keys({XK_Control_L, XK_v});
    EXPECT_EQ(shortcut_events().shortcuts, 0);
    EXPECT_EQ(gadget_text(11), "pasted");

    // Back on the button the window gets the key again.
    focus_widget(tk::gadget_widget(10));
    drain_events();
    press_keys({XK_Control_L, XK_v});
    EXPECT_EQ(shortcut_events().shortcuts, 1);
}

TEST_F(Shortcuts, ACyrillicLayoutMatchesByTheKeysPlace) {
    ASSERT_EQ(window_shortcut(3, "<Control>v", 7), 1);
    GtkWidget* top = GTK_WIDGET(tk::window_gtk(3));
    // Ctrl and the key of 'v' on a second, Cyrillic layout.
    GdkEvent* event = gdk_event_new(GDK_KEY_PRESS);
    event->key.window = GDK_WINDOW(g_object_ref(gtk_widget_get_window(top)));
    event->key.send_event = TRUE;
    event->key.time = GDK_CURRENT_TIME;
    event->key.state = GDK_CONTROL_MASK;
    event->key.keyval = GDK_Cyrillic_em;
    event->key.group = 1;
    event->key.hardware_keycode = XKeysymToKeycode(x_display(), XK_v);
    event->key.string = g_strdup("");
    gtk_main_do_event(event);
    gdk_event_free(event);
    EXPECT_EQ(shortcut_events().number, 7);
}

TEST_F(Shortcuts, ClipboardFallsBackToTheSelection) {
    GtkClipboard* clipboard = gtk_clipboard_get(GDK_SELECTION_CLIPBOARD);
    gtk_clipboard_clear(clipboard);
    gtk_clipboard_set_text(gtk_clipboard_get(GDK_SELECTION_PRIMARY), "selected", -1);
    pump(20);
    EXPECT_EQ(clipboard_text(), "selected");
    ASSERT_EQ(clipboard_set_text("copied"), 1);
    EXPECT_EQ(clipboard_text(), "copied");
}
