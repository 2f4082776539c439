// The diagram picture: rendering the board and task text, saving it, and the
// four print slot files in TEMP/.
#include <cstdio>

#include "editor/editor.h"

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
    const int s = square_size;
    // Made current for the slot files; a save by full path does not need it.
    set_current_directory(temp_folder);
    image_create(diagram_image, 9 * s, 9 * s + s / 2);
    drawing_begin(image_target(diagram_image));

    // The order decides what covers what.
    drawing_mode(GradientFill);
    draw_box(0, 0, 10 * s, 10 * s, white);  // clipped: the whole picture white
    drawing_mode(Outline);
    draw_box(0, 0, 9 * s, s / 2, black);

    drawing_font(font_handle(task_font));
    const std::string task = gadget_text(task_field);
    const int tw = text_width(task);
    // Truncates toward zero: a text wider than 9s starts left of the picture
    // and is clipped on both sides, staying centred.
    draw_text((9 * s - tw) / 2, 9 * s + 2, task, black, white);

    draw_image(image_handle(horizontal_frame), 0, 0);
    draw_image(image_handle(horizontal_frame), 0, 8 * s + s / 2);
    draw_image(image_handle(vertical_frame), 0, s / 2);
    draw_image(image_handle(vertical_frame), 8 * s + s / 2, s / 2);

    // The squares as the board shows them.
    int k = 0;
    for (int i = 1; i <= 8; ++i) {
        for (int j = 1; j <= 8; ++j) {
            ++k;
            draw_image(reinterpret_cast<ImageHandle>(gadget_state(k)), i * s - s / 2, j * s - s / 2);
        }
    }
    drawing_end();
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
