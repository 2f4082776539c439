#include "toolkit/printing.h"

#include <cairo-pdf.h>
#include <cairo-ps.h>
#include <glib/gstdio.h>
#include <gtk/gtk.h>
#include <gtk/gtkunixprint.h>
#include <pango/pangocairo.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <memory>
#include <vector>

#include "pictures/files.h"
#include "pictures/internal.h"

// Printing runs on GTK's own print stack: the print dialog picks a printer,
// its settings and the paper; a GtkPrintJob gives a cairo surface in points
// with the origin at the paper's top-left corner, which the printer target
// draws on. A preview draws the same pages into recordings instead, which
// become a PDF for the desktop's previewer (or a window of our own).

namespace {

// How long the dialog leaves the print system to name its default printer
// before it falls back to the file printer: a print server that cannot be
// reached never says that it has none.
constexpr guint default_printer_wait_ms = 1000;
// How long a search for the file printer waits when its backend does not
// list it at once (it normally does).
constexpr guint file_printer_wait_ms = 2000;

void report(const char* what, const GError* error = nullptr) {
    if (error) {
        std::fprintf(stderr, "printing: %s: %s\n", what, error->message);
    } else {
        std::fprintf(stderr, "printing: %s\n", what);
    }
}

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

    // Preview windows of our own still open.
    std::vector<GtkWidget*> previews;
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
// The printer target

class PrinterTarget : public DrawingTarget {
public:
    PrinterTarget(int page_width, int page_height) {
        width = page_width;
        height = page_height;
        // Nothing has been sent yet, so the first colour always is.
        front_colour = 0xFFFFFFFF;
        back_colour = 0xFFFFFFFF;
    }
    ~PrinterTarget() override { release(); }

    bool begun() const { return begun_; }

    bool begin() override {
        if (!state.page) return false;
        layout_ = pango_cairo_create_layout(state.page);
        PangoContext* context = pango_layout_get_context(layout_);
        // One point per unit, so that a font's size in points is its size on
        // the page; unhinted, so that text measures the same on every page.
        pango_cairo_context_set_resolution(context, 72.0);
        cairo_font_options_t* options = cairo_font_options_create();
        cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
        cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_NONE);
        pango_cairo_context_set_font_options(context, options);
        cairo_font_options_destroy(options);
        pango_layout_context_changed(layout_);
        if (const PangoFontDescription* font = pango_layout_get_font_description(layout_)) {
            default_font_ = pango_font_description_copy(font);
        }
        set_font(default_font());
        begun_ = true;
        return true;
    }

    void end() override {
        begun_ = false;
        release();
    }

    // Only remembered: the colours go to the page with the shape that uses
    // them, since a picture replaces cairo's source.
    void set_front_colour(Colour colour) override { front_ = colour; }
    void set_back_colour(Colour colour) override { back_ = colour; }
    // The mode is read from the base when drawing; no bit needs preparing.
    void set_mode(unsigned) override {}

    void set_font(FontHandle font) override {
        if (layout_) pango_layout_set_font_description(layout_, font == default_font() ? default_font_ : font);
    }

    void box(int x, int y, int box_width, int box_height) override {
        cairo_t* cr = state.page;
        if (!cr) return;
        tk::Box b = tk::normalised_box(x, y, box_width, box_height);
        cairo_save(cr);
        use_colour(cr, front_);
        cairo_rectangle(cr, static_cast<double>(b.x), static_cast<double>(b.y), static_cast<double>(b.width),
                        static_cast<double>(b.height));
        if (mode & Outline) {
            // The line of a PostScript page, which cairo would draw twice as wide.
            cairo_set_line_width(cr, 1.0);
            cairo_stroke(cr);
        } else {
            cairo_fill(cr);
        }
        cairo_restore(cr);
    }

    void draw_image(ImageHandle image, int x, int y) override {
        if (image) draw_scaled(image, x, y, gdk_pixbuf_get_width(image), gdk_pixbuf_get_height(image));
    }

