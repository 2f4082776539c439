#include "composer/position_lists.h"

#include <cairo.h>
#include <gdk-pixbuf/gdk-pixbuf.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string_view>
#include <vector>

#include "composer/composer.h"
#include "core/sheet_layout.h"
#include "input/diagram_items.h"
#include "render/diagram.h"
#include "render/output.h"

namespace composer {

// Pictures from cameras and other programs often end in capitals or in ".jpeg".
const char* const open_patterns = N_(
    "Image JPG|*.jpg;*.JPG;*.jpeg;*.JPEG|Position list (FEN, EPD, PGN)|*.fen;*.epd;*.pgn;*.txt;*.FEN;*.EPD;*.PGN;*.TXT"
    "|Chess problems (POP, YAML)|*.pop;*.yaml;*.yml;*.POP;*.YAML;*.YML");

namespace {

// A diagram in the editor's proportions: 9 squares wide, 9.5 high.
constexpr int diagram_width_squares2 = 18, diagram_height_squares2 = 19;
constexpr std::size_t errors_shown = 5;

// What became of one list.
struct Tally {
    int placed = 0;
    int left_out = 0;
    int bad = 0;
    std::vector<std::string> errors;  // the first few
    // Drawn as far as they go (a game cut off by the file's end): the first few.
    int damaged = 0;
    std::vector<std::string> damages;

