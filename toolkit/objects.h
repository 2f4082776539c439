// Numbered objects of the display: toolkit start and end, windows.
#pragma once

#include <cstdint>
#include <string>

#include "pictures/object_table.h"

struct _GtkWindow;

enum WindowFlags : unsigned {
    WindowHidden = 0x1,
    WindowResizable = 0x2,
    WindowMenu = 0x4,
    WindowMaximiseButton = 0x10,
    WindowMinimiseButton = 0x20,
    WindowCentred = 0x40,
    WindowNoDecorations = 0x80,
    WindowCentredOnParent = 0x100,
    WindowMaximised = 0x200,
    WindowMinimised = 0x400,
    WindowUtility = 0x800,
    WindowKeepGadgetList = 0x1000,
};

// Start and end. toolkit_init initialises GTK once per process and sets up
// every table; it returns 1, or 0 when no display can be opened.
int toolkit_init(int argc = 0, char** argv = nullptr);
void toolkit_shutdown();

// Windows. Result: with id -1 the new id, otherwise the GtkWindow (non-zero)
// or 0 when GTK cannot create the window.
std::intptr_t window_open(ObjectId id, int x, int y, int width, int height, const std::string& title,
                          unsigned flags, _GtkWindow* parent = nullptr);
void window_close(ObjectId id);
