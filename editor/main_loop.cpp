// Start-up, folders and the main loop of the board editor.
#include <gtk/gtk.h>

#include <cstdio>

#include "core/piece_set_mark.h"
#include "core/text.h"
#include "editor/clipboard.h"
#include "editor/editor.h"
#include "editor/history.h"
#include "raster/piece_set_diagram.h"

const char* const task_placeholder = N_("Введите здесь текст задания");

std::string start_folder;
std::string data_folder;
std::string save_folder;
std::string temp_folder;
int square_size = 0;
std::string piece_set_name;
int print_slot_count = 0;
int current_piece = 0;
std::array<int, 65> square_colour{};
chess::Position board_position;

namespace {

// Every variable starts at zero or empty, also when a process starts the
// editor more than once (the tests do).
void reset_state() {
    start_folder.clear();
    data_folder.clear();
    save_folder.clear();
    temp_folder.clear();
    square_size = 0;
    piece_set_name.clear();
    print_slot_count = 0;
    current_piece = 0;
    square_colour.fill(0);
    board_position = chess::Position{};
}

// Without a piece set every length of the window would be 0: say so instead
// of opening a collapsed window.
void report_missing_piece_set() {
    const std::string line = _("Не удалось загрузить набор фигур из папки ") + data_folder;
    std::fprintf(stderr, "%s\n", line.c_str());
    std::fflush(stderr);
    // The folder is file-system bytes; the dialog needs valid UTF-8.
    const std::string shown = chess::valid_utf8(line);
    GtkWidget* dialog =
        gtk_message_dialog_new(nullptr, GTK_DIALOG_MODAL, GTK_MESSAGE_ERROR, GTK_BUTTONS_OK, "%s", shown.c_str());
    gtk_window_set_title(GTK_WINDOW(dialog), _("Chess diagram"));
    gtk_window_set_position(GTK_WINDOW(dialog), GTK_WIN_POS_CENTER);
    gtk_dialog_run(GTK_DIALOG(dialog));
    gtk_widget_destroy(dialog);
}

bool load_piece_set() {
    // An unknown start folder would make every folder relative, and the bare
    // names below would then be read from wherever the working folder is.
    if (start_folder.empty() || set_current_directory(data_folder) != 0) return false;
    for (int n = 1; n <= piece_set_size; ++n) image_load(n, number_text(n) + ".jpg");
    square_size = image_width(1);
    piece_set_name = chess::marked_piece_set(data_folder, square_size);
    return square_size > 0;
}

void dispatch(ObjectId g) {
    // Each test on its own; the numbers do not overlap, so at most one acts.
    if (g >= first_palette && g <= last_palette) choose_piece(g);
    if (g == symbol_palette_1) choose_piece(g);
    if (g == symbol_palette_2) choose_piece(g);
    if (g >= 1 && g <= 64) place_piece(g);
    if (g == show_print_button) show_print_sheet();
    if (g == save_button) save_diagram();
    if (g == add_to_print_button) add_to_print();
    if (g == clear_board_button) {
        clear_board();
        gadget_set_text(task_field, "");
    }
    if (g == clear_slots_button) clear_print_slots();
}

}  // namespace

bool start_editor(int argc, char** argv) {
    reset_state();
    if (!toolkit_init(argc, argv)) {
        std::fprintf(stderr, "%s\n", _("Не удалось открыть дисплей X: редактору нужен рабочий стол"));
        return false;
    }
    register_bmp_decoder();
    register_jpeg_decoder();
    register_jpeg_encoder();
    font_load(task_font, chess::raster::caption_font_family, chess::raster::caption_font_size);

    start_folder = current_directory();
    data_folder = start_folder + "DATA/";
    save_folder = start_folder + "SAVE/";
    temp_folder = start_folder + "TEMP/";

    if (!load_piece_set()) {
        report_missing_piece_set();
        toolkit_shutdown();
        return false;
    }
    // The window keeps its size: a larger set runs all the same, cut off at
    // the window's edges.
    if (square_size > largest_square_size) {
        std::fprintf(stderr,
                     _("Окно редактора 800 x 620 слишком мало для набора фигур с клеткой %d пикселей: "
                       "в нём помещаются клетки до %d пикселей\n"),
                     square_size, largest_square_size);
        std::fflush(stderr);
    }
    clear_print_slots();
    build_board_window();
    add_board_shortcuts();
    history_reset();
    return true;
}

bool main_loop_turn() {
    const EventKind kind = event_wait();

    // Refreshed before the event is dispatched, so what an action changes
    // shows with the next event.
    gadget_disable(add_to_print_button, print_slot_count >= print_slots ? 1 : 0);
    if (active_gadget() == task_field && gadget_text(task_field) == _(task_placeholder))
        gadget_set_text(task_field, "");
    if (active_gadget() != task_field && gadget_text(task_field).empty())
        gadget_set_text(task_field, _(task_placeholder));

    if (kind == CloseWindow) return false;
    // Typing posts an event a character: the task typed becomes one step
    // when something else happens, before that action's own step.
    const bool typing = kind == Gadget && event_gadget() == task_field;
    if (!typing) history_record();
    if (kind == KeyShortcut && event_window() == board_window) shortcut_action(event_type());
    if (kind == Gadget) dispatch(event_gadget());
    if (!typing) history_record();
    return true;
}

int run_editor(int argc, char** argv) {
    if (!start_editor(argc, argv)) return 1;
    while (main_loop_turn()) {
    }
    toolkit_shutdown();
    return 0;
}