    void bad_entry(const std::string& message) {
        ++bad;
        std::fprintf(stderr, "%s: %s\n", program_name, message.c_str());
        if (errors.size() < errors_shown) errors.push_back(message);
    }
    void damaged_entry(const std::string& message) {
        ++damaged;
        std::fprintf(stderr, "%s: %s\n", program_name, message.c_str());
        if (damages.size() < errors_shown) damages.push_back(message);
    }
};

// A modal message over the composer window (which has no title, nor have
// its messages); the same on standard error for logs.
void list_message(const std::string& text, const std::string& detail) {
    std::fprintf(stderr, "%s: %s %s\n", program_name, text.c_str(), detail.c_str());
    std::fflush(stderr);
    message_requester("", text, detail, composer_window);
}

// Copies the surface's pixels into the sheet at (x, y), at most width x
// height of them, clipped to the sheet.
void copy_to_sheet(cairo_surface_t* surface, int x, int y, int width, int height) {
    GdkPixbuf* sheet = image_handle(sheet_image);
    if (!sheet) return;
    cairo_surface_flush(surface);
    const unsigned char* from = cairo_image_surface_get_data(surface);
    const int from_stride = cairo_image_surface_get_stride(surface);
    width = std::min({width, cairo_image_surface_get_width(surface), gdk_pixbuf_get_width(sheet) - x});
    height = std::min({height, cairo_image_surface_get_height(surface), gdk_pixbuf_get_height(sheet) - y});
    guchar* to = gdk_pixbuf_get_pixels(sheet);
    const int to_stride = gdk_pixbuf_get_rowstride(sheet), channels = gdk_pixbuf_get_n_channels(sheet);
    for (int row = 0; row < height; ++row) {
        const auto* in = reinterpret_cast<const std::uint32_t*>(from + row * from_stride);
        guchar* out = to + (y + row) * to_stride + x * channels;
        for (int column = 0; column < width; ++column, out += channels) {
            const std::uint32_t pixel = in[column];  // 0x00RRGGBB
            out[0] = static_cast<guchar>(pixel >> 16);
            out[1] = static_cast<guchar>(pixel >> 8);
            out[2] = static_cast<guchar>(pixel);
        }
    }
}

// The next free cell gets the position; false once the sheet is full.
bool place_position(const chess::render::Renderer& drawer, const chess::input::DiagramItem& item) {
    if (diagram_count >= capacity) return false;
    chess::render::Diagram diagram{item.position, item.caption, {}};
    diagram.options.marks = item.marks;
    diagram.problem = item.problem;
    const DiagramPlace place = diagram_place(diagram_count + 1, drawer.size(diagram, 1.0).height);
    cairo_surface_t* surface = chess::render::rasterise(drawer, diagram, place.square);
    if (!surface) return false;
    ++diagram_count;
    copy_to_sheet(surface, place.x, place.y, place.width, place.height);
    cairo_surface_destroy(surface);
    sheet_cells.push_back(
        {{place.x, place.y, place.width, place.height}, vector_drawing(item.position, item.caption, item.marks)});
    return true;
}

// n positions. The message ids hold two of Russian's three forms (1
// позиция, 2-4 позиции, 5-20 позиций, 21 позиция ...): with no translation
// the Russian rule picks among the three.
std::string positions_text(int n) {
    std::string_view form = ngettext("%d позиция", "%d позиций", n);
    if (form == "%d позиция" || form == "%d позиций") {
        const int last = n % 10, last_two = n % 100;
        if (last == 1 && last_two != 11) form = "%d позиция";
        else if (last >= 2 && last <= 4 && (last_two < 12 || last_two > 14)) form = "%d позиции";
        else form = "%d позиций";
    }
    std::string text(form);
    const std::size_t at = text.find("%d");
    if (at != std::string::npos) text.replace(at, 2, std::to_string(n));
    return text;
}

}  // namespace

CellDrawing vector_drawing(const chess::Position& position, const std::string& caption,
                           const chess::Annotations& marks) {
    std::string error;
    const chess::render::Renderer* drawer = chess::render::process_renderer(error);
    if (!drawer) return {};
    chess::render::Diagram diagram{position, caption, {}};
    diagram.options.marks = marks;
    return [drawer, diagram](cairo_t* cr, const SheetBox& box) {
        cairo_translate(cr, box.x, box.y);
        drawer->draw(cr, diagram, box.width * 2.0 / diagram_width_squares2);
    };
}

DiagramPlace diagram_place(int cell) {
    constexpr chess::SheetLayout sheet = chess::program_sheet(columns, rows, COMPOSER_MARGIN, COMPOSER_GAP);
    DiagramPlace place;
    sheet.fit(diagram_width_squares2 * 50, diagram_height_squares2 * 50, place.width, place.height);
    place.x = sheet.picture_x(cell, place.width);
    place.y = sheet.picture_y(cell, place.height);
    place.square = place.width * 2.0 / diagram_width_squares2;
    return place;
}

DiagramPlace diagram_place(int cell, double height) {
    DiagramPlace place = diagram_place(cell);
    if (height * 2 <= diagram_height_squares2) return place;
    const DiagramPlace full = place;
    place.square = full.height / height;
    place.width = static_cast<int>(9 * place.square);
    place.x = full.x + (full.width - place.width) / 2;
    return place;
}

bool is_position_list(const std::string& path) {
    // An empty or unreadable file goes the picture's way, whose load tells why.
    const chess::input::Kind kind = chess::input::kind_of(path);
    return kind != chess::input::Kind::Picture && kind != chess::input::Kind::Nothing;
}

void add_position_list(const std::string& path) {
    std::string error;
    const chess::render::Renderer* drawer = chess::render::process_renderer(error);
    if (!drawer) {
        list_message(_("Не удалось нарисовать позиции из файла ") + path, error);
        return;
    }
    // Positions beyond the last free cell are read all the same, to be
    // counted.
    Tally tally;
    bool read = true;
    chess::input::ItemReader reader(
        [&](const chess::input::DiagramItem& item) {
            if (place_position(*drawer, item)) {
                ++tally.placed;
            } else {
                ++tally.left_out;
            }
        },
        [&](const chess::input::ReadProblem& problem) {
            using Severity = chess::input::ReadProblem::Severity;
            // How the file was read (not UTF-8) loses nothing: not told.
            if (problem.severity == Severity::Notice) return;
            if (problem.severity == Severity::Damaged) return tally.damaged_entry(problem.message);
            if (problem.number > 0) return tally.bad_entry(problem.message);
            read = false;
            error = problem.cause;
        });
    reader.read(path);
    // The view shows the new cells once told.
    if (tally.placed > 0) gadget_set_state(sheet_view, image_handle(sheet_image));

    std::string detail;
    if (!read) detail += _("Файл прочитан не до конца: ") + error + ".\n";
    if (tally.left_out > 0) {
        detail += _("Не поместились на лист: ") + positions_text(tally.left_out) + ".\n";
    }
    if (tally.bad > 0) {
        detail += _("Пропущены записи с ошибками: ") + std::to_string(tally.bad) + ".\n";
        for (const std::string& e : tally.errors) detail += e + "\n";
        if (tally.bad > static_cast<int>(tally.errors.size())) detail += "…\n";
    }
    if (tally.damaged > 0) {
        detail += _("Обрываются на конце файла (добавлены как есть): ") + std::to_string(tally.damaged) + ".\n";
        for (const std::string& e : tally.damages) detail += e + "\n";
        if (tally.damaged > static_cast<int>(tally.damages.size())) detail += "…\n";
    }
    if (detail.empty() && tally.placed > 0) return;
    if (!detail.empty() && detail.back() == '\n') detail.pop_back();
    const std::string text = tally.placed > 0
                                 ? _("Добавлено на лист: ") + positions_text(tally.placed) + _(" из файла ") + path
                                 : _("В файле ") + path + _(" нет позиций, которые можно добавить");
    list_message(text, detail);
}

}  // namespace composer
