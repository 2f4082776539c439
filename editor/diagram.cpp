// The diagram picture: rendering the board and task text, saving it, and the
// four print slot files in TEMP/.
#include <cstdio>

#include "editor/clipboard.h"
#include "editor/editor.h"
#include "render/piece_set_diagram.h"

namespace {

const Colour white = colour_rgb(255, 255, 255);
const Colour black = colour_rgb(0, 0, 0);

std::string slot_name(int n) { return number_text(n) + ".jpg"; }

}  // namespace

bool enter_temp_folder() {
    if (set_current_directory(temp_folder) == 0) return true;
    std::fprintf(stderr, "Не удалось перейти в папку %s: диаграммы для печати не изменены\n", temp_folder.c_str());
    std::fflush(stderr);
    return false;
}

void render_diagram() {
    // Made current for the slot files; a save by full path does not need it.
    set_current_directory(temp_folder);
    render::piece_set_diagram(diagram_image, board_position, gadget_text(task_field), font_handle(task_font));
    // What the picture shows, kept inside it for later readers.
    image_set_comment(diagram_image, board_record());
}

void save_diagram() {
    render_diagram();
    const std::string path = save_file_requester("Save image", save_folder, "JPEG Image|*.jpg", 0);
    if (path.empty()) return;  // cancelled
    // Always appended, also to a name that already ends in ".jpg".
    image_save(diagram_image, path + ".jpg", FormatJPEG);
}

void add_to_print() {
    if (!enter_temp_folder()) return;
    print_slot_count = print_slot_count + 1;
    render_diagram();
    image_save(diagram_image, slot_name(print_slot_count), FormatJPEG);
}

void clear_print_slots() {
    if (!enter_temp_folder()) return;
    image_create(blank_slot_image, 5, 5);
    drawing_begin(image_target(blank_slot_image));
    drawing_mode(GradientFill);
    draw_box(0, 0, 10, 10, white);
    drawing_end();
    image_save(blank_slot_image, slot_name(1), FormatJPEG);
    for (int n = 2; n <= print_slots; ++n) copy_file(slot_name(1), slot_name(n));
    print_slot_count = 0;
}
