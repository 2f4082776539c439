#include "toolkit/objects.h"

#include <gtk/gtk.h>

#include <clocale>

#include "pictures/pictures.h"
#include "toolkit/internal.h"
#include "pictures/drawing.h"
#include "pictures/internal.h"
#include "toolkit/events.h"
#include "toolkit/gadgets.h"
#include "toolkit/printing.h"
#include "toolkit/requesters.h"

namespace {

bool gtk_started = false;
bool ready = false;

// Object data on every toolkit GtkWindow.
constexpr const char* window_id_key = "toolkit-window-id";  // id + 1, so that 0 means none
constexpr const char* last_size_key = "toolkit-last-size";
constexpr const char* last_position_key = "toolkit-last-position";

struct WindowRecord {
    GtkWidget* window = nullptr;
    unsigned flags = 0;
    GtkWidget* container = nullptr;
    bool exists() const { return window != nullptr; }
};

void release_window(ObjectId id, WindowRecord&) { window_close(id); }

ObjectTable<WindowRecord> windows(release_window);

struct Size {
    int width, height;
};
struct Position {
    int x, y;
    bool known;
};

ObjectId id_of(GtkWidget* window) {
    auto stored = reinterpret_cast<std::intptr_t>(g_object_get_data(G_OBJECT(window), window_id_key));
    return stored - 1;
}

void post_window(GtkWidget* window, EventKind kind) { event_post(kind, 0, id_of(window), 0); }

gboolean on_delete(GtkWidget* window, GdkEvent*, gpointer) {
    post_window(window, CloseWindow);
    return TRUE;  // the program decides whether the window goes
}

gboolean on_expose(GtkWidget* container, GdkEventExpose*, gpointer) {
    post_window(gtk_widget_get_toplevel(container), Repaint);
    return FALSE;
}

gboolean on_configure(GtkWidget* window, GdkEventConfigure* event, gpointer) {
    auto* size = static_cast<Size*>(g_object_get_data(G_OBJECT(window), last_size_key));
    auto* position = static_cast<Position*>(g_object_get_data(G_OBJECT(window), last_position_key));
    if (event->width == size->width && event->height == size->height) {
        if (position->known && event->x == position->x && event->y == position->y) return FALSE;
        *position = {event->x, event->y, true};
        post_window(window, Moved);
    } else {
        *size = {event->width, event->height};
        post_window(window, Resized);
    }
    return FALSE;
}

gboolean on_window_state(GtkWidget* window, GdkEventWindowState* event, gpointer) {
    const GdkWindowState changed = event->changed_mask, now = event->new_window_state;
    if (changed & GDK_WINDOW_STATE_ICONIFIED) {
        if (now & GDK_WINDOW_STATE_ICONIFIED)
            post_window(window, Minimised);
        else if (now & GDK_WINDOW_STATE_MAXIMIZED)
            post_window(window, Maximised);
        else
            post_window(window, Restored);
    } else if (changed & GDK_WINDOW_STATE_MAXIMIZED) {
        post_window(window, (now & GDK_WINDOW_STATE_MAXIMIZED) ? Maximised : Restored);
    }
    return FALSE;
}

gboolean on_focus_in(GtkWidget* window, GdkEventFocus*, gpointer) {
    post_window(window, Activated);
    return FALSE;
}

gboolean on_focus_out(GtkWidget* window, GdkEventFocus*, gpointer) {
    post_window(window, Deactivated);
    return FALSE;
}

gboolean on_motion(GtkWidget* window, GdkEventMotion*, gpointer) {
    post_window(window, PointerMoved);
    return FALSE;
}

void on_destroy(GtkWidget* window, gpointer) {
    ObjectId id = id_of(window);
    tk::events_drop_window(id);
    WindowRecord* record = windows.find(id);
    if (record && record->window == window) {
        tk::gadget_list_forget(record->container);
        windows.remove(id);
    }
}

// Moves the window so that its frame is centred on the parent's frame.
void centre_on_parent(GtkWidget* window, GtkWindow* parent) {
    GdkWindow* own = gtk_widget_get_window(window);
    GdkWindow* theirs = gtk_widget_get_window(GTK_WIDGET(parent));
    if (!own || !theirs) return;
    GdkRectangle frame, parent_frame;
    gdk_window_get_frame_extents(own, &frame);
    gdk_window_get_frame_extents(theirs, &parent_frame);
    int x = parent_frame.x + parent_frame.width / 2 - frame.width / 2;
    int y = parent_frame.y + parent_frame.height / 2 - frame.height / 2;
    gtk_window_move(GTK_WINDOW(window), x, y);
}

}  // namespace

