// The print job: the print dialog, the settings and paper it carries from one
// dialog to the next, the document and its pages, and the search for the
// print system's file printer.
//
// Printing runs on GTK's own print stack: the print dialog picks a printer,
// its settings and the paper; a GtkPrintJob gives a cairo surface in points
// with the origin at the paper's top-left corner, which the printer target
// draws on. A preview draws the same pages into recordings instead, which
// become a PDF for the desktop's previewer (or a window of our own).
#include "toolkit/printing.h"

#include <cairo-pdf.h>
#include <cairo-ps.h>
#include <gtk/gtk.h>
#include <gtk/gtkunixprint.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <memory>
#include <vector>

#include "core/text.h"
#include "pictures/drawing.h"
#include "pictures/files.h"
#include "toolkit/internal.h"
#include "toolkit/language.h"

namespace {

// How long the dialog leaves the print system to name its default printer
// before it falls back to the file printer: a print server that cannot be
// reached never says that it has none.
constexpr guint default_printer_wait_ms = 1000;
// How long a search for the file printer waits when its backend does not
// list it at once (it normally does).
constexpr guint file_printer_wait_ms = 2000;

template <class T>
void drop(T*& object) {
    if (object) g_object_unref(object);
    object = nullptr;
}

struct PrinterState {
    // What the last Print or Preview answer chose; the next dialog of the run
    // starts from it.
    GtkPrintSettings* chosen_settings = nullptr;
    GtkPageSetup* chosen_page_setup = nullptr;

    // The job made ready by the dialog. The printer is null for a preview
    // asked for while no printer was selected.
    bool ready = false;
    bool preview = false;
    GtkPrinter* printer = nullptr;
    GtkPrintSettings* settings = nullptr;
    GtkPageSetup* page_setup = nullptr;

