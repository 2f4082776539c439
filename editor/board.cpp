// The board window: squares, frame, palette, task field and buttons.
//
// Every length derives from the square size s with integer divisions exactly
// as written, so an odd s gives s - s/2 and s/2 that differ by one.
#include "core/piece_roles.h"
#include "editor/editor.h"

namespace {

// Square k stands in column i (left to right) and row j (top to bottom),
// numbered down the columns: k = 8(i - 1) + j.
template <class F>
void for_each_square(F f) {
    int t = -1;
    int k = 0;
    for (int i = 1; i <= 8; ++i) {
        for (int j = 1; j <= 8; ++j) {
            ++k;
            f(k, i, j, t);
            t = -t;
        }
        t = -t;  // the next column starts on the other colour
    }
}

ImageHandle empty_square(int t) { return image_handle(t == -1 ? empty_light_square : empty_dark_square); }

}  // namespace

void build_board_window() {
    const int s = square_size;
    window_open(board_window, 1, 1, 800, 620, _("Chess diagram"), 96);

    for_each_square([&](int k, int i, int j, int t) {
        image_gadget(k, i * s, j * s, s, s, empty_square(t));
        square_colour[k] = -t;
    });

    image_gadget(frame_top, s - s / 2, s / 2, 9 * s, s / 2, image_handle(horizontal_frame));
    image_gadget(frame_bottom, s - s / 2, 9 * s, 9 * s, 25, image_handle(horizontal_frame));
    image_gadget(frame_left, s - s / 2, s, s / 2, 8 * s, image_handle(vertical_frame));
    image_gadget(frame_right, 9 * s, s, s / 2, 8 * s, image_handle(vertical_frame));

    // Palette: three columns 5 pixels apart, rows 3 pixels apart; each gadget
    // shows the odd picture of the pair it selects.
    const int column[] = {10 * s, 11 * s + 5, 12 * s + 10};
    auto row_y = [s](int r) { return r * (s + 3) - s / 2; };
    for (int r = 1; r <= 6; ++r) image_gadget(68 + r, column[0], row_y(r), s, s, image_handle(2 * r - 1));
    for (int r = 1; r <= 6; ++r) image_gadget(74 + r, column[1], row_y(r), s, s, image_handle(2 * r + 11));
    image_gadget(last_palette, column[2], row_y(1), s, s, image_handle(empty_light_square));

    string_gadget(task_field, s / 2, 10 * s - s / 2 + 5, 9 * s, 25, _(task_placeholder));
    gadget_set_font(task_field, font_handle(task_font));

    const int button_width = 790 - 10 * s;
    button_gadget(show_print_button, 10 * s, 7 * s + 40, button_width, 25, _("Просмотр и печать"));
    button_gadget(save_button, 10 * s, 7 * s + 70, button_width, 25, _("Сохранить изображение"));
    button_gadget(add_to_print_button, 10 * s, 7 * s + 10, button_width, 25, _("Добавить к печати"));
    button_gadget(clear_board_button, 10 * s, 7 * s + 100, button_width, 25, _("Очистить доску"));
    button_gadget(clear_slots_button, 10 * s, 7 * s + 130, button_width, 25, _("Очистить диаграммы"));

    image_gadget(symbol_palette_1, column[2], row_y(2), s, s, image_handle(29));
    image_gadget(symbol_palette_2, column[2], row_y(3), s, s, image_handle(31));

    // The focus starts on a button, so the task field shows its placeholder.
    gadget_activate(add_to_print_button);
}

void choose_piece(ObjectId g) {
    if (g >= first_palette && g <= last_palette) current_piece = static_cast<int>(2 * g - 137);
    if (g == symbol_palette_1) current_piece = 29;
    if (g == symbol_palette_2) current_piece = 31;
}

int square_of_gadget(ObjectId k) {
    const int i = static_cast<int>((k - 1) / 8) + 1, j = static_cast<int>((k - 1) % 8) + 1;
    return chess::square_of(i - 1, 8 - j);
}

namespace {
// The picture of what the position holds on square gadget k, for the
// colour the board gave that square.
void show_square(ObjectId k) {
    const chess::Piece piece = board_position[square_of_gadget(k)];
    gadget_set_state(k, image_handle(chess::picture_of(piece, square_colour[k] != 1)));
}
}  // namespace

void place_piece(ObjectId g) {
    if (g < 1 || g > 64) return;
    // Before the first palette click there is no choice: picture 0 (the blank
    // slot) must not land on the board.
    if (current_piece == 0) return;
    board_position[square_of_gadget(g)] = chess::piece_of_picture(current_piece);
    show_square(g);
}

void show_board() {
    for (ObjectId k = 1; k <= 64; ++k) show_square(k);
}

void clear_board() {
    board_position = chess::Position{};
    for_each_square([](int k, int, int, int t) { gadget_set_state(k, empty_square(t)); });
}
