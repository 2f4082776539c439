// Answering the print dialog from inside a test, and reading printed PDFs.
//
// print_requester runs a GtkPrintUnixDialog modally, so a test arms an
// answer first and then makes the program open the dialog. A GLib timeout
// finds the dialog among the top-level windows while its nested loop runs,
// notes what it shows, and presses the button of the answer once the dialog
// would let a user press it (for Print: a printer selected and the button
// sensitive). The print dialog refuses an answer while it still asks the
// printer for its details, so the press is repeated until the dialog goes.
//
//   PrintDialogAnswer answer{PrintDialogReply(GTK_RESPONSE_OK)};
//   EXPECT_EQ(print_requester(), 1);
//   EXPECT_TRUE(answer.answered());
//
// An answer armed for a dialog that never appears gives up after 20 seconds;
// a dialog that cannot be answered as asked within 10 seconds is cancelled.
// Header-only: the editor's and the toolkit's tests both use it.
#pragma once

#include <gtest/gtest.h>
#include <gdk-pixbuf/gdk-pixbuf.h>
#include <gtk/gtk.h>
#include <gtk/gtkunixprint.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

struct PrintDialogReply {
    explicit PrintDialogReply(int answer = GTK_RESPONSE_OK) : response(answer) {}
    // The paper (a GtkPaperSize name: "iso_a4", "na_letter") and orientation
    // chosen in the dialog before the answer.
    PrintDialogReply& on_paper(std::string name, GtkPageOrientation turned = GTK_PAGE_ORIENTATION_PORTRAIT) {
        paper = std::move(name);
        orientation = turned;
        return *this;
    }
    // Answers at first sight, without waiting for a printer to be selected.
    PrintDialogReply& without_waiting() {
        at_once = true;
        return *this;
    }

    int response;  // OK Print, APPLY Preview, anything else Cancel
    std::string paper;  // "" leaves the paper as the dialog shows it
    GtkPageOrientation orientation = GTK_PAGE_ORIENTATION_PORTRAIT;
    bool at_once = false;
};

struct PrintDialogView {
    bool seen = false;
    bool answered = false;
    std::string title;
    bool has_parent = false;
    bool preview_button = false;  // the Preview button is shown
    // When answered:
    std::string printer;  // the selected printer's name, "" for none
    bool printer_virtual = false;
    bool printer_accepts_pdf = false;
    std::string paper;  // the page setup's paper name
    // The dialog asked whether to replace the file printed to (and was told yes).
    bool asked_to_replace = false;
};

