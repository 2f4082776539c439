// The print preview: the pages of a job recorded instead of printed, shown
// by the desktop's previewer as a PDF, or in a window of our own when the
// desktop has none.
#include <cairo-pdf.h>
#include <glib/gstdio.h>
#include <gtk/gtk.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "toolkit/internal.h"

namespace {

// Preview windows of our own still open.
std::vector<GtkWidget*> previews;

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
    previews.erase(std::remove(previews.begin(), previews.end(), window), previews.end());
}

// The pages in a window of their own, scaled to fit the screen's height.
void show_preview_window(const tk::PrintPreview& preview) {
    GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_title(GTK_WINDOW(window), preview.name.c_str());
    GdkScreen* screen = gtk_window_get_screen(GTK_WINDOW(window));
    double width = preview.width, height = preview.height;
    double scale = std::min(1.0, 0.8 * gdk_screen_get_height(screen) / height);
    int shown_width = std::max(1, static_cast<int>(std::lround(width * scale)));
    int shown_height = std::max(1, static_cast<int>(std::lround(height * scale)));

    GtkWidget* column = gtk_vbox_new(FALSE, 12);
    gtk_container_set_border_width(GTK_CONTAINER(column), 12);
    for (cairo_surface_t* recording : preview.pages) {
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

    previews.push_back(window);
    g_signal_connect(window, "destroy", G_CALLBACK(forget_preview), nullptr);
    gtk_widget_show_all(window);
}

bool write_preview_pdf(const tk::PrintPreview& preview, const std::string& path) {
    cairo_surface_t* pdf = cairo_pdf_surface_create(path.c_str(), preview.width, preview.height);
    cairo_t* cr = cairo_create(pdf);
    for (cairo_surface_t* recording : preview.pages) {
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
bool write_preview_settings(const tk::PrintPreview& preview, const std::string& path) {
    GKeyFile* keys = g_key_file_new();
    gtk_print_settings_to_key_file(preview.settings, keys, nullptr);
    gtk_page_setup_to_key_file(preview.page_setup, keys, nullptr);
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
        tk::print_report("no temporary file for the preview", error);
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
        if (error) tk::print_report("the preview command cannot be read", error);
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
        tk::print_report("the previewer cannot be started", error);
        g_clear_error(&error);
    }
    return started;
}

}  // namespace

namespace tk {

void show_print_preview(const PrintPreview& preview) {
    std::string pdf = temporary_file("print-preview-XXXXXX.pdf");
    std::string settings = temporary_file("print-settings-XXXXXX.ini");
    bool launched = !pdf.empty() && !settings.empty() && write_preview_pdf(preview, pdf) &&
                    write_preview_settings(preview, settings) && launch_previewer(pdf, settings);
    if (launched) return;
    if (!pdf.empty()) g_unlink(pdf.c_str());
    if (!settings.empty()) g_unlink(settings.c_str());
    show_preview_window(preview);
}

void close_print_previews() {
    std::vector<GtkWidget*> open = previews;
    for (GtkWidget* window : open) gtk_widget_destroy(window);
    previews.clear();
}

}  // namespace tk