    // The document between printing_begin and printing_end.
    bool open = false;
    std::string name;
    GtkPrintJob* job = nullptr;          // printing: the job
    cairo_surface_t* surface = nullptr;  // printing: the job's surface, owned by the job
    bool turn_pages = false;             // printing: the page is turned onto upright paper
    std::vector<cairo_surface_t*> pages; // preview: one recording per page
    cairo_t* page = nullptr;             // the open page
};
PrinterState state;

// The page as the programs see it, in points: the paper turned as the page
// setup says.
double page_width_points() {
    return state.ready ? gtk_page_setup_get_paper_width(state.page_setup, GTK_UNIT_POINTS) : 0.0;
}
double page_height_points() {
    return state.ready ? gtk_page_setup_get_paper_height(state.page_setup, GTK_UNIT_POINTS) : 0.0;
}

// Paper sizes come from millimetres, so US Letter's 612 points arrive as
// 611.99998: a size a hair below a whole point is taken as that point. (Cairo
// also cuts a page size that it is given to whole points, which would lose a
// point of such a page.)
double settled(double points) {
    double whole = std::ceil(points);
    return whole - points < 0.001 ? whole : points;
}

// Truncated toward zero.
int whole_points(double points) {
    return static_cast<int>(std::clamp(settled(points), 0.0, static_cast<double>(INT_MAX)));
}

// ---------------------------------------------------------------------------
// Documents and pages

void set_surface_size(cairo_surface_t* surface, double width, double height) {
    width = settled(width);
    height = settled(height);
    switch (cairo_surface_get_type(surface)) {
    case CAIRO_SURFACE_TYPE_PDF:
        cairo_pdf_surface_set_size(surface, width, height);
        break;
    case CAIRO_SURFACE_TYPE_PS:
        cairo_ps_surface_set_size(surface, width, height);
        break;
    default:
        break;
    }
}

// Turns the page onto paper of paper_width x paper_height that stays upright.
void turn_page(cairo_t* cr, GtkPageOrientation orientation, double paper_width, double paper_height) {
    cairo_matrix_t turn;
    switch (orientation) {
    case GTK_PAGE_ORIENTATION_LANDSCAPE:
        cairo_matrix_init(&turn, 0, -1, 1, 0, 0, paper_height);
        break;
    case GTK_PAGE_ORIENTATION_REVERSE_PORTRAIT:
        cairo_matrix_init(&turn, -1, 0, 0, -1, paper_width, paper_height);
        break;
    case GTK_PAGE_ORIENTATION_REVERSE_LANDSCAPE:
        cairo_matrix_init(&turn, 0, 1, -1, 0, paper_width, 0);
        break;
    default:
        return;
    }
    cairo_transform(cr, &turn);
}

void begin_page() {
    double width = page_width_points(), height = page_height_points();
    if (state.preview) {
        cairo_rectangle_t extents{0, 0, width, height};
        cairo_surface_t* recording = cairo_recording_surface_create(CAIRO_CONTENT_COLOR_ALPHA, &extents);
        state.pages.push_back(recording);
        state.page = cairo_create(recording);
        return;
    }
    GtkPaperSize* paper = gtk_page_setup_get_paper_size(state.page_setup);
    double paper_width = gtk_paper_size_get_width(paper, GTK_UNIT_POINTS);
    double paper_height = gtk_paper_size_get_height(paper, GTK_UNIT_POINTS);
    if (state.turn_pages) {
        set_surface_size(state.surface, paper_width, paper_height);
    } else {
        set_surface_size(state.surface, width, height);
    }
    state.page = cairo_create(state.surface);
    if (state.turn_pages) turn_page(state.page, gtk_page_setup_get_orientation(state.page_setup), paper_width, paper_height);
}

void end_page() {
    if (!state.page) return;
    if (!state.preview) cairo_show_page(state.page);
    cairo_destroy(state.page);
    state.page = nullptr;
}

// Drops the document without sending it; the print system is left nothing.
void close_document() {
    tk::end_printer_session();
    if (state.page) cairo_destroy(state.page);
    state.page = nullptr;
    for (cairo_surface_t* page : state.pages) cairo_surface_destroy(page);
    state.pages.clear();
    // Finished while the job's spool file is open: a job released with its
    // surface unfinished has the surface write into the closed spool, which
    // GTK retries for ever.
    if (state.surface) cairo_surface_finish(state.surface);
    state.surface = nullptr;
    drop(state.job);
    state.open = false;
    state.name.clear();
    state.turn_pages = false;
}

void drop_job() {
    close_document();
    drop(state.printer);
    drop(state.settings);
    drop(state.page_setup);
    state.ready = false;
    state.preview = false;
}

struct Sending {
    GMainLoop* loop = nullptr;
    bool done = false;
};

void job_sent(GtkPrintJob*, gpointer data, GError* error) {
    auto* sending = static_cast<Sending*>(data);
    if (error) tk::print_report("the print system did not take the job", error);
    sending->done = true;
    if (sending->loop) g_main_loop_quit(sending->loop);
}

void send_job() {
    // Only a finished surface has written all of itself (a PDF its trailer)
    // into the spool file that the print system sends on.
    cairo_surface_finish(state.surface);
    cairo_status_t status = cairo_surface_status(state.surface);
    if (status != CAIRO_STATUS_SUCCESS) {
        std::fprintf(stderr, "printing: the pages could not be written: %s\n", cairo_status_to_string(status));
        return;
    }
    Sending sending;
    sending.loop = g_main_loop_new(nullptr, FALSE);
    gtk_print_job_send(state.job, job_sent, &sending, nullptr);
    if (!sending.done) g_main_loop_run(sending.loop);
    g_main_loop_unref(sending.loop);
}

// ---------------------------------------------------------------------------
// The dialog

// The settings of a first dialog: a file printed to goes into the home
// folder, never into the program's current folder.
GtkPrintSettings* first_settings() {
    GtkPrintSettings* settings = gtk_print_settings_new();
    std::string home = home_directory();
    if (home.empty()) home = std::string(g_get_home_dir()) + "/";
    if (gchar* uri = g_filename_to_uri((home + "output.pdf").c_str(), nullptr, nullptr)) {
        gtk_print_settings_set(settings, GTK_PRINT_SETTINGS_OUTPUT_URI, uri);
        g_free(uri);
    }
    return settings;
}

struct DialogWatch {
    GtkPrintUnixDialog* dialog = nullptr;
    GtkPrintSettings* settings = nullptr;  // what the dialog was given
    guint timer = 0;
};

// GTK selects the default printer when the print system names one; with no
// default nothing would be selected and Print could not be pressed.
gboolean preselect_file_printer(gpointer data) {
    auto* watch = static_cast<DialogWatch*>(data);
    watch->timer = 0;
    if (gtk_print_unix_dialog_get_selected_printer(watch->dialog)) return FALSE;
    std::string name = tk::file_printer_name();
    if (name.empty()) return FALSE;
    GtkPrintSettings* settings = gtk_print_settings_copy(watch->settings);
    gtk_print_settings_set_printer(settings, name.c_str());
    gtk_print_unix_dialog_set_settings(watch->dialog, settings);
    g_object_unref(settings);
    return FALSE;
}

void note_destroyed(GtkWidget*, gpointer destroyed) { *static_cast<bool*>(destroyed) = true; }

// ---------------------------------------------------------------------------
// Finding the file printer

struct PrinterSearch {
    std::string name;
    bool wanted = true;     // false once found or given up: the enumeration stops at its next printer
    bool finished = false;  // the enumeration has ended
    GMainLoop* loop = nullptr;
    guint timer = 0;
};
using SearchRef = std::shared_ptr<PrinterSearch>;

gboolean note_printer(GtkPrinter* printer, gpointer data) {
    PrinterSearch& search = **static_cast<SearchRef*>(data);
    if (!search.wanted) return TRUE;
    if (!gtk_printer_is_virtual(printer) || !gtk_printer_accepts_pdf(printer)) return FALSE;
    search.name = gtk_printer_get_name(printer);
    search.wanted = false;
    if (search.loop) g_main_loop_quit(search.loop);
    return TRUE;
}

void end_search(gpointer data) {
    auto* search = static_cast<SearchRef*>(data);
    (*search)->finished = true;
    if ((*search)->loop) g_main_loop_quit((*search)->loop);
    delete search;
}

gboolean give_up_search(gpointer data) {
    auto* search = static_cast<PrinterSearch*>(data);
    search->timer = 0;
    if (search->loop) g_main_loop_quit(search->loop);
    return FALSE;
}

}  // namespace