namespace print_dialog_detail {
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

struct Watch {
    PrintDialogReply reply;
    PrintDialogView view;
    guint source = 0;
    Clock::time_point armed = Clock::now();
    Clock::time_point first_seen{};
    Clock::time_point last_press{};
    GtkWidget* dialog = nullptr;  // referenced while watched
    bool pressed = false;
    guint press_source = 0;
    bool pressing = false;
    bool done = false;
};

inline GtkPrintUnixDialog* find_dialog() {
    GtkPrintUnixDialog* found = nullptr;
    GList* windows = gtk_window_list_toplevels();
    for (GList* item = windows; item; item = item->next) {
        GtkWidget* widget = GTK_WIDGET(item->data);
        if (GTK_IS_PRINT_UNIX_DIALOG(widget) && gtk_widget_get_visible(widget)) found = GTK_PRINT_UNIX_DIALOG(widget);
    }
    g_list_free(windows);
    return found;
}

// A question the dialog asks on top of itself, if any.
inline GtkDialog* question_over(GtkWidget* dialog) {
    GtkDialog* found = nullptr;
    GList* windows = gtk_window_list_toplevels();
    for (GList* item = windows; item; item = item->next) {
        GtkWidget* widget = GTK_WIDGET(item->data);
        if (GTK_IS_MESSAGE_DIALOG(widget) && gtk_widget_get_visible(widget) &&
            gtk_window_get_transient_for(GTK_WINDOW(widget)) == GTK_WINDOW(dialog))
            found = GTK_DIALOG(widget);
    }
    g_list_free(windows);
    return found;
}

inline bool alive(GtkWidget* dialog) {
    GList* windows = gtk_window_list_toplevels();
    bool found = g_list_find(windows, dialog) != nullptr && gtk_widget_get_visible(dialog);
    g_list_free(windows);
    return found;
}

// The program destroys the dialog once it has its answer.
inline void dialog_gone(GtkWidget*, gpointer data) {
    auto& watch = *static_cast<Watch*>(data);
    watch.view.answered = watch.pressed;
}

inline void finish(Watch& watch) {
    watch.done = true;
    if (watch.dialog) {
        g_signal_handlers_disconnect_by_func(watch.dialog, reinterpret_cast<gpointer>(dialog_gone), &watch);
        g_object_unref(watch.dialog);
    }
    watch.dialog = nullptr;
    watch.source = 0;
}

inline void note_answer(Watch& watch, GtkPrintUnixDialog* dialog) {
    if (GtkPrinter* printer = gtk_print_unix_dialog_get_selected_printer(dialog)) {
        watch.view.printer = gtk_printer_get_name(printer);
        watch.view.printer_virtual = gtk_printer_is_virtual(printer);
        watch.view.printer_accepts_pdf = gtk_printer_accepts_pdf(printer);
    }
    GtkPageSetup* setup = gtk_print_unix_dialog_get_page_setup(dialog);
    if (setup) watch.view.paper = gtk_paper_size_get_name(gtk_page_setup_get_paper_size(setup));
}

// Pressed from a source of its own: the dialog may ask a question in a
// nested loop of the press, which the ticks then answer.
inline gboolean press(gpointer data) {
    auto& watch = *static_cast<Watch*>(data);
    watch.press_source = 0;
    if (!watch.dialog) return FALSE;
    watch.pressing = true;
    GtkWidget* button = gtk_dialog_get_widget_for_response(GTK_DIALOG(watch.dialog), watch.reply.response);
    if (button) {
        gtk_button_clicked(GTK_BUTTON(button));
    } else {
        gtk_dialog_response(GTK_DIALOG(watch.dialog), watch.reply.response);
    }
    watch.pressing = false;
    return FALSE;
}

inline gboolean tick(gpointer data) {
    auto& watch = *static_cast<Watch*>(data);
    Clock::time_point now = Clock::now();
    if (watch.dialog) {
        if (!alive(watch.dialog)) {
            finish(watch);
            return FALSE;
        }
        if (GtkDialog* question = question_over(watch.dialog)) {
            watch.view.asked_to_replace = true;
            gtk_dialog_response(question, GTK_RESPONSE_ACCEPT);
            return TRUE;
        }
    } else {
        GtkPrintUnixDialog* dialog = find_dialog();
        if (!dialog) {
            if (now - watch.armed > milliseconds(20000)) {
                finish(watch);
                return FALSE;
            }
            return TRUE;
        }
        watch.dialog = GTK_WIDGET(g_object_ref(dialog));
        g_signal_connect(dialog, "destroy", G_CALLBACK(dialog_gone), &watch);
        watch.first_seen = now;
        watch.view.seen = true;
        watch.view.title = gtk_window_get_title(GTK_WINDOW(dialog)) ? gtk_window_get_title(GTK_WINDOW(dialog)) : "";
        watch.view.has_parent = gtk_window_get_transient_for(GTK_WINDOW(dialog)) != nullptr;
        GtkWidget* preview = gtk_dialog_get_widget_for_response(GTK_DIALOG(dialog), GTK_RESPONSE_APPLY);
        watch.view.preview_button = preview && gtk_widget_get_visible(preview);
        if (!watch.reply.paper.empty()) {
            GtkPageSetup* setup = gtk_page_setup_new();
            GtkPaperSize* paper = gtk_paper_size_new(watch.reply.paper.c_str());
            gtk_page_setup_set_paper_size_and_default_margins(setup, paper);
            gtk_page_setup_set_orientation(setup, watch.reply.orientation);
            gtk_print_unix_dialog_set_page_setup(dialog, setup);
            gtk_paper_size_free(paper);
            g_object_unref(setup);
        }
    }
    auto* dialog = GTK_PRINT_UNIX_DIALOG(watch.dialog);
    if (now - watch.first_seen > milliseconds(10000)) {
        // Cannot be answered as asked: cancel, and report it unanswered.
        watch.pressed = false;
        gtk_dialog_response(GTK_DIALOG(dialog), GTK_RESPONSE_CANCEL);
        finish(watch);
        return FALSE;
    }
    int response = watch.reply.response;
    bool wants_printer = response == GTK_RESPONSE_OK && !watch.reply.at_once;
    GtkWidget* button = gtk_dialog_get_widget_for_response(GTK_DIALOG(dialog), response);
    bool ready = !wants_printer ||
                 (gtk_print_unix_dialog_get_selected_printer(dialog) && button && gtk_widget_is_sensitive(button));
    if (!ready || watch.pressing || watch.press_source || now - watch.last_press < milliseconds(250)) return TRUE;
    note_answer(watch, dialog);
    watch.pressed = true;
    watch.last_press = now;
    watch.press_source = g_idle_add(press, &watch);
    return TRUE;
}

inline void stop(Watch* watch) {
    if (watch->source) g_source_remove(watch->source);
    if (watch->press_source) g_source_remove(watch->press_source);
    finish(*watch);
    delete watch;
}
}  // namespace print_dialog_detail

