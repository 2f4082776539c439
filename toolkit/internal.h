// What the toolkit's own files share, and tests that look inside the toolkit
// use: programs include the public headers only.
#pragma once

#include <cairo.h>

#include <cstddef>
#include <string>
#include <vector>

#include "toolkit/events.h"

struct _GError;
struct _GtkPageSetup;
struct _GtkPrintSettings;
struct _GtkWidget;
struct _GtkWindow;
struct TextSettings;  // pictures/drawing.h

// Posting, for the window and gadget handlers.
struct QueuedEvent {
    EventKind kind = NoEvent;
    ObjectId gadget = 0;
    ObjectId window = -1;
    int type = 0;
};
void event_post(EventKind kind, ObjectId gadget, ObjectId window, int type);
// The oldest queued event; kind NoEvent when the queue is empty.
QueuedEvent event_peek();
// While switched off (counted: every off needs its on) nothing is posted.
void event_posting_off();
void event_posting_on();

namespace tk {

// Windows.
bool toolkit_ready();
_GtkWindow* window_gtk(ObjectId id);
// The gadget container (GtkFixed) of a window, or null.
_GtkWidget* window_container(ObjectId id);
// The first window, in ascending id order, that has the desktop focus; -1 if none.
ObjectId window_with_focus();
// The toolkit id of a top-level GtkWindow (a gadget's window), or -1.
ObjectId window_id_of(_GtkWidget* toplevel);
// Runs every pending GTK event without blocking.
void process_pending();

// Events.
void events_init();
void events_drop_window(ObjectId window);
std::size_t events_queued();

// Gadgets.
void gadgets_init();
void gadgets_shutdown();
// window_open makes a window's container the current gadget list.
void gadget_list_start(_GtkWidget* container);
// A closed window's container stops being the current gadget list.
void gadget_list_forget(_GtkWidget* container);
// The widget that carries the gadget's number (for tests and the toolkit).
_GtkWidget* gadget_widget(ObjectId id);
// The outer widget (an image gadget's event box), else the main widget.
_GtkWidget* gadget_outer_widget(ObjectId id);

void requesters_init();

// Text on pictures as the screen draws it (the settings are the picture
// store's, pictures/drawing.h). The default screen's resolution and font
// settings: the X resources of its root window beneath what GTK puts on its
// widgets' contexts. False without a screen.
bool screen_text_settings(::TextSettings& settings);

// Printing: the job (print_job.cpp) owns the document; the printer target
// draws on its open page, the preview shows its recorded pages.
void printer_init();
void printer_shutdown();
// The name of the print system's "Print to File" printer, or "" when there
// is none. The name is translated, so the printer is found by what it is.
std::string file_printer_name();
// The open page of the document, in points from the page's top-left corner;
// null when no page is open.
cairo_t* printer_page();
// The ready job's page in points, a hair below a whole point taken as that
// point; 0 x 0 without a job.
void printer_page_size(double& width, double& height);
// A printer session ends with the document it draws on.
void end_printer_session();
// One line on standard error about printing, with GLib's reason when given.
void print_report(const char* what, const _GError* error = nullptr);

// A previewed document: its pages recorded in points, and what the job was
// set up with, which a previewer of the desktop is handed.
struct PrintPreview {
    std::string name;
    double width = 0;
    double height = 0;
    const std::vector<cairo_surface_t*>& pages;
    _GtkPrintSettings* settings = nullptr;
    _GtkPageSetup* page_setup = nullptr;
};
// Hands the pages to the desktop's previewer, or shows them in a window of
// our own when there is none.
void show_print_preview(const PrintPreview& preview);
// Closes the preview windows of our own still open.
void close_print_previews();

}  // namespace tk
