#include "batch/diagram_output.h"

#include <cairo.h>

#include <cerrno>
#include <cstring>

#include "batch/vector_pieces.h"
#include "core/text.h"
#include "raster/piece_set_diagram.h"
#include "pictures/pictures.h"

namespace batch {

namespace {

// ---- Raster pieces ---------------------------------------------------------
// The picture and font numbers of the process's store.
constexpr ObjectId diagram_image = 100;
constexpr ObjectId caption_font = 0;

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
    if (!font_load(caption_font, chess::raster::caption_font_family, chess::raster::caption_font_size)) {
        error = "no font for the caption";
        return false;
    }
    return true;
}

bool write_pieces(const chess::Position& position, const std::string& caption, const std::string& path,
                  std::string& error) {
    if (!chess::raster::piece_set_diagram(diagram_image, position, caption, font_handle(caption_font))) {
        error = "cannot draw " + path;
        return false;
    }
    errno = 0;
    // The editor's save: the store's JPEG encoder at its default quality.
    if (!image_save(diagram_image, path, FormatJPEG)) {
        error = "cannot write " + path + ": " + failure_cause(path, errno);
        return false;
    }
    return true;
}

}  // namespace

bool prepare_drawing(const DrawSettings& settings, std::string& error) {
    if (!settings.pieces.empty()) return prepare_pieces(settings.pieces, error);
    return prepare_vector(error);
}

bool write_diagram(const chess::Position& position, const std::string& caption, const DrawSettings& settings,
                   const std::string& path, std::string& error) {
    if (!settings.pieces.empty()) return write_pieces(position, caption, path, error);
    return write_vector(position, caption, settings.format, settings.size_cm, settings.dpi, path, error);
}

}  // namespace batch