    void draw_scaled(ImageHandle image, int x, int y, int to_width, int to_height) {
        cairo_t* cr = state.page;
        if (!cr || !image || to_width <= 0 || to_height <= 0) return;
        int w = gdk_pixbuf_get_width(image), h = gdk_pixbuf_get_height(image);
        if (w <= 0 || h <= 0) return;
        cairo_save(cr);
        cairo_translate(cr, x, y);
        cairo_scale(cr, static_cast<double>(to_width) / w, static_cast<double>(to_height) / h);
        gdk_cairo_set_source_pixbuf(cr, image, 0, 0);
        cairo_rectangle(cr, 0, 0, w, h);
        cairo_fill(cr);
        cairo_restore(cr);
    }

    int draw_text(int x, int y, const std::string& text) override {
        if (text.empty() || !layout_) return x;
        cairo_t* cr = state.page;
        if (cr) pango_cairo_update_layout(cr, layout_);
        int w = 0, h = 0;
        tk::layout_text_size(layout_, text, w, h);
        if (cr) {
            cairo_save(cr);
            if (!(mode & TextNoBackground)) {
                use_colour(cr, back_);
                cairo_rectangle(cr, x, y, w, h);
                cairo_fill(cr);
            }
            use_colour(cr, front_);
            cairo_move_to(cr, x, y);
            pango_cairo_show_layout(cr, layout_);
            cairo_restore(cr);
        }
        return static_cast<int>(std::clamp<long long>(x + 0LL + w, INT_MIN, INT_MAX));
    }

    int text_width(const std::string& text) override {
        if (text.empty() || !layout_) return 0;
        if (state.page) pango_cairo_update_layout(state.page, layout_);
        int w = 0, h = 0;
        tk::layout_text_size(layout_, text, w, h);
        return w;
    }

private:
    static void use_colour(cairo_t* cr, Colour colour) {
        cairo_set_source_rgb(cr, (colour & 0xFF) / 255.0, (colour >> 8 & 0xFF) / 255.0, (colour >> 16 & 0xFF) / 255.0);
    }

    void release() {
        if (layout_) g_object_unref(layout_);
        if (default_font_) pango_font_description_free(default_font_);
        layout_ = nullptr;
        default_font_ = nullptr;
    }

    bool begun_ = false;
    Colour front_ = 0;
    Colour back_ = 0;
    PangoLayout* layout_ = nullptr;
    PangoFontDescription* default_font_ = nullptr;
};

PrinterTarget* printer_session() { return dynamic_cast<PrinterTarget*>(tk::drawing_current()); }

