// The programs' own work against the bare libraries doing the same job:
// each benchmark times both sides in the same iterations, on the same data,
// alternating which goes first, and reports the ratio ours / baseline. The
// iteration time is ours.
//
//   ratio      our time over the baseline's, all iterations together
//   ours_ms    our time per iteration
//   base_ms    the baseline's time per iteration
//
// The data are real: a piece set drawn by make_piece_set (s = 50) and twelve
// different diagrams rendered and saved by the editor's own code, in a
// scratch working folder. These benchmarks need an X display (the editor and
// the composer build their windows); without one they are skipped.
#include <benchmark/benchmark.h>
#include <gdk-pixbuf/gdk-pixbuf.h>
#include <gtk/gtk.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "bench/bare_jpeg.h"
#include "bench/pair.h"
#include "composer/composer.h"
#include "editor/editor.h"
#include "toolkit/toolkit.h"

namespace {

namespace fs = std::filesystem;

constexpr int square = 50;
constexpr int sheet_diagrams = 12;

char program_name[] = "diagram_bench";
char* program_argv[] = {program_name, nullptr};

// Lets GTK finish what the last step queued (realising, mapping, drawing).
void settle() {
    while (gtk_events_pending()) gtk_main_iteration_do(FALSE);
}

// ---- bare libjpeg ----

void bare_encode(const std::string& path, GdkPixbuf* picture) {
    bare::encode(path, gdk_pixbuf_get_pixels(picture), gdk_pixbuf_get_width(picture), gdk_pixbuf_get_height(picture),
                 static_cast<std::size_t>(gdk_pixbuf_get_rowstride(picture)), gdk_pixbuf_get_n_channels(picture));
}

// The file decoded straight into a new pixel buffer.
GdkPixbuf* bare_decode(const std::string& path) {
    GdkPixbuf* picture = nullptr;
    bare::decode(path, [&](int width, int height) {
        picture = gdk_pixbuf_new(GDK_COLORSPACE_RGB, FALSE, 8, width, height);
        if (!picture) std::abort();
        return bare::Rows{gdk_pixbuf_get_pixels(picture), static_cast<std::size_t>(gdk_pixbuf_get_rowstride(picture))};
    });
    return picture;
}

// ---- the scratch working folder ----

struct Workshop {
    bool ready = false;
    std::string error;
    fs::path folder;
    std::vector<std::string> diagrams;  // twelve saved diagrams, 450 x 475

    Workshop() {
        std::string pattern = (fs::temp_directory_path() / "diagram-bench-programs-XXXXXX").string();
        if (!mkdtemp(pattern.data())) std::abort();
        folder = pattern;
        for (const char* sub : {"DATA", "SAVE", "TEMP", "OUT"}) fs::create_directories(folder / sub);
        if (!draw_piece_set()) return;
        if (!make_diagrams()) return;
        ready = true;
    }
    ~Workshop() {
        std::error_code ignored;
        fs::remove_all(folder, ignored);
    }

    std::string out(const std::string& name) const { return (folder / "OUT" / name).string(); }
    void enter() const {
        if (chdir(folder.c_str()) != 0) std::abort();
    }

private:
    bool draw_piece_set() {
        std::string data = (folder / "DATA").string() + "/", size = std::to_string(square);
        gchar* argv[] = {const_cast<gchar*>(MAKE_PIECE_SET), data.data(), size.data(), nullptr};
        gint status = 0;
        if (!g_spawn_sync(nullptr, argv, nullptr, G_SPAWN_STDOUT_TO_DEV_NULL, nullptr, nullptr, nullptr, nullptr,
                          &status, nullptr) ||
            !g_spawn_check_exit_status(status, nullptr)) {
            error = "make_piece_set failed (is there a display?)";
            return false;
        }
        return true;
    }

