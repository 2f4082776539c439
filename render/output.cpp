#include "render/output.h"

#include <cairo-pdf.h>
#include <cairo-svg.h>
#include <png.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <cstdint>
#include <vector>

#include "pictures/codecs.h"
#include "pictures/files.h"
#include "render/output_internal.h"
#include "render/svg_paths.h"

namespace chess::render {

std::string cannot_write(const std::string& path, int error) {
    return "cannot write " + path + (error ? std::string(": ") + std::strerror(error) : std::string());
}

cairo_status_t write_to(void* closure, const unsigned char* data, unsigned int length) {
    return static_cast<ReplacingFile*>(closure)->write(data, length) ? CAIRO_STATUS_SUCCESS
                                                                          : CAIRO_STATUS_WRITE_ERROR;
}

namespace {

enum class Vector { Pdf, Svg };

bool write_vector(Vector kind, const Renderer& renderer, const Diagram& diagram, double s, const std::string& path,
                  std::string& error) {
    if (!(s > 0) || !std::isfinite(s)) {
        error = "the square width must be positive";
        return false;
    }
    errno = 0;
    ReplacingFile file(path);
    if (!file.stream()) {
        error = cannot_write(path, errno);
        return false;
    }
    Size size = renderer.size(diagram, s);
    cairo_surface_t* surface = nullptr;
    ShortSvgPaths short_paths(file);
    if (kind == Vector::Pdf) {
        surface = cairo_pdf_surface_create_for_stream(write_to, &file, size.width, size.height);
    } else {
        surface = cairo_svg_surface_create_for_stream(ShortSvgPaths::write, &short_paths, size.width, size.height);
        cairo_svg_surface_set_document_unit(surface, CAIRO_SVG_UNIT_PT);
    }
    cairo_t* cr = cairo_create(surface);
    renderer.draw(cr, diagram, s);
    cairo_show_page(cr);
    cairo_status_t status = cairo_status(cr);
    cairo_destroy(cr);
    cairo_surface_finish(surface);
    if (status == CAIRO_STATUS_SUCCESS) status = cairo_surface_status(surface);
    cairo_surface_destroy(surface);
    if (status != CAIRO_STATUS_SUCCESS || !file.commit()) {
        error = status == CAIRO_STATUS_WRITE_ERROR || status == CAIRO_STATUS_SUCCESS
                    ? cannot_write(path, errno)
                    : "cannot draw " + path + ": " + cairo_status_to_string(status);
        return false;
    }
    return true;
}

}  // namespace

bool write_pdf(const Renderer& renderer, const Diagram& diagram, double square_points, const std::string& path,
               std::string& error) {
    return write_vector(Vector::Pdf, renderer, diagram, square_points, path, error);
}

bool write_svg(const Renderer& renderer, const Diagram& diagram, double square_points, const std::string& path,
               std::string& error) {
    return write_vector(Vector::Svg, renderer, diagram, square_points, path, error);
}

double square_pixels_for(double width_mm, double dpi) { return width_mm / 25.4 * dpi / 9; }

cairo_surface_t* rasterise(const Renderer& renderer, const Diagram& diagram, double s) {
    if (!(s > 0) || !std::isfinite(s)) return nullptr;
    Size size = renderer.size(diagram, s);
    // A hair's tolerance: 9 x 50.0 must stay 450 pixels.
    int width = static_cast<int>(std::ceil(size.width - 1e-6)), height = static_cast<int>(std::ceil(size.height - 1e-6));
    if (width <= 0 || height <= 0 || width > 32767 || height > 32767) return nullptr;
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
    if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(surface);
        return nullptr;
    }
    cairo_t* cr = cairo_create(surface);
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_paint(cr);
    renderer.draw(cr, diagram, s);
    cairo_destroy(cr);
    cairo_surface_flush(surface);
    return surface;
}

namespace {

// The picture's grey levels, one byte a pixel, rows packed: the diagram is
// drawn in black, white and the greys of antialiasing only.
std::vector<std::uint8_t> grey_of(cairo_surface_t* surface) {
    cairo_surface_flush(surface);
    const int width = cairo_image_surface_get_width(surface), height = cairo_image_surface_get_height(surface);
    const unsigned char* data = cairo_image_surface_get_data(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    std::vector<std::uint8_t> grey(static_cast<std::size_t>(width) * height);
    for (int row = 0; row < height; ++row) {
        const auto* p = reinterpret_cast<const std::uint32_t*>(data + static_cast<std::ptrdiff_t>(row) * stride);
        std::uint8_t* q = grey.data() + static_cast<std::size_t>(row) * width;
        for (int column = 0; column < width; ++column) {
            const std::uint32_t r = (p[column] >> 16) & 0xFF, g = (p[column] >> 8) & 0xFF, b = p[column] & 0xFF;
            q[column] = static_cast<std::uint8_t>((r * 299 + g * 587 + b * 114 + 500) / 1000);
        }
    }
    return grey;
}

void png_write_error(png_structp png, png_const_charp) { png_longjmp(png, 1); }
void png_warning_ignored(png_structp, png_const_charp) {}
void png_write_data(png_structp png, png_bytep data, png_size_t length) {
    if (!static_cast<ReplacingFile*>(png_get_io_ptr(png))->write(data, length)) png_error(png, "write");
}
void png_flush_nothing(png_structp) {}

// An 8-bit greyscale PNG: cairo writes RGB or ARGB only, three or four
// times the data for a picture with no colour in it.
bool write_grey_png(const std::vector<std::uint8_t>& grey, int width, int height, ReplacingFile& file) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, png_write_error, png_warning_ignored);
    if (!png) return false;
    png_infop info = png_create_info_struct(png);
    if (!info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, info ? &info : nullptr);
        return false;
    }
    png_set_write_fn(png, &file, png_write_data, png_flush_nothing);
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8, PNG_COLOR_TYPE_GRAY,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    // Measured on a 6 cm diagram at 300 dpi: rows unfiltered at zlib's
    // default level, 29 KB in 13 ms; level 9 saves 4 KB in five times the
    // time, and filters only add work to rows of black, white and runs.
    png_set_compression_level(png, 6);
    png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_NONE);
    png_write_info(png, info);
    for (int row = 0; row < height; ++row)
        png_write_row(png, grey.data() + static_cast<std::size_t>(row) * static_cast<std::size_t>(width));
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

}  // namespace

bool write_png(const Renderer& renderer, const Diagram& diagram, double square_pixels, const std::string& path,
               std::string& error) {
    cairo_surface_t* surface = rasterise(renderer, diagram, square_pixels);
    if (!surface) {
        error = "no picture of that size can be made";
        return false;
    }
    const int width = cairo_image_surface_get_width(surface), height = cairo_image_surface_get_height(surface);
    const std::vector<std::uint8_t> grey = grey_of(surface);
    cairo_surface_destroy(surface);
    errno = 0;
    ReplacingFile file(path);
    const bool ok = file.stream() && write_grey_png(grey, width, height, file) && file.commit();
    if (!ok) error = cannot_write(path, errno);
    return ok;
}

bool write_jpeg(const Renderer& renderer, const Diagram& diagram, double square_pixels, int quality,
                const std::string& path, std::string& error) {
    cairo_surface_t* surface = rasterise(renderer, diagram, square_pixels);
    if (!surface) {
        error = "no picture of that size can be made";
        return false;
    }
    const int width = cairo_image_surface_get_width(surface), height = cairo_image_surface_get_height(surface);
    const std::vector<std::uint8_t> grey = grey_of(surface);
    cairo_surface_destroy(surface);
    errno = 0;
    const bool ok = write_grey_jpeg_file(path, grey.data(), width, height, static_cast<std::size_t>(width), quality) == 1;
    if (!ok) error = cannot_write(path, errno);
    return ok;
}

bool write_jpeg_part(cairo_surface_t* surface, int x, int y, int width, int height, int quality,
                     const std::string& path, const std::string& comment) {
    if (cairo_image_surface_get_format(surface) != CAIRO_FORMAT_RGB24 && cairo_image_surface_get_format(surface) != CAIRO_FORMAT_ARGB32)
        return false;
    if (x < 0 || y < 0 || width <= 0 || height <= 0 || x + width > cairo_image_surface_get_width(surface) ||
        y + height > cairo_image_surface_get_height(surface))
        return false;
    cairo_surface_flush(surface);
    const unsigned char* data = cairo_image_surface_get_data(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    // The encoder takes R, G, B bytes; cairo keeps a native 32-bit word per
    // pixel (an opaque picture: alpha is not looked at).
    std::vector<std::uint8_t> rgb(static_cast<std::size_t>(width) * height * 3);
    for (int row = 0; row < height; ++row) {
        const auto* p = reinterpret_cast<const std::uint32_t*>(data + static_cast<std::ptrdiff_t>(row + y) * stride) + x;
        std::uint8_t* q = rgb.data() + static_cast<std::size_t>(row) * width * 3;
        for (int column = 0; column < width; ++column, ++p, q += 3) {
            q[0] = static_cast<std::uint8_t>(*p >> 16);
            q[1] = static_cast<std::uint8_t>(*p >> 8);
            q[2] = static_cast<std::uint8_t>(*p);
        }
    }
    errno = 0;
    return write_jpeg_file(path, rgb.data(), width, height, static_cast<std::size_t>(width) * 3, quality, comment) == 1;
}

}  // namespace chess::render
