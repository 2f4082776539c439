#include "composer/composer.h"
#include "composer/position_lists.h"

#include <cstdio>

#include "core/piece_set_mark.h"
#include "core/text.h"

namespace composer {

int margin = 0;
int gap = 0;
int sheet_width = 0;
int sheet_height = 0;
int cell_width = 0;
int cell_height = 0;
int diagram_count = 0;
EventKind last_event = NoEvent;
std::string start_folder;
std::string save_folder;
std::string diagram_path;
double width_ratio = 0;
double height_ratio = 0;
int save_result = 0;
std::vector<SheetCell> sheet_cells;

namespace {

constexpr Colour white = 0xFFFFFF;

// The composer window has no title; neither have its messages.
const std::string message_title;

// Every pixel of the sheet opaque white. The gradient mode paints opaque
// white whatever the colour; the box overshoots and is clipped.
void white_fill() {
    drawing_begin(image_target(sheet_image));
    drawing_mode(GradientFill);
    draw_box(0, 0, sheet_width + 10, sheet_height + 10, white);
    drawing_end();
}

}  // namespace

void compute_geometry() {
    margin = layout.margin;
    gap = layout.gap;
    sheet_width = layout.width;
    sheet_height = layout.height;
    cell_width = layout.cell_width();
    cell_height = layout.cell_height();
}

void clear_sheet() {
    diagram_count = 0;
    sheet_cells.clear();
    white_fill();
    gadget_set_state(sheet_view, image_handle(sheet_image));
}

void add_diagram() {
    diagram_path = open_file_requester(_("Open image"), save_folder, _(open_patterns), 0);
    if (diagram_path.empty()) return;
    if (is_position_list(diagram_path)) {
        add_position_list(diagram_path);
        return;
    }
    // A picture that does not load takes no cell: image 99 still holds the
    // last diagram, which must not be drawn a second time in its place.
    if (!image_load(diagram_image, diagram_path)) {
        failure_requester(message_title, _("Не удалось загрузить диаграмму из файла ") + diagram_path,
                          FileAccess::Reading, composer_window);
        return;
    }
    ++diagram_count;
    const int width = image_width(diagram_image);
    const int height = image_height(diagram_image);
    width_ratio = static_cast<double>(width) / cell_width;
    height_ratio = static_cast<double>(height) / cell_height;
    int fitted_width = 0, fitted_height = 0;
    layout.fit(width, height, fitted_width, fitted_height);
    image_resize(diagram_image, fitted_width, fitted_height);
    place_diagram();
    // Judged by the picture as it was saved, before it was fitted.
    const chess::DiagramRecordResult read = chess::read_diagram_picture(diagram_path);
    CellDrawing drawing;
    if (read.ok && chess::drawn_with_own_set(read.record, width, height))
        drawing = vector_drawing(read.record.position, read.record.caption);
    const int n = diagram_count;
    if (n <= capacity)
        sheet_cells.push_back({{layout.picture_x(n, fitted_width), layout.picture_y(n, fitted_height), fitted_width,
                                fitted_height},
                               drawing});
}

void place_diagram() {
    drawing_begin(image_target(sheet_image));
    drawing_mode(Outline);
    const int n = diagram_count;
    // Positions are reckoned from the picture as scaled, not from the cell.
    const int w = image_width(diagram_image);
    const int h = image_height(diagram_image);
    if (n >= 1 && n <= capacity) draw_image(image_handle(diagram_image), layout.picture_x(n, w), layout.picture_y(n, h));
    drawing_end();
    // The session wrote into the pixels; the view shows them once told.
    gadget_set_state(sheet_view, image_handle(sheet_image));
}

void save_sheet() {
    const std::string path =
        save_file_requester(_("Save image"), home_directory(), _("Image JPG|*.jpg|PDF document|*.pdf"), 0);
    if (path.empty()) return;
    // The name is used as typed: no extension is added. The requester has
    // asked before an existing file is replaced. A name ending in ".pdf"
    // gets the printed page, diagrams as vectors; any other the picture.
    const bool pdf = chess::lower_extension(path) == ".pdf";
    save_result = pdf ? write_sheet_pdf(path, image_handle(sheet_image), sheet_cells)
                      : image_save(sheet_image, path, FormatJPEG);
    if (!save_result)
        failure_requester(message_title, _("Не удалось сохранить лист в файл ") + path, FileAccess::Writing,
                          composer_window);
}

// The sheet scaled to the page keeping its proportions, centred. It is drawn
// scaled rather than resized: the sheet keeps its size, so later diagrams
// land in their cells, a save writes the full sheet and a second print is
// the same as the first.
void print_sheet() {
    print_fitted_page(_("print diagram"), image_handle(sheet_image), sheet_cells);
}

bool start_up(int argc, char** argv) {
    // Everything from scratch, also when one process starts the composer
    // more than once (the tests do).
    diagram_count = 0;
    last_event = NoEvent;
    diagram_path.clear();
    width_ratio = height_ratio = 0;
    save_result = 0;
    sheet_cells.clear();
    if (!toolkit_init(argc, argv)) {
        std::fprintf(stderr, "%s: cannot open the display\n", program_name);
        return false;
    }
    register_bmp_decoder();
    register_jpeg_decoder();
    register_jpeg_encoder();

    start_folder = current_directory();
    // Only where the open requester starts: neither tested nor created.
    save_folder = start_folder + "SAVE/";

    compute_geometry();
    image_create(sheet_image, sheet_width, sheet_height);
    white_fill();

    window_open(composer_window, 1, 1, 1000, 700, "", WindowMinimiseButton | WindowCentred);
    button_gadget(print_button, 25, 10, 150, 25, _("Печать диаграмм"));
    button_gadget(add_button, 205, 10, 150, 25, _("Добавить диаграмму"));
    button_gadget(save_button, 385, 10, 200, 25, _("Сохранить диаграммы в JPG"));
    button_gadget(clear_button, 615, 10, 200, 25, _("Очистить диаграммы"));
    // The scroll area becomes the gadget list, so the sheet view lies inside it.
    scroll_area_gadget(sheet_scroll, 5, 40, 990, 640, sheet_width, sheet_height);
    image_gadget(sheet_view, 0, 0, sheet_width, sheet_height, image_handle(sheet_image));

    diagram_count = 0;
    return true;
}

bool loop_turn() {
    last_event = event_wait();
    if (last_event == CloseWindow) return false;
    if (last_event != Gadget) return true;
    switch (event_gadget()) {
        case print_button:
            if (print_requester() != 0) print_sheet();
            break;
        case add_button:
            add_diagram();
            break;
        case save_button:
            save_sheet();
            break;
        case clear_button:
            clear_sheet();
            gadget_disable(add_button, 0);
            break;
        default:
            break;
    }
    if (diagram_count >= capacity) gadget_disable(add_button, 1);
    return true;
}

void finish() {
    window_close(composer_window);
    toolkit_shutdown();
}

int run(int argc, char** argv) {
    if (!start_up(argc, argv)) return 1;
    while (loop_turn()) {
    }
    finish();
    return 0;
}

}  // namespace composer
