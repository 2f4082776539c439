#include "tests/support/gtk_input.h"

#include <X11/extensions/XTest.h>
#include <gdk/gdkx.h>
#include <gtk/gtk.h>

#include <chrono>
#include <thread>

namespace {
using Clock = std::chrono::steady_clock;

GdkWindow* input_window(GtkWidget* widget) {
    // An event box with a visible window, an entry, a button's event window:
    // the widget's own GdkWindow receives the pointer events.
    return gtk_widget_get_window(widget);
}

void widget_point(GtkWidget* widget, int& x, int& y) {
    GtkAllocation a;
    gtk_widget_get_allocation(widget, &a);
    if (x < 0) x = a.width / 2;
    if (y < 0) y = a.height / 2;
    if (!gtk_widget_get_has_window(widget)) {
        // No window of its own: coordinates are in the parent's window.
        x += a.x;
        y += a.y;
    }
}

Display* x_display() { return GDK_DISPLAY_XDISPLAY(gdk_display_get_default()); }

// The pointer to (x, y) of the widget's window, through XTest like a mouse.
void pointer_to(GtkWidget* widget, int x, int y) {
    widget_point(widget, x, y);
    int ox = 0, oy = 0;
    gdk_window_get_origin(input_window(widget), &ox, &oy);
    XTestFakeMotionEvent(x_display(), -1, ox + x, oy + y, CurrentTime);
}

void button_event(int button, bool press) {
    XTestFakeButtonEvent(x_display(), static_cast<unsigned>(button), press ? True : False, CurrentTime);
    XFlush(x_display());
}

void simulate(GtkWidget* widget, int button, int x, int y, GdkEventType type) {
    wait_mapped(widget);
    pointer_to(widget, x, y);
    button_event(button, type == GDK_BUTTON_PRESS);
    pump(30);
}
}  // namespace

void pump(int milliseconds) {
    auto end = Clock::now() + std::chrono::milliseconds(milliseconds);
    do {
        gdk_flush();
        while (gtk_events_pending()) gtk_main_iteration_do(FALSE);
        if (Clock::now() >= end) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    } while (true);
}

bool wait_mapped(GtkWidget* widget, int timeout_ms) {
    auto end = Clock::now() + std::chrono::milliseconds(timeout_ms);
    while (Clock::now() < end) {
        GdkWindow* window = gtk_widget_get_window(widget);
        if (gtk_widget_get_mapped(widget) && window && gdk_window_is_viewable(window)) return true;
        pump(5);
    }
    return false;
}

void press_widget(GtkWidget* widget, int button, int x, int y) { simulate(widget, button, x, y, GDK_BUTTON_PRESS); }
void release_widget(GtkWidget* widget, int button, int x, int y) {
    simulate(widget, button, x, y, GDK_BUTTON_RELEASE);
}

void click_widget(GtkWidget* widget, int button, int x, int y) {
    press_widget(widget, button, x, y);
    release_widget(widget, button, x, y);
}

void double_click_widget(GtkWidget* widget, int button) {
    wait_mapped(widget);
    pointer_to(widget, -1, -1);
    // Both clicks well inside the double-click time.
    for (int i = 0; i < 2; ++i) {
        button_event(button, true);
        button_event(button, false);
    }
    pump(50);
}

void move_pointer(GtkWidget* widget, int x, int y) {
    wait_mapped(widget);
    pointer_to(widget, x, y);
    XFlush(x_display());
    pump(30);
}

void focus_widget(GtkWidget* widget) {
    GtkWidget* top = gtk_widget_get_toplevel(widget);
    wait_mapped(top);
    gdk_window_focus(gtk_widget_get_window(top), GDK_CURRENT_TIME);
    pump(30);
    gtk_widget_grab_focus(widget);
    for (int i = 0; i < 100 && !gtk_window_has_toplevel_focus(GTK_WINDOW(top)); ++i) pump(5);
    pump(20);
}

void unfocus_all() {
    Display* display = x_display();
    XSetInputFocus(display, None, RevertToNone, CurrentTime);
    XSync(display, False);
    pump(50);
}

void type_text(GtkWidget* widget, const std::string& utf8) {
    GtkWidget* top = gtk_widget_get_toplevel(widget);
    GdkWindow* window = gtk_widget_get_window(top);
    for (const char* p = utf8.c_str(); *p; p = g_utf8_next_char(p)) {
        gunichar c = g_utf8_get_char(p);
        for (GdkEventType type : {GDK_KEY_PRESS, GDK_KEY_RELEASE}) {
            GdkEvent* event = gdk_event_new(type);
            event->key.window = GDK_WINDOW(g_object_ref(window));
            event->key.send_event = TRUE;
            event->key.time = GDK_CURRENT_TIME;
            event->key.keyval = gdk_unicode_to_keyval(c);
            char buffer[8] = {};
            g_unichar_to_utf8(c, buffer);
            event->key.string = g_strdup(buffer);
            event->key.length = static_cast<gint>(strlen(buffer));
            gtk_main_do_event(event);
            gdk_event_free(event);
        }
    }
    pump(20);
}

void request_close(ObjectId window) {
    GtkWindow* gtk_window = tk::window_gtk(window);
    if (!gtk_window) return;
    GdkEvent* event = gdk_event_new(GDK_DELETE);
    event->any.window = GDK_WINDOW(g_object_ref(gtk_widget_get_window(GTK_WIDGET(gtk_window))));
    event->any.send_event = TRUE;
    gtk_main_do_event(event);
    gdk_event_free(event);
}

int drain_events() {
    int n = 0;
    for (EventKind kind; (kind = event_wait_timeout(0)) != NoEvent;) n += kind > 0;
    return n;
}

testing::AssertionResult label_fits(GtkWidget* button) {
    GtkWidget* label = GTK_IS_BIN(button) ? gtk_bin_get_child(GTK_BIN(button)) : nullptr;
    if (!label || !GTK_IS_LABEL(label)) return testing::AssertionFailure() << "no label";
    GtkRequisition wanted;
    gtk_widget_get_child_requisition(label, &wanted);
    GtkAllocation room, outer;
    gtk_widget_get_allocation(label, &room);
    gtk_widget_get_allocation(button, &outer);
    const char* text = gtk_label_get_text(GTK_LABEL(label));
    if (wanted.width > room.width || wanted.height > outer.height)
        return testing::AssertionFailure() << "\"" << text << "\" asks for " << wanted.width << " x " << wanted.height
                                           << " in " << room.width << " across of a " << outer.width << " x "
                                           << outer.height << " button";
    return testing::AssertionSuccess();
}
