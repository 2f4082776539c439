// The print sheet window of "Просмотр и печать": the diagrams waiting in the
// print slots, two by two on one sheet, shown and printed. A slot drawn with
// the suite's own piece set prints as the renderer's vector diagram, at the
// place and size its picture has on the sheet; any other prints its pixels.
#include <vector>

#include "core/piece_set_mark.h"
#include "core/sheet_layout.h"
#include "editor/editor.h"
#include "render/diagram.h"

namespace {

constexpr ObjectId sheet_scroll = 199;
constexpr ObjectId sheet_view = 200;
constexpr ObjectId print_button = 201;

constexpr chess::SheetLayout layout = chess::editor_print_sheet;
constexpr int sheet_width = layout.width;
constexpr int sheet_height = layout.height;

const Colour white = colour_rgb(255, 255, 255);

// The slot pictures on the sheet as last composed, for the print.
std::vector<SheetCell> sheet_cells;

// The cell of a slot picture at box: drawn by the renderer when the slot
// file's record says the suite's own set drew it, else its pixels.
SheetCell slot_cell(const std::string& file, const SheetBox& box) {
    SheetCell cell{box, {}};
    const chess::DiagramRecordResult read = chess::read_diagram_picture(file);
    if (!read.ok || !chess::drawn_with_own_set(read.record, box.width, box.height)) return cell;
    std::string error;
    const chess::render::Renderer* renderer = chess::render::process_renderer(error);
    // Without the renderer's fonts the pixels print, as from any other set.
    if (!renderer) return cell;
    const chess::render::Diagram diagram{read.record.position, read.record.caption, {}};
    cell.draw = [renderer, diagram](cairo_t* cr, const SheetBox& b) {
        cairo_translate(cr, b.x, b.y);
        renderer->draw(cr, diagram, b.width / 9.0);
    };
    return cell;
}

// Image 101 anew: white, with the slot pictures at their places.
void compose_sheet() {
    // Without TEMP/ the slots cannot be read: their places stay white rather
    // than show files of whatever folder is current.
    const bool slots_readable = enter_temp_folder();
    sheet_cells.clear();
    image_create(sheet_image, sheet_width, sheet_height);
    drawing_begin(image_target(sheet_image));
    drawing_mode(GradientFill);
    draw_box(0, 0, sheet_width + 10, sheet_height + 10, white);  // clipped: the whole sheet white
    drawing_mode(Outline);
    // Only four slots have a place on the sheet.
    for (int n = 1; slots_readable && n <= print_slot_count && n <= print_slots; ++n) {
        // A slot file that does not load leaves its place white: image 99
        // must not still hold the picture of an earlier slot.
        image_free(slot_image);
        image_load(slot_image, number_text(n) + ".jpg");
        // Slot n by its top-left corner, from the size of its own picture.
        const int w = image_width(slot_image), h = image_height(slot_image);
        const SheetBox box{layout.picture_x(n, w), layout.picture_y(n, h), w, h};
        draw_image(image_handle(slot_image), box.x, box.y);
        if (w > 0 && h > 0) sheet_cells.push_back(slot_cell(number_text(n) + ".jpg", box));
    }
    drawing_end();
}

// The sheet scaled to the page keeping its proportions, centred. It is drawn
// scaled rather than resized, so the sheet itself keeps its size and a second
// print is the same as the first.
void print_sheet() {
    print_fitted_page(_("print diagram"), image_handle(sheet_image), sheet_cells);
}

}  // namespace

void show_print_sheet() {
    compose_sheet();

    window_open(sheet_window, 1, 1, 1000, 730, "", WindowMinimiseButton | WindowCentred);
    button_gadget(print_button, 425, 695, 150, 25, _("Печать диаграмм"));
    // The scroll area becomes the gadget list, so the sheet view lies inside it.
    scroll_area_gadget(sheet_scroll, 0, 0, 990, 680, sheet_width, sheet_height);
    image_gadget(sheet_view, 5, 5, sheet_width, sheet_height, image_handle(sheet_image));

    // Its own loop on the same queue: a close request from either window ends
    // it, and everything else (the board window's clicks too) is dropped.
    while (true) {
        const EventKind kind = event_wait();
        if (kind == CloseWindow) {
            window_close(sheet_window);
            return;
        }
        // Print or Preview; the print system shows a preview itself.
        if (kind == Gadget && event_gadget() == print_button && print_requester() != 0) print_sheet();
    }
}