int toolkit_init(int argc, char** argv) {
    if (!gtk_started) {
        if (!gtk_init_check(argv ? &argc : nullptr, argv ? &argv : nullptr)) return 0;
        // GTK takes the desktop's locale whole; numbers in files stay '.'.
        std::setlocale(LC_NUMERIC, "C");
        gtk_started = true;
    }
    pictures_init();
    set_text_settings_source(tk::screen_text_settings);
    tk::printer_init();
    tk::events_init();
    tk::gadgets_init();
    tk::requesters_init();
    ready = true;
    return 1;
}

void toolkit_shutdown() {
    if (!ready) return;
    tk::drawing_set_current(nullptr);
    tk::printer_shutdown();
    windows.release_all();
    pictures_shutdown();
    tk::gadgets_shutdown();
    tk::events_init();
    ready = false;
}

std::intptr_t window_open(ObjectId id, int x, int y, int width, int height, const std::string& title,
                          unsigned flags, GtkWindow* parent) {
    if (x == -65535 || y == -65535) x = y = -1;
    const bool generated = id == -1;
    WindowRecord* record = windows.acquire(id);
    if (!record) return 0;
    GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    if (!window) {
        windows.remove(id);
        return 0;
    }
    g_object_set_data(G_OBJECT(window), window_id_key, reinterpret_cast<gpointer>(id + 1));
    gtk_window_set_title(GTK_WINDOW(window), title.c_str());
    gtk_window_set_default_size(GTK_WINDOW(window), width, height);
    g_object_set_data_full(G_OBJECT(window), last_size_key, new Size{width, height},
                           [](gpointer p) { delete static_cast<Size*>(p); });
    g_object_set_data_full(G_OBJECT(window), last_position_key, new Position{0, 0, false},
                           [](gpointer p) { delete static_cast<Position*>(p); });

    if (!(flags & (WindowCentred | WindowCentredOnParent))) gtk_widget_set_uposition(window, x, y);

    unsigned decorations = 0, functions = 0;
    if (flags & (WindowResizable | WindowMaximiseButton)) {
        gtk_widget_set_size_request(window, 30, 30);
        functions = GDK_FUNC_RESIZE | GDK_FUNC_MOVE | GDK_FUNC_CLOSE;
        decorations = GDK_DECOR_BORDER | GDK_DECOR_RESIZEH;
    } else {
        gtk_window_set_resizable(GTK_WINDOW(window), FALSE);
        gtk_widget_set_size_request(window, width, height);
        functions = GDK_FUNC_MOVE | GDK_FUNC_CLOSE;
    }

    gtk_widget_realize(window);
    if (flags & WindowUtility) {
        gtk_window_set_type_hint(GTK_WINDOW(window), GDK_WINDOW_TYPE_HINT_UTILITY);
        gtk_window_set_skip_taskbar_hint(GTK_WINDOW(window), FALSE);
        gtk_window_set_skip_pager_hint(GTK_WINDOW(window), FALSE);
        flags &= ~unsigned(WindowMaximiseButton | WindowMinimiseButton | WindowMaximised | WindowMinimised);
    }
    if (flags & WindowMinimiseButton) {
        decorations |= GDK_DECOR_BORDER | GDK_DECOR_TITLE | GDK_DECOR_MINIMIZE;
        functions |= GDK_FUNC_MINIMIZE;
    }
    if (flags & WindowMaximiseButton) {
        decorations |= GDK_DECOR_BORDER | GDK_DECOR_TITLE | GDK_DECOR_MAXIMIZE;
        functions |= GDK_FUNC_MAXIMIZE;
    }
    if (flags & WindowMenu) decorations |= GDK_DECOR_BORDER | GDK_DECOR_TITLE | GDK_DECOR_MENU;
    if (flags & WindowNoDecorations)
        decorations = 0;
    else
        decorations |= GDK_DECOR_BORDER | GDK_DECOR_TITLE;
    GdkWindow* gdk_window = gtk_widget_get_window(window);
    gdk_window_set_decorations(gdk_window, GdkWMDecoration(decorations));
    gdk_window_set_functions(gdk_window, GdkWMFunction(functions));

    if (flags & WindowCentred) gtk_window_set_position(GTK_WINDOW(window), GTK_WIN_POS_CENTER);
    if ((flags & WindowCentredOnParent) && parent) centre_on_parent(window, parent);

    GtkWidget* box = gtk_vbox_new(FALSE, 0);
    GtkWidget* container = gtk_fixed_new();
    gtk_fixed_set_has_window(GTK_FIXED(container), TRUE);
    gtk_box_pack_start(GTK_BOX(box), container, TRUE, TRUE, 0);
    gtk_container_add(GTK_CONTAINER(window), box);
    g_signal_connect(container, "expose-event", G_CALLBACK(on_expose), nullptr);
    gtk_widget_show(container);
    gtk_widget_show(box);

    if (parent) gtk_window_set_transient_for(GTK_WINDOW(window), parent);

    g_signal_connect(window, "destroy", G_CALLBACK(on_destroy), nullptr);
    g_signal_connect(window, "configure-event", G_CALLBACK(on_configure), nullptr);
    g_signal_connect(window, "window-state-event", G_CALLBACK(on_window_state), nullptr);
    g_signal_connect(window, "delete-event", G_CALLBACK(on_delete), nullptr);
    g_signal_connect(window, "focus-in-event", G_CALLBACK(on_focus_in), nullptr);
    g_signal_connect(window, "focus-out-event", G_CALLBACK(on_focus_out), nullptr);
    g_signal_connect(window, "motion-notify-event", G_CALLBACK(on_motion), nullptr);

    if (flags & WindowMaximised)
        gtk_window_maximize(GTK_WINDOW(window));
    else if (flags & WindowMinimised)
        gtk_window_iconify(GTK_WINDOW(window));

    record->window = window;
    record->flags = flags;
    record->container = container;

    if (!(flags & WindowHidden)) gtk_widget_show(window);
    tk::process_pending();
    // A handler run by the iteration may have closed the window again.
    record = windows.find(id);
    if (!record || record->window != window) return 0;

    if (!(flags & WindowKeepGadgetList)) tk::gadget_list_start(container);
    return generated ? id : reinterpret_cast<std::intptr_t>(window);
}

void window_close(ObjectId id) {
    WindowRecord* record = windows.find(id);
    if (!record) return;
    gtk_widget_destroy(record->window);  // the destroy handler empties the record
    tk::process_pending();
}

namespace tk {

bool toolkit_ready() { return ready; }

void process_pending() {
    while (gtk_events_pending()) gtk_main_iteration_do(FALSE);
}

GtkWindow* window_gtk(ObjectId id) {
    WindowRecord* record = windows.find(id);
    return record ? GTK_WINDOW(record->window) : nullptr;
}

GtkWidget* window_container(ObjectId id) {
    WindowRecord* record = windows.find(id);
    return record ? record->container : nullptr;
}

ObjectId window_with_focus() {
    ObjectId found = -1;
    windows.for_each([&](ObjectId id, const WindowRecord& record) {
        if (found == -1 && gtk_window_has_toplevel_focus(GTK_WINDOW(record.window))) found = id;
    });
    return found;
}

ObjectId window_id_of(GtkWidget* toplevel) {
    if (!toplevel || !GTK_IS_WINDOW(toplevel)) return -1;
    return id_of(toplevel);
}

}  // namespace tk
