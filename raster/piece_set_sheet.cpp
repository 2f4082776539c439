#include "raster/piece_set_sheet.h"

#include <unistd.h>

#include "raster/piece_set_diagram.h"

namespace chess::raster {

namespace {
constexpr Colour white = 0xFFFFFF;
}

bool program_sheet_for(int columns, int rows, SheetLayout& layout, bool& scaled) {
    if (columns == 2 && rows == 2) {
        layout = editor_print_sheet;
        scaled = false;
        return true;
    }
    if (columns == 2 && rows == 3) {
        layout = sheet6_layout;
        scaled = true;
        return true;
    }
    if (columns == 3 && rows == 4) {
        layout = sheet12_layout;
        scaled = true;
        return true;
    }
    return false;
}

PieceSetSheet::PieceSetSheet(const SheetLayout& layout, bool scaled, std::string work_folder, Images images)
    : layout_(layout), scaled_(scaled), work_folder_(std::move(work_folder)), images_(images) {}

PieceSetSheet::~PieceSetSheet() {
    image_free(images_.sheet);
    image_free(images_.diagram);
    image_free(images_.picture);
}

bool PieceSetSheet::start() {
    if (!image_create(images_.sheet, layout_.width, layout_.height)) return false;
    if (!drawing_begin(image_target(images_.sheet))) return false;
    // As the programs whiten theirs: the gradient mode paints opaque white,
    // the box overshoots and is clipped.
    drawing_mode(GradientFill);
    draw_box(0, 0, layout_.width + 10, layout_.height + 10, white);
    drawing_end();
    return true;
}

bool PieceSetSheet::place(int n, const chess::Position& position, const std::string& caption, FontHandle font) {
    if (!piece_set_diagram(images_.diagram, position, caption, font)) return false;
    // The file the editor would have saved; the programs read it back.
    const std::string path = work_folder_ + "diagram.jpg";
    const bool saved = image_save(images_.diagram, path, FormatJPEG) == 1;
    image_free(images_.diagram);
    if (!saved) return false;
    const bool placed = place_file(n, path);
    unlink(path.c_str());
    return placed;
}

bool PieceSetSheet::place_file(int n, const std::string& path) {
    if (n < 1 || n > layout_.capacity()) return false;
    image_free(images_.picture);
    if (!image_load(images_.picture, path)) return false;
    if (scaled_) {
        int fitted_width = 0, fitted_height = 0;
        layout_.fit(image_width(images_.picture), image_height(images_.picture), fitted_width, fitted_height);
        if (!image_resize(images_.picture, fitted_width, fitted_height)) return false;
    }
    const int w = image_width(images_.picture), h = image_height(images_.picture);
    if (!drawing_begin(image_target(images_.sheet))) return false;
    drawing_mode(Outline);
    draw_image(image_handle(images_.picture), layout_.picture_x(n, w), layout_.picture_y(n, h));
    drawing_end();
    image_free(images_.picture);
    return true;
}

bool PieceSetSheet::save(const std::string& path) const {
    return image_save(images_.sheet, path, FormatJPEG) == 1;
}

}  // namespace chess::raster
