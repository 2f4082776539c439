// Real input for in-process tests: events go through the X server (XTest)
// or through GTK's own event path, so the widgets' signal handlers run as
// they do for a user.
#pragma once

#include <gtest/gtest.h>

#include <string>

// The tests reach the toolkit's widgets and event queue through its internals.
#include "toolkit/internal.h"
#include "toolkit/toolkit.h"

typedef struct _GtkWidget GtkWidget;

// Runs GTK for at least the given time, handling whatever arrives.
void pump(int milliseconds = 0);
// Waits (pumping) until the widget is mapped and drawable; false on time-out.
bool wait_mapped(GtkWidget* widget, int timeout_ms = 3000);

// A press and release of a mouse button over the widget's own X window, at
// (x, y) inside it (-1: its centre). Real X events through XTest.
void click_widget(GtkWidget* widget, int button = 1, int x = -1, int y = -1);
void press_widget(GtkWidget* widget, int button = 1, int x = -1, int y = -1);
void release_widget(GtkWidget* widget, int button = 1, int x = -1, int y = -1);
void double_click_widget(GtkWidget* widget, int button = 1);
// Moves the pointer to (x, y) in the widget's window (real motion events).
void move_pointer(GtkWidget* widget, int x, int y);

// Gives the widget's top-level window the desktop focus (a real FocusIn) and
// the widget the keyboard focus.
void focus_widget(GtkWidget* widget);
// Takes the desktop focus away from every window of the program.
void unfocus_all();
// Types the text into the focused widget of the widget's window, one key
// event per character, through GTK's event path (any Unicode character).
void type_text(GtkWidget* widget, const std::string& utf8);
// A delete request from the window manager for the toolkit window.
void request_close(ObjectId window);

// Takes every event already queued in the toolkit, returning how many there were.
int drain_events();

// A push button's label fits inside the button: the size the label asks for
// within the room the button gives it, and the button at its own size.
testing::AssertionResult label_fits(GtkWidget* button);
