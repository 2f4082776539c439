#include "batch/diagram_output.h"

#include <cairo.h>

#include <gdk-pixbuf/gdk-pixbuf.h>

#include <cerrno>
#include <cstdint>
#include <cstring>

#include "batch/vector_pieces.h"
#include "core/diagram_layout.h"
#include "core/diagram_record.h"
#include "core/piece_set_mark.h"
#include "core/text.h"
#include "raster/piece_set_diagram.h"
#include "render/diagram.h"
#include "pictures/pictures.h"

namespace batch {

const char* const program = "diagram_batch";

namespace {

// ---- Raster pieces ---------------------------------------------------------
// The picture and font numbers of the process's store.
constexpr ObjectId diagram_image = 100;
constexpr ObjectId caption_font = 0;
// The loaded set's name from its pictures' mark; empty for a set without it.
std::string piece_set_name;

// Why the last load or save failed, without the path the caller names itself.
std::string failure_cause(const std::string& path, int saved_errno) {
    std::string text = last_failure().text;
    if (text.starts_with(path + ": ")) text.erase(0, path.size() + 2);
    if (!text.empty()) return text;
    if (saved_errno != 0) return std::strerror(saved_errno);
    return "no reason given";
}

// Text as an X display without font settings of its own rasterises it for
// the editor: 96 dpi, greyscale antialiasing, full hinting, hinted metrics.
// Without a display the picture store would take fontconfig's defaults,
// and the caption would differ from the editor's by a few pixels.
bool plain_display_text(TextSettings& settings) {
    static cairo_font_options_t* options = [] {
        cairo_font_options_t* made = cairo_font_options_create();
        cairo_font_options_set_antialias(made, CAIRO_ANTIALIAS_GRAY);
        cairo_font_options_set_hint_style(made, CAIRO_HINT_STYLE_FULL);
        cairo_font_options_set_hint_metrics(made, CAIRO_HINT_METRICS_ON);
        return made;
    }();
    settings.resolution = 96.0;
    settings.options = options;
    return true;
}

bool prepare_pieces(const std::string& pieces, std::string& error) {
    pictures_init();
    set_text_settings_source(plain_display_text);
    register_jpeg_decoder();
    register_jpeg_encoder();
    const std::string folder = pieces.back() == '/' ? pieces : pieces + "/";
    int failed = 0;
    errno = 0;
    if (!chess::raster::piece_set_load(folder, failed)) {
        const std::string picture = folder + std::to_string(failed) + ".jpg";
        error = "piece set " + folder + ": " + picture + ": " + failure_cause(picture, errno);
        return false;
    }
    // A picture of another size would be drawn over the frame or the caption.
    std::string why;
    if (!chess::raster::piece_set_check(failed, why)) {
        error = "piece set " + folder + ": " + folder + std::to_string(failed) + ".jpg: " + why;
        return false;
    }
    piece_set_name = chess::marked_piece_set(folder, chess::raster::piece_set_square_size());
    if (!font_load(caption_font, chess::raster::caption_font_family, chess::raster::caption_font_size)) {
        error = "no font for the caption";
        return false;
    }
    return true;
}

// Marks on the editor's picture in the vector renderer's styles, at the
// picture's scale: each marked square painted anew as the renderer paints
// it marked (for the suite's own set the same tile, now marked), then the
// arrows over the board.
bool mark_picture(ObjectId image, const chess::Position& position, const chess::Annotations& marks) {
    std::string error;
    const chess::render::Renderer* renderer = chess::render::process_renderer(error);
    GdkPixbuf* picture = image_handle(image);
    if (!renderer || !picture) return false;
    const int width = gdk_pixbuf_get_width(picture), height = gdk_pixbuf_get_height(picture);
    const int channels = gdk_pixbuf_get_n_channels(picture), stride = gdk_pixbuf_get_rowstride(picture);
    guchar* pixels = gdk_pixbuf_get_pixels(picture);
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
    if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(surface);
        return false;
    }
    auto* data = cairo_image_surface_get_data(surface);
    const int surface_stride = cairo_image_surface_get_stride(surface);
    auto for_each_pixel = [&](auto f) {
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                f(pixels + y * stride + x * channels, reinterpret_cast<std::uint32_t*>(data + y * surface_stride) + x);
            }
        }
    };
    cairo_surface_flush(surface);
    for_each_pixel([](guchar* p, std::uint32_t* q) { *q = (p[0] << 16) | (p[1] << 8) | p[2]; });
    cairo_surface_mark_dirty(surface);

    cairo_t* cr = cairo_create(surface);
    const chess::DiagramLayout layout{chess::raster::piece_set_square_size()};
    for (const chess::SquareHighlight& h : marks.squares) {
        if (h.square < 0 || h.square > 63) continue;
        cairo_save(cr);
        cairo_translate(cr, layout.square_x(chess::file_of(h.square) + 1), layout.square_y(8 - chess::rank_of(h.square)));
        renderer->draw_square(cr, position[h.square], chess::is_dark_square(h.square), layout.s, &h);
        cairo_restore(cr);
    }
    renderer->draw_arrows(cr, marks.arrows, layout.s, layout.board_x(), layout.board_y());
    cairo_destroy(cr);

    cairo_surface_flush(surface);
    for_each_pixel([](guchar* p, const std::uint32_t* q) {
        p[0] = static_cast<guchar>(*q >> 16);
        p[1] = static_cast<guchar>(*q >> 8);
        p[2] = static_cast<guchar>(*q);
    });
    cairo_surface_destroy(surface);
    return true;
}

bool write_pieces(const chess::Position& position, const std::string& caption, const chess::Annotations& marks,
                  const std::string& path, std::string& error) {
    if (!chess::raster::piece_set_diagram(diagram_image, position, caption, font_handle(caption_font)) ||
        (!marks.empty() && !mark_picture(diagram_image, position, marks))) {
        error = "cannot draw " + path;
        return false;
    }
    // What the picture shows, as the editor's pictures say it.
    image_set_comment(diagram_image, pieces_record(position, caption, marks));
    errno = 0;
    // The editor's save: the store's JPEG encoder at its default quality.
    if (!image_save(diagram_image, path, FormatJPEG)) {
        error = "cannot write " + path + ": " + failure_cause(path, errno);
        return false;
    }
    return true;
}

}  // namespace

std::string pieces_record(const chess::Position& position, const std::string& caption,
                          const chess::Annotations& marks) {
    chess::DiagramRecord record;
    record.position = position;
    record.caption = caption;
    record.annotations = marks;
    record.square = chess::raster::piece_set_square_size();
    record.set = piece_set_name;
    return chess::write_diagram_record(record);
}

bool prepare_drawing(const DrawSettings& settings, std::string& error) {
    if (!settings.pieces.empty()) return prepare_pieces(settings.pieces, error);
    return prepare_vector(error);
}

bool write_diagram(const chess::Position& position, const std::string& caption, const chess::Annotations& marks,
                   const DrawSettings& settings, const std::string& path, std::string& error) {
    if (!settings.pieces.empty()) return write_pieces(position, caption, marks, path, error);
    chess::render::Diagram diagram{position, caption, {}};
    diagram.options.marks = marks;
    return write_vector_diagram(diagram, settings.format, settings.size_cm, settings.dpi, path, error);
}

}  // namespace batch
