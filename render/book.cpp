#include "render/book.h"

#include <cairo-pdf.h>
#include <cairo-svg.h>
#include <pango/pangocairo.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <memory>

#include "core/text.h"
#include "render/output.h"
#include "render/output_internal.h"
#include "pictures/files.h"

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

struct BookWriter::Output {
    // The PDF book, or the page file being made.
    std::unique_ptr<ReplacingFile> file;
    cairo_surface_t* surface = nullptr;
    cairo_t* cr = nullptr;
    std::string page_file;  // of the open page

    void destroy() {
        if (cr) cairo_destroy(cr);
        if (surface) cairo_surface_destroy(surface);
        cr = nullptr;
        surface = nullptr;
    }
    ~Output() { destroy(); }
};

BookWriter::BookWriter(const Renderer& renderer, const BookSettings& settings, std::string path,
                       std::function<std::string(int)> page_path)
    : renderer_(renderer),
      settings_(settings),
      layout_(page_layout(settings.paper, settings.columns, settings.rows)),
      path_(std::move(path)),
      page_path_(std::move(page_path)) {}

BookWriter::~BookWriter() { delete out_; }

bool BookWriter::open_page(std::string& error) {
    if (failed_) return false;
    if (!out_) out_ = new Output;
    const double points_to_pixels = settings_.dpi / 72.0;
    if (settings_.format == Format::Pdf) {
        if (!out_->surface) {
            errno = 0;
            out_->file = std::make_unique<ReplacingFile>(path_);
            if (!out_->file->stream()) {
                error = cannot_write(path_, errno);
                return failed_ = true, false;
            }
            out_->surface = cairo_pdf_surface_create_for_stream(write_to, out_->file.get(), layout_.width,
                                                                layout_.height);
            out_->cr = cairo_create(out_->surface);
        }
    } else {
        out_->page_file = page_path_ ? page_path_(pages_ + 1) : path_;
        if (settings_.format == Format::Svg) {
            errno = 0;
            out_->file = std::make_unique<ReplacingFile>(out_->page_file);
            if (!out_->file->stream()) {
                error = cannot_write(out_->page_file, errno);
                return failed_ = true, false;
            }
            out_->surface = cairo_svg_surface_create_for_stream(write_to, out_->file.get(), layout_.width,
                                                                layout_.height);
            cairo_svg_surface_set_document_unit(out_->surface, CAIRO_SVG_UNIT_PT);
            out_->cr = cairo_create(out_->surface);
        } else {
            const int w = static_cast<int>(std::ceil(layout_.width * points_to_pixels));
            const int h = static_cast<int>(std::ceil(layout_.height * points_to_pixels));
            out_->surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, w, h);
            out_->cr = cairo_create(out_->surface);
            cairo_set_source_rgb(out_->cr, 1, 1, 1);
            cairo_paint(out_->cr);
            cairo_scale(out_->cr, points_to_pixels, points_to_pixels);
        }
    }
    if (cairo_status(out_->cr) != CAIRO_STATUS_SUCCESS) {
        error = "cannot draw the page: " + std::string(cairo_status_to_string(cairo_status(out_->cr)));
        return failed_ = true, false;
    }
    ++pages_;
    return true;
}

bool BookWriter::close_page(std::string& error) {
    cairo_t* cr = out_->cr;
    cairo_status_t status = cairo_status(cr);
    if (settings_.format == Format::Pdf) {
        cairo_show_page(cr);
        if (status == CAIRO_STATUS_SUCCESS) status = cairo_status(cr);
        if (status != CAIRO_STATUS_SUCCESS) {
            error = "cannot write " + path_ + ": " + cairo_status_to_string(status);
            return failed_ = true, false;
        }
        return true;
    }
    const std::string page = out_->page_file;
    bool ok = status == CAIRO_STATUS_SUCCESS;
    int saved_errno = 0;
    if (settings_.format == Format::Svg) {
        cairo_show_page(cr);
        cairo_surface_finish(out_->surface);
        ok = ok && cairo_surface_status(out_->surface) == CAIRO_STATUS_SUCCESS;
        errno = 0;
        ok = ok && out_->file->commit();
        saved_errno = errno;
    } else if (settings_.format == Format::Png) {
        cairo_surface_flush(out_->surface);
        errno = 0;
        ReplacingFile file(page);
        ok = ok && file.stream() &&
             cairo_surface_write_to_png_stream(out_->surface, write_to, &file) == CAIRO_STATUS_SUCCESS &&
             file.commit();
        saved_errno = errno;
    } else {
        cairo_surface_flush(out_->surface);
        errno = 0;
        ok = ok && write_jpeg_part(out_->surface, 0, 0, cairo_image_surface_get_width(out_->surface),
                                   cairo_image_surface_get_height(out_->surface), jpeg_quality, page);
        saved_errno = errno;
    }
    out_->destroy();
    out_->file.reset();
    if (!ok) {
        error = cannot_write(page, saved_errno);
        return failed_ = true, false;
    }
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
    cairo_t* cr = out_->cr;
    cairo_save(cr);
    cairo_translate(cr, layout_.centred_x(placed_, size.width), layout_.centred_y(placed_, size.height));
    renderer_.draw(cr, d, s);
    cairo_restore(cr);
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
    KeyEntry entry;
    for (bool more = take(entry); more;) {
        if (!open) {
            if (!open_page(error)) return false;
            open = true;
            column = 0;
            cairo_t* cr = out_->cr;
            // The heading on every page of the key.
            PangoLayout* heading = pango_cairo_create_layout(cr);
            PangoFontDescription* font = pango_font_description_new();
            pango_font_description_set_family(font, key_family);
            pango_font_description_set_weight(font, PANGO_WEIGHT_BOLD);
            pango_font_description_set_absolute_size(font, key_heading_size * PANGO_SCALE);
            pango_layout_set_font_description(heading, font);
            pango_font_description_free(font);
            pango_layout_set_text(heading, "Solutions", -1);
            cairo_set_source_rgb(cr, 0, 0, 0);
            cairo_move_to(cr, layout_.margin, layout_.margin);
            pango_cairo_show_layout(cr, heading);
            PangoRectangle logical;
            pango_layout_get_extents(heading, nullptr, &logical);
            g_object_unref(heading);
            y = top = layout_.margin + logical.height / double(PANGO_SCALE) + key_size;
        }
        cairo_t* cr = out_->cr;
        PangoContext* context = pango_cairo_create_context(cr);
        auto line = key_line(context, entry, column_width);
        g_object_unref(context);
        PangoRectangle logical;
        pango_layout_get_extents(line.get(), nullptr, &logical);
        const double height = logical.height / double(PANGO_SCALE);
        if (y + height > bottom && y > top + 0.5) {
            // On in the next column, or on the next page.
            if (++column == key_columns) {
                // The same line again, on the next page.
                if (!close_page(error)) return false;
                open = false;
                continue;
            }
            y = top;
        }
        cairo_set_source_rgb(cr, 0, 0, 0);
        cairo_move_to(cr, layout_.margin + column * (column_width + key_column_gap), y);
        pango_cairo_show_layout(cr, line.get());
        y += height + key_size * 0.3;
        more = take(entry);
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
    if (settings_.format == Format::Pdf && out_ && out_->surface) {
        cairo_surface_finish(out_->surface);
        const cairo_status_t status = cairo_surface_status(out_->surface);
        out_->destroy();
        errno = 0;
        if (status != CAIRO_STATUS_SUCCESS || !out_->file->commit()) {
            error = cannot_write(path_, errno);
            return failed_ = true, false;
        }
    }
    return true;
}

}  // namespace chess::render