namespace tk {

void print_report(const char* what, const GError* error) {
    if (error) {
        std::fprintf(stderr, "printing: %s: %s\n", what, error->message);
    } else {
        std::fprintf(stderr, "printing: %s\n", what);
    }
}

cairo_t* printer_page() { return state.page; }

void printer_page_size(double& width, double& height) {
    width = settled(page_width_points());
    height = settled(page_height_points());
}

void printer_init() {
    printer_shutdown();
}

void printer_shutdown() {
    drop_job();
    drop(state.chosen_settings);
    drop(state.chosen_page_setup);
    close_print_previews();
}

std::string file_printer_name() {
    auto search = std::make_shared<PrinterSearch>();
    // Without waiting: waiting returns only once every backend has listed all
    // its printers, which a backend that cannot reach its server never has.
    // The file backend lists its printer at once, inside this call.
    gtk_enumerate_printers(note_printer, new SearchRef(search), end_search, FALSE);
    if (search->wanted && !search->finished) {
        search->loop = g_main_loop_new(nullptr, FALSE);
        search->timer = g_timeout_add(file_printer_wait_ms, give_up_search, search.get());
        g_main_loop_run(search->loop);
        if (search->timer) g_source_remove(search->timer);
        g_main_loop_unref(search->loop);
        search->loop = nullptr;
    }
    search->wanted = false;
    return search->name;
}

}  // namespace tk