    // Twelve positions, each a different scatter of pieces, with a task text.
    bool make_diagrams() {
        enter();
        if (!start_editor(1, program_argv)) {
            error = "the editor did not start";
            return false;
        }
        for (int n = 1; n <= sheet_diagrams; ++n) {
            clear_board();
            for (int k = 0; k < 6 + n; ++k) {
                choose_piece(first_palette + (7 * k + n) % 12);
                place_piece(1 + (13 * k + 5 * n) % 64);
            }
            gadget_set_text(task_field, "Задача " + std::to_string(n) + ": мат в два хода");
            render_diagram();
            std::string path = (folder / "SAVE" / ("d" + std::to_string(n) + ".jpg")).string();
            if (!image_save(diagram_image, path, FormatJPEG)) {
                error = "cannot save " + path;
                break;
            }
            diagrams.push_back(path);
        }
        toolkit_shutdown();
        settle();
        return diagrams.size() == sheet_diagrams;
    }
};

const Workshop& workshop() {
    static Workshop made;
    return made;
}

bool usable(benchmark::State& state) {
    if (!workshop().ready) {
        state.SkipWithError(workshop().error.c_str());
        return false;
    }
    return true;
}

// ---- 1: one diagram rendered and saved ----

void BM_DiagramSave_vs_BareEncode(benchmark::State& state) {
    if (!usable(state)) return;
    workshop().enter();
    if (!start_editor(1, program_argv)) return state.SkipWithError("the editor did not start");
    settle();
    for (int k = 0; k < 20; ++k) {
        choose_piece(first_palette + k % 12);
        place_piece(1 + (11 * k) % 64);
    }
    gadget_set_text(task_field, "Мат в 3 хода");
    // The baseline encodes the same picture: the diagram as rendered.
    render_diagram();
    GdkPixbuf* rendered = gdk_pixbuf_copy(image_handle(diagram_image));
    const std::string ours_path = workshop().out("diagram.jpg"), bare_path = workshop().out("bare.jpg");

    bench::Pair pair(state);
    for (auto _ : state) {
        pair.run(
            [&] {
                // The save button's work without its dialog.
                render_diagram();
                if (!image_save(diagram_image, ours_path, FormatJPEG)) std::abort();
            },
            [&] { bare_encode(bare_path, rendered); });
    }
    pair.report();
    g_object_unref(rendered);
    toolkit_shutdown();
    settle();
}

// ---- 2: a sheet of twelve composed and saved ----

// The composer's addition of one diagram past its open dialog: load, scale
// to fit the cell (the larger ratio decides, rounded half to even), draw.
void compose_one(const std::string& path) {
    namespace c = composer;
    if (!image_load(c::diagram_image, path)) std::abort();
    ++c::diagram_count;
    const int width = image_width(c::diagram_image), height = image_height(c::diagram_image);
    c::width_ratio = static_cast<double>(width) / c::cell_width;
    c::height_ratio = static_cast<double>(height) / c::cell_height;
    const double divisor = c::height_ratio < c::width_ratio ? c::width_ratio : c::height_ratio;
    image_resize(c::diagram_image, static_cast<int>(std::nearbyint(width / divisor)),
                 static_cast<int>(std::nearbyint(height / divisor)));
    c::place_diagram();
}

void compose_sheet(const std::string& out) {
    composer::clear_sheet();
    for (const std::string& path : workshop().diagrams) compose_one(path);
    if (!image_save(composer::sheet_image, out, FormatJPEG)) std::abort();
}

// The same with the bare libraries: libjpeg decodes, GDK-Pixbuf scales
// bilinearly and copies into a white sheet, libjpeg encodes.
void bare_sheet(const std::string& out) {
    const int width = composer::sheet_width, height = composer::sheet_height;
    GdkPixbuf* sheet = gdk_pixbuf_new(GDK_COLORSPACE_RGB, FALSE, 8, width, height);
    gdk_pixbuf_fill(sheet, 0xFFFFFFFF);
    int n = 0;
    for (const std::string& path : workshop().diagrams) {
        GdkPixbuf* picture = bare_decode(path);
        double divisor = std::max(static_cast<double>(gdk_pixbuf_get_width(picture)) / composer::cell_width,
                                  static_cast<double>(gdk_pixbuf_get_height(picture)) / composer::cell_height);
        int w = static_cast<int>(std::nearbyint(gdk_pixbuf_get_width(picture) / divisor));
        int h = static_cast<int>(std::nearbyint(gdk_pixbuf_get_height(picture) / divisor));
        GdkPixbuf* scaled = gdk_pixbuf_scale_simple(picture, w, h, GDK_INTERP_BILINEAR);
        int column = n % composer::columns, row = n / composer::columns;
        gdk_pixbuf_copy_area(scaled, 0, 0, w, h, sheet, composer::margin + column * (w + composer::gap),
                             composer::margin + row * (h + composer::gap));
        g_object_unref(scaled);
        g_object_unref(picture);
        ++n;
    }
    bare_encode(out, sheet);
    g_object_unref(sheet);
}

bool start_composer(benchmark::State& state) {
    workshop().enter();
    if (!composer::start_up(1, program_argv)) {
        state.SkipWithError("the composer did not start");
        return false;
    }
    settle();
    return true;
}

void BM_Sheet12_vs_BareLibraries(benchmark::State& state) {
    if (!usable(state) || !start_composer(state)) return;
    const std::string ours_path = workshop().out("sheet.jpg"), bare_path = workshop().out("bare-sheet.jpg");
    bench::Pair pair(state);
    for (auto _ : state) pair.run([&] { compose_sheet(ours_path); }, [&] { bare_sheet(bare_path); });
    pair.report();
    composer::finish();
    settle();
}

// ImageMagick's montage making the same sheet from the same files: 3 x 4
// cells of the composer's size, 20 pixels apart, white, quality 70. It runs
// as a program, so its time includes its own start.
void BM_Sheet12_vs_Montage(benchmark::State& state) {
    if (!usable(state) || !start_composer(state)) return;
    const std::string ours_path = workshop().out("sheet.jpg"), montage_path = workshop().out("montage.jpg");
    std::vector<std::string> arguments{"montage"};
    for (const std::string& path : workshop().diagrams) arguments.push_back(path);
    std::string geometry = std::to_string(composer::cell_width) + "x" + std::to_string(composer::cell_height) + "+" +
                           std::to_string(composer::gap / 2) + "+" + std::to_string(composer::gap / 2);
    for (const char* argument : {"-tile", "3x4", "-background", "white", "-quality", "70", "-geometry"})
        arguments.push_back(argument);
    arguments.push_back(geometry);
    arguments.push_back(montage_path);
    std::vector<gchar*> argv;
    for (std::string& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);

    bench::Pair pair(state);
    for (auto _ : state) {
        pair.run([&] { compose_sheet(ours_path); },
                 [&] {
                     gint status = 0;
                     if (!g_spawn_sync(nullptr, argv.data(), nullptr, G_SPAWN_SEARCH_PATH, nullptr, nullptr, nullptr,
                                       nullptr, &status, nullptr) ||
                         !g_spawn_check_exit_status(status, nullptr))
                         state.SkipWithError("montage failed (is imagemagick installed?)");
                 });
        if (state.error_occurred()) break;
    }
    pair.report();
    composer::finish();
    settle();
}

// ---- 3: start-up, from toolkit_init to the first event_wait ----

GtkWidget* fixed_window(int width, int height) {
    GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_resizable(GTK_WINDOW(window), FALSE);
    gtk_widget_set_size_request(window, width, height);
    gtk_window_set_position(GTK_WINDOW(window), GTK_WIN_POS_CENTER);
    GtkWidget* fixed = gtk_fixed_new();
    gtk_container_add(GTK_CONTAINER(window), fixed);
    return window;
}

GtkFixed* layout_of(GtkWidget* window) { return GTK_FIXED(gtk_bin_get_child(GTK_BIN(window))); }

void put_picture(GtkFixed* fixed, GdkPixbuf* picture, int x, int y) {
    GtkWidget* box = gtk_event_box_new();
    gtk_container_add(GTK_CONTAINER(box), gtk_image_new_from_pixbuf(picture));
    gtk_fixed_put(fixed, box, x, y);
}

// The editor's start-up done with bare GTK and GDK-Pixbuf: the piece set
// loaded, the four blank slots written, the board window with its squares,
// frame, palette, task field and buttons shown.
GtkWidget* bare_editor_start(std::vector<GdkPixbuf*>& pieces) {
    const fs::path& folder = workshop().folder;
    for (int n = 1; n <= 32; ++n) {
        pieces.push_back(
            gdk_pixbuf_new_from_file((folder / "DATA" / (std::to_string(n) + ".jpg")).c_str(), nullptr));
    }
    GdkPixbuf* blank = gdk_pixbuf_new(GDK_COLORSPACE_RGB, FALSE, 8, 5, 5);
    gdk_pixbuf_fill(blank, 0xFFFFFFFF);
    const fs::path slots = folder / "OUT";
    gdk_pixbuf_save(blank, (slots / "1.jpg").c_str(), "jpeg", nullptr, "quality", "70", nullptr);
    g_object_unref(blank);
    for (const char* copy : {"2.jpg", "3.jpg", "4.jpg"})
        fs::copy_file(slots / "1.jpg", slots / copy, fs::copy_options::overwrite_existing);

    const int s = gdk_pixbuf_get_width(pieces[0]);
    GtkWidget* window = fixed_window(800, 620);
    gtk_window_set_title(GTK_WINDOW(window), "Chess diagram");
    GtkFixed* fixed = layout_of(window);
    for (int i = 1; i <= 8; ++i)
        for (int j = 1; j <= 8; ++j) put_picture(fixed, pieces[(i + j) % 2 ? 25 : 24], i * s, j * s);
    put_picture(fixed, pieces[26], s - s / 2, s / 2);
    put_picture(fixed, pieces[26], s - s / 2, 9 * s);
    put_picture(fixed, pieces[27], s - s / 2, s);
    put_picture(fixed, pieces[27], 9 * s, s);
    for (int r = 1; r <= 6; ++r) {
        put_picture(fixed, pieces[2 * r - 2], 10 * s, r * (s + 3) - s / 2);
        put_picture(fixed, pieces[2 * r + 10], 11 * s + 5, r * (s + 3) - s / 2);
    }
    for (int r = 1; r <= 3; ++r) put_picture(fixed, pieces[r == 1 ? 24 : 24 + 2 * r], 12 * s + 10, r * (s + 3) - s / 2);
    GtkWidget* entry = gtk_entry_new();
    PangoFontDescription* font = pango_font_description_from_string("15");
    gtk_widget_modify_font(entry, font);
    pango_font_description_free(font);
    gtk_entry_set_text(GTK_ENTRY(entry), "Введите здесь текст задания");
    gtk_widget_set_size_request(entry, 9 * s, 25);
    gtk_fixed_put(fixed, entry, s / 2, 10 * s - s / 2 + 5);
    GtkWidget* first = nullptr;
    int y = 7 * s + 10;
    for (const char* label :
         {"Добавить к печати", "Просмотр и печать", "Сохранить изображение", "Очистить доску", "Очистить диаграммы"}) {
        GtkWidget* button = gtk_button_new_with_label(label);
        gtk_widget_set_size_request(button, 790 - 10 * s, 25);
        gtk_fixed_put(fixed, button, 10 * s, y);
        y += 30;
        if (!first) first = button;
    }
    gtk_widget_show_all(window);
    gtk_widget_grab_focus(first);
    return window;
}

void BM_EditorStart_vs_BareGtk(benchmark::State& state) {
    if (!usable(state)) return;
    bench::Pair pair(state);
    bool started = true;
    for (auto _ : state) {
        std::vector<GdkPixbuf*> pieces;
        GtkWidget* window = nullptr;
        // The editor leaves TEMP/ current; each start begins in the working folder.
        workshop().enter();
        pair.run([&] { started = start_editor(1, program_argv); }, [&] { window = bare_editor_start(pieces); });
        // Shown and taken down outside the timing.
        settle();
        if (started) toolkit_shutdown();
        gtk_widget_destroy(window);
        for (GdkPixbuf* piece : pieces) g_object_unref(piece);
        settle();
        if (!started) return state.SkipWithError("the editor did not start");
    }
    pair.report();
}

// The composer's start-up done with bare GTK and GDK-Pixbuf: a white sheet,
// the window with its four buttons and the sheet in a scrolled view.
GtkWidget* bare_composer_start(GdkPixbuf*& sheet) {
    sheet = gdk_pixbuf_new(GDK_COLORSPACE_RGB, FALSE, 8, 1180, 1628);
    gdk_pixbuf_fill(sheet, 0xFFFFFFFF);
    GtkWidget* window = fixed_window(1000, 700);
    GtkFixed* fixed = layout_of(window);
    const struct {
        int x, width;
        const char* label;
    } buttons[] = {{25, 150, "Печать диаграмм"},
                   {205, 150, "Добавить диаграмму"},
                   {385, 200, "Сохранить диаграммы в JPG"},
                   {615, 200, "Очистить диаграммы"}};
    for (const auto& b : buttons) {
        GtkWidget* button = gtk_button_new_with_label(b.label);
        gtk_widget_set_size_request(button, b.width, 25);
        gtk_fixed_put(fixed, button, b.x, 10);
    }
    GtkWidget* scrolled = gtk_scrolled_window_new(nullptr, nullptr);
    gtk_widget_set_size_request(scrolled, 990, 640);
    GtkWidget* inner = gtk_fixed_new();
    gtk_widget_set_size_request(inner, 1180, 1628);
    put_picture(GTK_FIXED(inner), sheet, 0, 0);
    gtk_scrolled_window_add_with_viewport(GTK_SCROLLED_WINDOW(scrolled), inner);
    gtk_fixed_put(fixed, scrolled, 5, 40);
    gtk_widget_show_all(window);
    return window;
}

void BM_ComposerStart_vs_BareGtk(benchmark::State& state) {
    if (!usable(state)) return;
    bench::Pair pair(state);
    bool started = true;
    for (auto _ : state) {
        GdkPixbuf* sheet = nullptr;
        GtkWidget* window = nullptr;
        workshop().enter();
        pair.run([&] { started = composer::start_up(1, program_argv); }, [&] { window = bare_composer_start(sheet); });
        settle();
        if (started) composer::finish();
        gtk_widget_destroy(window);
        g_object_unref(sheet);
        settle();
        if (!started) return state.SkipWithError("the composer did not start");
    }
    pair.report();
}

BENCHMARK(BM_DiagramSave_vs_BareEncode)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Sheet12_vs_BareLibraries)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Sheet12_vs_Montage)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EditorStart_vs_BareGtk)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ComposerStart_vs_BareGtk)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace
