#include "raster/piece_set_diagram.h"

#include "core/diagram_layout.h"
#include "core/piece_roles.h"

namespace chess::raster {

namespace {
constexpr Colour white = 0xFFFFFF;
constexpr Colour black = 0;
}  // namespace

bool piece_set_load(const std::string& folder, int& failed_picture) {
    failed_picture = 0;
    for (int n = 1; n <= chess::piece_set_pictures; ++n) {
        if (!image_load(n, folder + number_text(n) + ".jpg")) {
            failed_picture = n;
            return false;
        }
    }
    return true;
}

int piece_set_square_size() { return image_width(1); }

bool piece_set_check(int& wrong_picture, std::string& why) {
    const chess::DiagramLayout layout{piece_set_square_size()};
    const int s = layout.s;
    auto size_text = [](int w, int h) { return std::to_string(w) + " x " + std::to_string(h); };
    wrong_picture = 0;
    if (s < smallest_square) {
        wrong_picture = 1;
        why = size_text(image_width(1), image_height(1)) + " pixels: a square needs at least " +
              std::to_string(smallest_square) + " pixels";
        return false;
    }
    for (int n = 1; n <= chess::piece_set_pictures; ++n) {
        int w = s, h = s;
        if (n == chess::horizontal_frame_picture) w = layout.horizontal_strip_width(), h = layout.half();
        if (n == chess::vertical_frame_picture) w = layout.half(), h = layout.vertical_strip_height();
        if (image_width(n) != w || image_height(n) != h) {
            wrong_picture = n;
            why = size_text(image_width(n), image_height(n)) + " pixels, not " + size_text(w, h) +
                  " as picture 1 sets for a set of squares of " + std::to_string(s);
            return false;
        }
    }
    return true;
}

bool piece_set_diagram(ObjectId image, const chess::Position& position, const std::string& caption,
                       FontHandle font) {
    const chess::DiagramLayout layout{piece_set_square_size()};
    const int s = layout.s;
    if (!image_create(image, layout.width(), layout.height())) return false;
    if (!drawing_begin(image_target(image))) return false;

    // The order decides what covers what.
    drawing_mode(GradientFill);
    draw_box(0, 0, 10 * s, 10 * s, white);  // clipped: the whole picture white
    drawing_mode(Outline);
    draw_box(0, 0, layout.horizontal_strip_width(), layout.half(), black);

    drawing_font(font);
    // A caption wider than the picture starts left of it and is clipped on
    // both sides, staying centred.
    draw_text(layout.caption_x(text_width(caption)), layout.caption_y(), caption, black, white);

    draw_image(image_handle(chess::horizontal_frame_picture), 0, layout.top_strip_y());
    draw_image(image_handle(chess::horizontal_frame_picture), 0, layout.bottom_strip_y());
    draw_image(image_handle(chess::vertical_frame_picture), layout.left_strip_x(), layout.vertical_strip_y());
    draw_image(image_handle(chess::vertical_frame_picture), layout.right_strip_x(), layout.vertical_strip_y());

    // Column i is file a to h, row j rank 8 down to 1.
    for (int i = 1; i <= 8; ++i) {
        for (int j = 1; j <= 8; ++j) {
            const int square = chess::square_of(i - 1, 8 - j);
            const int picture = chess::picture_of(position[square], chess::is_dark_square(square));
            draw_image(image_handle(picture), layout.square_x(i), layout.square_y(j));
        }
    }
    drawing_end();
    return true;
}

}  // namespace chess::raster
