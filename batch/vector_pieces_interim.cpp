// The vector pieces until the diagram renderer is part of the build: the
// chess glyphs of DejaVu Sans on a plain board, through cairo and Pango.
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

// jpeglib.h needs size_t and FILE declared first.
#include <cairo-pdf.h>
#include <cairo-svg.h>
#include <cairo.h>
#include <jpeglib.h>
#include <pango/pangocairo.h>
#include <sys/stat.h>
#include <unistd.h>

#include "batch/vector_pieces.h"
#include "core/diagram_layout.h"
#include "core/piece_roles.h"

namespace batch {

namespace {

using Bytes = std::vector<unsigned char>;

// Writes a temporary file beside the target and renames it over the target,
// so that the target is either the whole new file or what it was.
bool write_whole(const std::string& path, const Bytes& bytes, std::string& error) {
    const std::string::size_type slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    std::string temporary = folder + "." + name + ".XXXXXX";
    const int fd = mkstemp(temporary.data());
    if (fd < 0) {
        error = std::strerror(errno);
        return false;
    }
    const mode_t mask = umask(0);
    umask(mask);
    bool ok = fchmod(fd, 0666 & ~mask) == 0;
    std::size_t done = 0;
    while (ok && done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            ok = false;
            break;
        }
        done += static_cast<std::size_t>(n);
    }
    const int saved = errno;
    if (::close(fd) != 0 && ok) ok = false;
    if (ok && std::rename(temporary.c_str(), path.c_str()) != 0) ok = false;
    if (!ok) {
        error = std::strerror(errno ? errno : saved);
        unlink(temporary.c_str());
    }
    return ok;
}

cairo_status_t append_bytes(void* closure, const unsigned char* data, unsigned int length) {
    auto* bytes = static_cast<Bytes*>(closure);
    bytes->insert(bytes->end(), data, data + length);
    return CAIRO_STATUS_SUCCESS;
}

// ---- Vector pieces ---------------------------------------------------------
// The glyphs of the chess symbols block, king to pawn, white then black.
const char* const glyphs[] = {"", "\u2654", "\u2655", "\u2656", "\u2657", "\u2658", "\u2659",
                              "\u265A", "\u265B", "\u265C", "\u265D", "\u265E", "\u265F"};

void draw_centred_text(cairo_t* cr, const std::string& text, const char* family, double size, double cx,
                       double top, bool centre_vertically, double box) {
    PangoLayout* layout = pango_cairo_create_layout(cr);
    PangoFontDescription* font = pango_font_description_new();
    pango_font_description_set_family(font, family);
    pango_font_description_set_absolute_size(font, size * PANGO_SCALE);
    pango_layout_set_font_description(layout, font);
    pango_layout_set_text(layout, text.c_str(), -1);
    int width = 0, height = 0;
    pango_layout_get_size(layout, &width, &height);
    const double w = static_cast<double>(width) / PANGO_SCALE;
    const double h = static_cast<double>(height) / PANGO_SCALE;
    cairo_move_to(cr, cx - w / 2, centre_vertically ? top + (box - h) / 2 : top);
    pango_cairo_show_layout(cr, layout);
    pango_font_description_free(font);
    g_object_unref(layout);
}

// The diagram in units of the context: width 9s, height 9.5s.
void draw_vector_diagram(cairo_t* cr, const chess::Position& position, const std::string& caption, double s) {
    const chess::VectorDiagramLayout layout{s};
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_paint(cr);
    // The frame: a black band half a square wide around the board.
    cairo_set_source_rgb(cr, 0, 0, 0);
    cairo_rectangle(cr, 0, 0, layout.width(), layout.caption_band_y());
    cairo_fill(cr);
    for (int i = 1; i <= 8; ++i) {
        for (int j = 1; j <= 8; ++j) {
            const int square = chess::square_of(i - 1, 8 - j);
            const bool dark = chess::is_dark_square(square);
            const double x = layout.square_x(i), y = layout.square_y(j);
            if (dark) {
                cairo_set_source_rgb(cr, 0.55, 0.55, 0.55);
            } else {
                cairo_set_source_rgb(cr, 1, 1, 1);
            }
            cairo_rectangle(cr, x, y, s, s);
            cairo_fill(cr);
            const chess::Piece piece = position[square];
            cairo_set_source_rgb(cr, 0, 0, 0);
            if (chess::is_man(piece)) {
                draw_centred_text(cr, glyphs[static_cast<int>(piece)], "DejaVu Sans", 0.8 * s, x + s / 2, y, true, s);
            } else if (piece == chess::Piece::Cross) {
                draw_centred_text(cr, "\u2715", "DejaVu Sans", 0.5 * s, x + s / 2, y, true, s);
            } else if (piece == chess::Piece::Dot) {
                cairo_arc(cr, x + s / 2, y + s / 2, 0.12 * s, 0, 2 * M_PI);
                cairo_fill(cr);
            }
        }
    }
    if (!caption.empty()) {
        cairo_set_source_rgb(cr, 0, 0, 0);
        draw_centred_text(cr, caption, "DejaVu Sans", 0.3 * s, layout.width() / 2, layout.caption_band_y(), true,
                          layout.caption_band_height());
    }
}

bool jpeg_of(cairo_surface_t* surface, Bytes& out) {
    const int width = cairo_image_surface_get_width(surface);
    const int height = cairo_image_surface_get_height(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    const unsigned char* data = cairo_image_surface_get_data(surface);
    jpeg_compress_struct cinfo;
    jpeg_error_mgr jerr;
    cinfo.err = jpeg_std_error(&jerr);
    jpeg_create_compress(&cinfo);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &buffer, &size);
    cinfo.image_width = static_cast<JDIMENSION>(width);
    cinfo.image_height = static_cast<JDIMENSION>(height);
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, 90, TRUE);  // as the renderer's files
    jpeg_start_compress(&cinfo, TRUE);
    std::vector<unsigned char> row(static_cast<std::size_t>(width) * 3);
    while (cinfo.next_scanline < cinfo.image_height) {
        const auto* pixel = reinterpret_cast<const std::uint32_t*>(data + cinfo.next_scanline * stride);
        for (int x = 0; x < width; ++x) {
            row[3 * x] = static_cast<unsigned char>(pixel[x] >> 16);
            row[3 * x + 1] = static_cast<unsigned char>(pixel[x] >> 8);
            row[3 * x + 2] = static_cast<unsigned char>(pixel[x]);
        }
        JSAMPROW rows[] = {row.data()};
        jpeg_write_scanlines(&cinfo, rows, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    out.assign(buffer, buffer + size);
    std::free(buffer);
    return true;
}

}  // namespace

bool prepare_vector(std::string&) { return true; }

bool write_vector(const chess::Position& position, const std::string& caption, Format format, double size_cm, int dpi,
                  const std::string& path, std::string& error) {
    DrawSettings settings;
    settings.format = format;
    settings.size_cm = size_cm;
    settings.dpi = dpi;
    Bytes bytes;
    const double width_points = settings.size_cm / 2.54 * 72.0;
    const double height_points = width_points * 9.5 / 9.0;
    cairo_surface_t* surface = nullptr;
    double s = 0;
    if (settings.format == Format::Pdf || settings.format == Format::Svg) {
        surface = settings.format == Format::Pdf
                      ? cairo_pdf_surface_create_for_stream(append_bytes, &bytes, width_points, height_points)
                      : cairo_svg_surface_create_for_stream(append_bytes, &bytes, width_points, height_points);
        s = width_points / 9.0;
    } else {
        // The diagram's size in pixels, rounded up.
        const double exact = settings.size_cm / 2.54 * settings.dpi;
        const int width = static_cast<int>(std::ceil(exact - 1e-6));
        const int height = static_cast<int>(std::ceil(exact * 9.5 / 9.0 - 1e-6));
        surface = cairo_image_surface_create(settings.format == Format::Png ? CAIRO_FORMAT_ARGB32 : CAIRO_FORMAT_RGB24,
                                             width, height);
        s = exact / 9.0;
    }
    cairo_t* cr = cairo_create(surface);
    draw_vector_diagram(cr, position, caption, s);
    cairo_destroy(cr);
    cairo_surface_flush(surface);
    bool ok = cairo_surface_status(surface) == CAIRO_STATUS_SUCCESS;
    if (ok && settings.format == Format::Png) {
        ok = cairo_surface_write_to_png_stream(surface, append_bytes, &bytes) == CAIRO_STATUS_SUCCESS;
    } else if (ok && settings.format == Format::Jpeg) {
        ok = jpeg_of(surface, bytes);
    }
    cairo_surface_finish(surface);
    ok = ok && cairo_surface_status(surface) == CAIRO_STATUS_SUCCESS;
    cairo_surface_destroy(surface);
    if (!ok) {
        error = "cannot draw " + path;
        return false;
    }
    if (!write_whole(path, bytes, error)) {
        error = "cannot write " + path + ": " + error;
        return false;
    }
    return true;
}

}  // namespace batch