int print_requester() {
    drop_job();
    GtkWidget* widget = gtk_print_unix_dialog_new(_("Print"), nullptr);
    if (!widget) return 0;
    // Held across the run: something destroying the dialog meanwhile must not
    // leave us with a freed widget.
    g_object_ref(widget);
    bool destroyed = false;
    g_signal_connect(widget, "destroy", G_CALLBACK(note_destroyed), &destroyed);
    GtkPrintUnixDialog* dialog = GTK_PRINT_UNIX_DIALOG(widget);
    gtk_print_unix_dialog_set_manual_capabilities(dialog, GTK_PRINT_CAPABILITY_PREVIEW);
    // The paper is chosen in the dialog itself.
    gtk_print_unix_dialog_set_embed_page_setup(dialog, TRUE);

    DialogWatch watch;
    watch.dialog = dialog;
    watch.settings = state.chosen_settings ? gtk_print_settings_copy(state.chosen_settings) : first_settings();
    gtk_print_unix_dialog_set_settings(dialog, watch.settings);
    GtkPageSetup* page_setup = state.chosen_page_setup ? gtk_page_setup_copy(state.chosen_page_setup) : gtk_page_setup_new();
    gtk_print_unix_dialog_set_page_setup(dialog, page_setup);
    g_object_unref(page_setup);
    watch.timer = g_timeout_add(default_printer_wait_ms, preselect_file_printer, &watch);

    gint response = gtk_dialog_run(GTK_DIALOG(dialog));
    if (watch.timer) g_source_remove(watch.timer);
    g_object_unref(watch.settings);

    int answer = 0;
    if (!destroyed) {
        GtkPrinter* printer = gtk_print_unix_dialog_get_selected_printer(dialog);
        if (response == GTK_RESPONSE_OK && printer) {
            answer = 1;
        } else if (response == GTK_RESPONSE_APPLY) {
            answer = 2;
        }
        if (answer) {
            state.ready = true;
            state.preview = answer == 2;
            state.printer = printer ? GTK_PRINTER(g_object_ref(printer)) : nullptr;
            state.settings = gtk_print_unix_dialog_get_settings(dialog);
            state.page_setup = gtk_page_setup_copy(gtk_print_unix_dialog_get_page_setup(dialog));
            drop(state.chosen_settings);
            drop(state.chosen_page_setup);
            state.chosen_settings = gtk_print_settings_copy(state.settings);
            state.chosen_page_setup = gtk_page_setup_copy(state.page_setup);
        }
        g_signal_handlers_disconnect_by_func(widget, reinterpret_cast<gpointer>(note_destroyed), &destroyed);
        gtk_widget_destroy(widget);
    }
    g_object_unref(widget);
    return answer;
}

int printing_begin(const std::string& job_name) {
    if (!state.ready) return 0;
    // Begun again, the document starts afresh.
    close_document();
    std::string title = chess::valid_utf8(job_name.c_str());
    if (!state.preview) {
        GtkPrintJob* job = gtk_print_job_new(title.c_str(), state.printer, state.settings, state.page_setup);
        GError* error = nullptr;
        cairo_surface_t* surface = job ? gtk_print_job_get_surface(job, &error) : nullptr;
        if (!surface || cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
            tk::print_report("the job cannot be started", error);
            g_clear_error(&error);
            if (job) g_object_unref(job);
            return 0;
        }
        state.job = job;
        state.surface = surface;
        // Paper goes through a printer upright: a print system that says so
        // has the page turned onto it, any other takes the page as it is.
        state.turn_pages = job->rotate_to_orientation;
    }
    state.name = title;
    state.open = true;
    begin_page();
    return 1;
}

// A session goes on drawing on the new page: the target always draws on the
// page that is open.
void printer_new_page() {
    if (!state.open) return;
    end_page();
    begin_page();
}

int printer_page_width() { return whole_points(page_width_points()); }

int printer_page_height() { return whole_points(page_height_points()); }

void printing_end() {
    if (!state.open) return;
    tk::end_printer_session();
    end_page();
    if (state.preview) {
        tk::show_print_preview({.name = state.name,
                                .width = page_width_points(),
                                .height = page_height_points(),
                                .pages = state.pages,
                                .settings = state.settings,
                                .page_setup = state.page_setup});
    } else {
        send_job();
    }
    drop_job();
}