// A printer session ends with the document it draws on.
void end_printer_session() {
    if (printer_session()) tk::drawing_set_current(nullptr);
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
    end_printer_session();
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
    if (error) report("the print system did not take the job", error);
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
// Preview

struct PreviewPage {
    cairo_surface_t* recording;
    double width;
};

void free_preview_page(gpointer data) {
    auto* page = static_cast<PreviewPage*>(data);
    cairo_surface_destroy(page->recording);
    delete page;
}

gboolean expose_preview_page(GtkWidget* area, GdkEventExpose* event, gpointer data) {
    auto* page = static_cast<PreviewPage*>(data);
    cairo_t* cr = gdk_cairo_create(gtk_widget_get_window(area));
    gdk_cairo_region(cr, event->region);
    cairo_clip(cr);
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_paint(cr);
    GtkAllocation allocation;
    gtk_widget_get_allocation(area, &allocation);
    double scale = allocation.width / page->width;
    cairo_scale(cr, scale, scale);
    cairo_set_source_surface(cr, page->recording, 0, 0);
    cairo_paint(cr);
    cairo_destroy(cr);
    return TRUE;
}

void forget_preview(GtkWidget* window, gpointer) {
    state.previews.erase(std::remove(state.previews.begin(), state.previews.end(), window), state.previews.end());
}

// The pages in a window of their own, scaled to fit the screen's height.
void show_preview_window() {
    GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_title(GTK_WINDOW(window), state.name.c_str());
    GdkScreen* screen = gtk_window_get_screen(GTK_WINDOW(window));
    double width = page_width_points(), height = page_height_points();
    double scale = std::min(1.0, 0.8 * gdk_screen_get_height(screen) / height);
    int shown_width = std::max(1, static_cast<int>(std::lround(width * scale)));
    int shown_height = std::max(1, static_cast<int>(std::lround(height * scale)));

    GtkWidget* column = gtk_vbox_new(FALSE, 12);
    gtk_container_set_border_width(GTK_CONTAINER(column), 12);
    for (cairo_surface_t* recording : state.pages) {
        GtkWidget* area = gtk_drawing_area_new();
        gtk_widget_set_size_request(area, shown_width, shown_height);
        auto* page = new PreviewPage{cairo_surface_reference(recording), width};
        g_object_set_data_full(G_OBJECT(area), "preview-page", page, free_preview_page);
        g_signal_connect(area, "expose-event", G_CALLBACK(expose_preview_page), page);
        gtk_box_pack_start(GTK_BOX(column), area, FALSE, FALSE, 0);
    }
    GtkWidget* scroller = gtk_scrolled_window_new(nullptr, nullptr);
    gtk_scrolled_window_set_policy(GTK_SCROLLED_WINDOW(scroller), GTK_POLICY_AUTOMATIC, GTK_POLICY_AUTOMATIC);
    gtk_scrolled_window_add_with_viewport(GTK_SCROLLED_WINDOW(scroller), column);
    gtk_container_add(GTK_CONTAINER(window), scroller);
    gtk_window_set_default_size(GTK_WINDOW(window), shown_width + 48, shown_height + 48);

    state.previews.push_back(window);
    g_signal_connect(window, "destroy", G_CALLBACK(forget_preview), nullptr);
    gtk_widget_show_all(window);
}

bool write_preview_pdf(const std::string& path) {
    cairo_surface_t* pdf = cairo_pdf_surface_create(path.c_str(), page_width_points(), page_height_points());
    cairo_t* cr = cairo_create(pdf);
    for (cairo_surface_t* recording : state.pages) {
        cairo_set_source_surface(cr, recording, 0, 0);
        cairo_paint(cr);
        cairo_show_page(cr);
    }
    cairo_destroy(cr);
    cairo_surface_finish(pdf);
    bool written = cairo_surface_status(pdf) == CAIRO_STATUS_SUCCESS;
    cairo_surface_destroy(pdf);
    return written;
}

// The previewer reads the job's settings and paper from a key file.
bool write_preview_settings(const std::string& path) {
    GKeyFile* keys = g_key_file_new();
    gtk_print_settings_to_key_file(state.settings, keys, nullptr);
    gtk_page_setup_to_key_file(state.page_setup, keys, nullptr);
    gsize length = 0;
    gchar* data = g_key_file_to_data(keys, &length, nullptr);
    bool written = data && g_file_set_contents(path.c_str(), data, static_cast<gssize>(length), nullptr);
    g_free(data);
    g_key_file_free(keys);
    return written;
}

// A new empty file in the temporary folder; "" when none can be made.
std::string temporary_file(const char* pattern) {
    gchar* path = nullptr;
    GError* error = nullptr;
    int fd = g_file_open_tmp(pattern, &path, &error);
    if (fd < 0) {
        report("no temporary file for the preview", error);
        g_clear_error(&error);
        return std::string();
    }
    close(fd);
    std::string result(path);
    g_free(path);
    return result;
}

// %f and %s in each argument of the command become the two files, %% a '%'.
std::string substitute(const char* argument, const std::string& pdf, const std::string& settings, bool& used_pdf) {
    std::string result;
    for (const char* c = argument; *c; ++c) {
        if (*c != '%' || !c[1]) {
            result += *c;
            continue;
        }
        ++c;
        if (*c == 'f') {
            result += pdf;
            used_pdf = true;
        } else if (*c == 's') {
            result += settings;
        } else if (*c == '%') {
            result += '%';
        } else {
            result += '%';
            result += *c;
        }
    }
    return result;
}

// Starts the desktop's previewer (GtkSettings' gtk-print-preview-command) on
// the files, which then belong to it. False when there is no usable command
// or it cannot be started.
bool launch_previewer(const std::string& pdf, const std::string& settings) {
    gchar* command = nullptr;
    g_object_get(gtk_settings_get_default(), "gtk-print-preview-command", &command, nullptr);
    gint argc = 0;
    gchar** argv = nullptr;
    GError* error = nullptr;
    bool parsed = command && *command && g_shell_parse_argv(command, &argc, &argv, &error);
    g_free(command);
    if (!parsed) {
        if (error) report("the preview command cannot be read", error);
        g_clear_error(&error);
        return false;
    }
    bool used_pdf = false;
    std::vector<std::string> arguments;
    for (gint i = 0; i < argc; ++i) arguments.push_back(substitute(argv[i], pdf, settings, used_pdf));
    g_strfreev(argv);
    // A command that is not given the file cannot show it.
    if (!used_pdf) return false;

    std::vector<gchar*> args;
    for (std::string& argument : arguments) args.push_back(argument.data());
    args.push_back(nullptr);
    bool started = g_spawn_async(nullptr, args.data(), nullptr, G_SPAWN_SEARCH_PATH, nullptr, nullptr, nullptr, &error);
    if (!started) {
        report("the previewer cannot be started", error);
        g_clear_error(&error);
    }
    return started;
}

void show_preview() {
    std::string pdf = temporary_file("print-preview-XXXXXX.pdf");
    std::string settings = temporary_file("print-settings-XXXXXX.ini");
    bool launched = !pdf.empty() && !settings.empty() && write_preview_pdf(pdf) && write_preview_settings(settings) &&
                    launch_previewer(pdf, settings);
    if (launched) return;
    if (!pdf.empty()) g_unlink(pdf.c_str());
    if (!settings.empty()) g_unlink(settings.c_str());
    show_preview_window();
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

void printer_init() {
    printer_shutdown();
}

void printer_shutdown() {
    drop_job();
    drop(state.chosen_settings);
    drop(state.chosen_page_setup);
    std::vector<GtkWidget*> previews = state.previews;
    for (GtkWidget* window : previews) gtk_widget_destroy(window);
    state.previews.clear();
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
    GtkWidget* widget = gtk_print_unix_dialog_new("Print", nullptr);
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
    std::string title = tk::valid_utf8(job_name);
    if (!state.preview) {
        GtkPrintJob* job = gtk_print_job_new(title.c_str(), state.printer, state.settings, state.page_setup);
        GError* error = nullptr;
        cairo_surface_t* surface = job ? gtk_print_job_get_surface(job, &error) : nullptr;
        if (!surface || cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
            report("the job cannot be started", error);
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

DrawTarget printer_target() {
    tk::drawing_set_current(nullptr);
    if (!state.page) return nullptr;
    DrawTarget target = new PrinterTarget(printer_page_width(), printer_page_height());
    tk::drawing_set_current(target);
    return target;
}

void printing_end() {
    if (!state.open) return;
    end_printer_session();
    end_page();
    if (state.preview) {
        show_preview();
    } else {
        send_job();
    }
    drop_job();
}

void printer_draw_image(ImageHandle image, int x, int y, int width, int height) {
    PrinterTarget* target = printer_session();
    if (target && target->begun()) target->draw_scaled(image, x, y, width, height);
}

void print_fitted_page(const std::string& job_name, ImageHandle image) {
    if (printing_begin(job_name) != 1) return;
    if (state.page && image) {
        const double page_width = settled(page_width_points()), page_height = settled(page_height_points());
        const int width = gdk_pixbuf_get_width(image), height = gdk_pixbuf_get_height(image);
        if (page_width > 0 && page_height > 0 && width > 0 && height > 0) {
            // One scale for both directions, on the page's exact size rather
            // than its whole points: the side that limits fills the page.
            const double scale = std::min(page_width / width, page_height / height);
            cairo_t* cr = state.page;
            cairo_save(cr);
            cairo_translate(cr, (page_width - width * scale) / 2, (page_height - height * scale) / 2);
            cairo_scale(cr, scale, scale);
            gdk_cairo_set_source_pixbuf(cr, image, 0, 0);
            cairo_rectangle(cr, 0, 0, width, height);
            cairo_fill(cr);
            cairo_restore(cr);
        }
    }
    printing_end();
}
