#include "render/book.h"

#include <pango/pangocairo.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <memory>

#include "core/text.h"
#include "render/output.h"
#include "render/page_writer.h"

namespace chess::render {

namespace {

constexpr double points_per_mm = 72.0 / 25.4;
constexpr double page_margin = 15 * points_per_mm;
constexpr double cell_gap = 5 * points_per_mm;

// The answer key's type: a serif for the moves, its bold for the numbers.
constexpr const char* key_family = "Serif";
constexpr double key_size = 10;
constexpr double key_heading_size = 14;
// A problem's solution, its columns of moves lined up (fonts-dejavu-core).
constexpr const char* key_verbatim_family = "DejaVu Sans Mono";
constexpr double key_verbatim_size = 8.5;
constexpr double key_column_gap = 8 * points_per_mm;
constexpr int key_columns = 2;

std::string escaped(const std::string& text) {
    char* e = g_markup_escape_text(text.c_str(), static_cast<gssize>(text.size()));
    std::string result(e);
    g_free(e);
    return result;
}

}  // namespace

bool paper_named(const std::string& name, Paper& paper) {
    const std::string n = ascii_lower(name);
    if (n == "a4") {
        paper = Paper::A4;
        return true;
    }
    if (n == "letter") {
        paper = Paper::Letter;
        return true;
    }
    return false;
}

void paper_size(Paper paper, double& width, double& height) {
    if (paper == Paper::Letter) {
        width = 612;
        height = 792;
    } else {
        width = 210 * points_per_mm;
        height = 297 * points_per_mm;
    }
}

bool read_grid(const std::string& text, int& columns, int& rows) {
    if (text.size() != 3 || (text[1] != 'x' && text[1] != 'X')) return false;
    if (text[0] < '1' || text[0] > '0' + max_columns || text[2] < '1' || text[2] > '0' + max_rows) return false;
    columns = text[0] - '0';
    rows = text[2] - '0';
    return true;
}

PageLayout page_layout(Paper paper, int columns, int rows) {
    PageLayout layout;
    layout.columns = columns;
    layout.rows = rows;
    layout.margin = page_margin;
    layout.gap = cell_gap;
    paper_size(paper, layout.width, layout.height);
    return layout;
}

namespace {

double square_fitting(const PageLayout& layout, const Size& unit) {
    double w = 0, h = 0;
    layout.fit(unit.width, unit.height, w, h);
    return w / unit.width;
}

}  // namespace

double page_square(const PageLayout& layout, const DiagramOptions& options) {
    return square_fitting(layout, diagram_size(options, 1.0));
}

Diagram book_diagram(const Position& position, const std::string& caption, const Annotations& marks, int number,
                     const DiagramStyle& style) {
    Diagram d{position, caption, {}};
    DiagramOptions& o = d.options;
    o.flipped = style.flip == Flip::Always || (style.flip == Flip::BlackToMove && position.to_move == Side::Black);
    o.coordinates = style.coordinates;
    o.side_to_move = style.side_to_move;
    if (style.numbers) o.number = std::to_string(number);
    o.marks = marks;
    return d;
}

BookWriter::BookWriter(const Renderer& renderer, const BookSettings& settings, std::string path,
                       std::function<std::string(int)> page_path)
    : renderer_(renderer),
      settings_(settings),
      layout_(page_layout(settings.paper, settings.columns, settings.rows)),
      path_(std::move(path)),
      page_path_(std::move(page_path)) {}

BookWriter::~BookWriter() = default;

bool BookWriter::open_page(std::string& error) {
    if (failed_) return false;
    if (!out_) out_ = std::make_unique<PageWriter>(settings_.format, path_, page_path_);
    cr_ = out_->begin_page(layout_.width, layout_.height, settings_.dpi / 72.0, error);
    if (!cr_) return failed_ = true, false;
    ++pages_;
    return true;
}

bool BookWriter::close_page(std::string& error) {
    cr_ = nullptr;
    if (!out_->end_page(error)) return failed_ = true, false;
    return true;
}

bool BookWriter::stopped(std::string& error) {
    if (!stop_ || !stop_()) return false;
    error = "interrupted";
    failed_ = true;
    return true;
}

bool BookWriter::add(const Diagram& diagram, std::string& error) {
    if (failed_) return false;
    if (placed_ == 0 && !open_page(error)) return false;
    ++placed_;
    ++placed_total_;
    Diagram d = diagram;
    d.options.raster_dpi = settings_.dpi;
    // A caption on more lines than one makes the diagram taller: it is
    // drawn smaller to fit the cell.
    double s = std::min(page_square(layout_, d.options), square_fitting(layout_, renderer_.size(d, 1.0)));
    if (settings_.diagram_width > 0) s = std::min(s, settings_.diagram_width / 9);
    const Size size = renderer_.size(d, s);
    const double x = layout_.centred_x(placed_, size.width), y = layout_.centred_y(placed_, size.height);
    cairo_save(cr_);
    cairo_translate(cr_, x, y);
    renderer_.draw(cr_, d, s);
    cairo_restore(cr_);
    out_->add_diagram(d, s, x, y);
    if (placed_ == layout_.capacity()) {
        placed_ = 0;
        return close_page(error);
    }
    return true;
}

namespace {

// One answer key line laid out for its column: the number in bold, the
// moves after it, lines after the first indented.
std::unique_ptr<PangoLayout, decltype(&g_object_unref)> key_line(PangoContext* context, const KeyEntry& entry,
                                                                 double width) {
    std::unique_ptr<PangoLayout, decltype(&g_object_unref)> layout(pango_layout_new(context), g_object_unref);
    PangoFontDescription* font = pango_font_description_new();
    pango_font_description_set_family(font, key_family);
    pango_font_description_set_absolute_size(font, key_size * PANGO_SCALE);
    pango_layout_set_font_description(layout.get(), font);
    pango_font_description_free(font);
    pango_layout_set_width(layout.get(), static_cast<int>(width * PANGO_SCALE));
    pango_layout_set_wrap(layout.get(), PANGO_WRAP_WORD_CHAR);
    pango_layout_set_indent(layout.get(), static_cast<int>(-2 * key_size * PANGO_SCALE));
    const std::string solution = entry.solution.empty() ? "\u2014" : entry.solution;
    // A problem's solution under its number, each of its lines a paragraph
    // from the column's edge, so that its indentation stays.
    const std::string markup =
        entry.verbatim && !entry.solution.empty()
            ? "<b>" + escaped(entry.number) + ".</b>\n<span font_family=\"" + key_verbatim_family + "\" size=\"" +
                  std::to_string(static_cast<int>(key_verbatim_size * PANGO_SCALE)) + "\">" + escaped(solution) +
                  "</span>"
            : "<b>" + escaped(entry.number) + ".</b>  " + escaped(solution);
    pango_layout_set_markup(layout.get(), markup.c_str(), -1);
    return layout;
}

// The heading on every page of the key, at the margin's top-left corner:
// its height.
double key_heading(cairo_t* cr, double margin) {
    PangoLayout* heading = pango_cairo_create_layout(cr);
    PangoFontDescription* font = pango_font_description_new();
    pango_font_description_set_family(font, key_family);
    pango_font_description_set_weight(font, PANGO_WEIGHT_BOLD);
    pango_font_description_set_absolute_size(font, key_heading_size * PANGO_SCALE);
    pango_layout_set_font_description(heading, font);
    pango_font_description_free(font);
    pango_layout_set_text(heading, "Solutions", -1);
    cairo_set_source_rgb(cr, 0, 0, 0);
    cairo_move_to(cr, margin, margin);
    pango_cairo_show_layout(cr, heading);
    PangoRectangle logical;
    pango_layout_get_extents(heading, nullptr, &logical);
    g_object_unref(heading);
    return logical.height / double(PANGO_SCALE);
}

}  // namespace

bool BookWriter::write_key(std::string& error) {
    const double column_width =
        (layout_.width - 2 * layout_.margin - (key_columns - 1) * key_column_gap) / key_columns;
    const double bottom = layout_.height - layout_.margin;
    int column = 0;
    double y = 0, top = 0;
    bool open = false;
    std::size_t next = 0;
    auto take = [&](KeyEntry& entry) {
        if (key_source_) return key_source_(entry);
        if (next == key_.size()) return false;
        entry = key_[next++];
        return true;
    };
    // The next column, on the next page after the last: false when that
    // page cannot be begun.
    auto next_column = [&]() {
        if (open && ++column < key_columns) {
            y = top;
            return true;
        }
        if (open && (!close_page(error) || stopped(error))) return false;
        if (!open_page(error)) return false;
        open = true;
        column = 0;
        y = top = layout_.margin + key_heading(cr_, layout_.margin) + key_size;
        return true;
    };
    KeyEntry entry;
    for (bool more = take(entry); more; more = take(entry)) {
        if (!open && !next_column()) return false;
        PangoContext* context = pango_cairo_create_context(cr_);
        auto text = key_line(context, entry, column_width);
        g_object_unref(context);
        // A solution that fits a column is kept whole; a longer one goes on,
        // line by line, at the top of the next column, and of the next page.
        PangoRectangle whole;
        pango_layout_get_extents(text.get(), nullptr, &whole);
        const double whole_height = whole.height / double(PANGO_SCALE);
        if (y + whole_height > bottom && y > top + 0.5 && whole_height <= bottom - top && !next_column()) return false;
        PangoLayoutIter* lines = pango_layout_get_iter(text.get());
        do {
            PangoRectangle logical;
            pango_layout_iter_get_line_extents(lines, nullptr, &logical);
            const double line_top = logical.y / double(PANGO_SCALE), height = logical.height / double(PANGO_SCALE);
            if (y + height > bottom && y > top + 0.5 && !next_column()) {
                pango_layout_iter_free(lines);
                return false;
            }
            const double baseline = pango_layout_iter_get_baseline(lines) / double(PANGO_SCALE) - line_top;
            cairo_set_source_rgb(cr_, 0, 0, 0);
            cairo_move_to(cr_, layout_.margin + column * (column_width + key_column_gap) + logical.x / double(PANGO_SCALE),
                          y + baseline);
            pango_cairo_show_layout_line(cr_, pango_layout_iter_get_line_readonly(lines));
            y += height;
        } while (pango_layout_iter_next_line(lines));
        pango_layout_iter_free(lines);
        y += key_size * 0.3;
    }
    return !open || close_page(error);
}

bool BookWriter::finish(std::string& error) {
    if (failed_) return false;
    if (placed_ > 0) {
        placed_ = 0;
        if (!close_page(error)) return false;
    }
    if ((!key_.empty() || key_source_) && !write_key(error)) return false;
    if (stopped(error)) return false;
    if (out_ && !out_->commit(error)) return failed_ = true, false;
    return true;
}

}  // namespace chess::render