class [[nodiscard]] PrintDialogAnswer {
public:
    explicit PrintDialogAnswer(PrintDialogReply reply)
        : watch_(new print_dialog_detail::Watch, print_dialog_detail::stop) {
        watch_->reply = std::move(reply);
        watch_->source = g_timeout_add(20, print_dialog_detail::tick, watch_.get());
    }
    bool seen() const { return watch_->view.seen; }
    bool answered() const { return watch_->view.answered; }
    const PrintDialogView& view() const { return watch_->view; }

private:
    std::unique_ptr<print_dialog_detail::Watch, void (*)(print_dialog_detail::Watch*)> watch_;
};

// ---------------------------------------------------------------------------
// Printed PDFs, read with poppler's command-line tools.

// Runs a program; its standard output, and false when it could not run or failed.
inline bool run_program(const std::vector<std::string>& arguments, std::string& output) {
    std::vector<gchar*> argv;
    for (const std::string& argument : arguments) argv.push_back(const_cast<gchar*>(argument.c_str()));
    argv.push_back(nullptr);
    gchar* out = nullptr;
    gint status = 0;
    bool ran = g_spawn_sync(nullptr, argv.data(), nullptr, static_cast<GSpawnFlags>(G_SPAWN_SEARCH_PATH | G_SPAWN_STDERR_TO_DEV_NULL), nullptr,
                            nullptr, &out, nullptr, &status, nullptr);
    output = out ? out : "";
    g_free(out);
    return ran && g_spawn_check_exit_status(status, nullptr);
}

struct PdfInfo {
    bool valid = false;
    int pages = 0;
    double width = 0, height = 0;  // of the first page, in points
};

inline PdfInfo pdf_info(const std::string& path) {
    PdfInfo info;
    std::string out;
    if (!run_program({"pdfinfo", path}, out)) return info;
    for (std::size_t start = 0; start < out.size();) {
        std::size_t end = out.find('\n', start);
        std::string line = out.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (line.rfind("Pages:", 0) == 0) info.pages = std::stoi(line.substr(6));
        if (line.rfind("Page size:", 0) == 0) std::sscanf(line.c_str() + 10, "%lf x %lf", &info.width, &info.height);
        if (end == std::string::npos) break;
        start = end + 1;
    }
    info.valid = info.pages > 0;
    return info;
}

// Page `page` (from 1) rendered at one pixel per point; null on failure. The
// caller unrefs it.
inline GdkPixbuf* render_pdf_page(const std::string& path, const std::string& scratch_folder, int page = 1) {
    std::string base = scratch_folder + "/rendered-page";
    std::string out;
    std::string number = std::to_string(page);
    if (!run_program({"pdftoppm", "-r", "72", "-png", "-singlefile", "-f", number, "-l", number, path, base}, out))
        return nullptr;
    GdkPixbuf* pixbuf = gdk_pixbuf_new_from_file((base + ".png").c_str(), nullptr);
    std::error_code ignored;
    std::filesystem::remove(base + ".png", ignored);
    return pixbuf;
}

// Whether the file is a complete PDF: it ends with the trailer's end marker.
inline bool pdf_complete(const std::string& path) {
    gchar* data = nullptr;
    gsize length = 0;
    if (!g_file_get_contents(path.c_str(), &data, &length, nullptr)) return false;
    std::string text(data, length);
    g_free(data);
    std::size_t end = text.find_last_not_of("\r\n");
    return text.rfind("%PDF-", 0) == 0 && end != std::string::npos && end >= 4 &&
           text.compare(end - 4, 5, "%%EOF") == 0 && text.find("trailer") != std::string::npos;
}

// The resolution at which the first picture on page 1 is placed, in pixels
// per inch across and down (pdfimages -list); false when there is none.
inline bool pdf_image_resolution(const std::string& path, int& x_ppi, int& y_ppi) {
    std::string out;
    if (!run_program({"pdfimages", "-f", "1", "-l", "1", "-list", path}, out)) return false;
    // Two heading lines, then: page num type width height color comp bpc enc
    // interp object ID x-ppi y-ppi size ratio.
    std::size_t line = out.find('\n', out.find('\n') + 1);
    if (line == std::string::npos) return false;
    char type[32] = {};
    int page = 0, number = 0, width = 0, height = 0, object = 0, id = 0;
    char colour[16] = {}, enc[16] = {}, interp[8] = {};
    int comp = 0, bpc = 0;
    return std::sscanf(out.c_str() + line + 1, "%d %d %31s %d %d %15s %d %d %15s %7s %d %d %d %d", &page, &number,
                       type, &width, &height, colour, &comp, &bpc, enc, interp, &object, &id, &x_ppi, &y_ppi) == 14;
}
