// The event queue through which every window and gadget reports to the
// program's one loop.
#pragma once

#include "toolkit/objects.h"

enum EventKind : int {
    NothingToReport = -1,  // GTK handled an event that queued nothing
    NoEvent = 0,           // a timed wait ran out
    CloseWindow = 2,
    Gadget = 3,
    Repaint = 4,
    Moved = 5,
    Resized = 6,
    Activated = 7,
    Deactivated = 8,
    Minimised = 12,
    Maximised = 13,
    Restored = 14,
    PointerMoved = 24,
    KeyShortcut = 32,  // a key given to window_shortcut; event_type() is its number
};

// Type of a Gadget event.
enum EventType : int {
    Click = 0,
    RightClick = 1,
    DoubleClick = 2,
    RightDoubleClick = 3,
    FocusGained = 256,
    FocusLost = 512,
    TextChanged = 768,
    DragStarted = 2048,
};

// Blocks until GTK has handled at least one event, unless one is queued.
EventKind event_wait();
// 0 polls; a positive time waits at most that many milliseconds; a negative
// one blocks as event_wait does.
EventKind event_wait_timeout(int milliseconds);
ObjectId event_gadget();
ObjectId event_window();
int event_type();

// Key shortcuts: a key pressed in the window posts a KeyShortcut event with
// event_window() the window and event_type() the number the program gave
// (event_gadget() 0). keys is in GTK's accelerator form ("<Control>v",
// "<Control><Shift>c", "F5"); letters match in either case and, on a
// keyboard layout without Latin letters, by the key's place on the first
// layout, as menus do. A key that the widget with the focus takes for itself
// (Ctrl+V in a text field) stays the widget's and posts nothing. Giving the
// same keys again replaces their number. 1 on success; 0 for a window id
// that names no window or keys that name no key.
int window_shortcut(ObjectId window, const std::string& keys, int number);
