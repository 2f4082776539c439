#include "render/output.h"

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "pictures/codecs.h"
#include "pictures/files.h"
#include "render/output_internal.h"
#include "render/page_writer.h"

namespace chess::render {

std::string cannot_write(const std::string& path, int error) {
    return "cannot write " + path + (error ? std::string(": ") + std::strerror(error) : std::string());
}

cairo_status_t write_to(void* closure, const unsigned char* data, unsigned int length) {
    return static_cast<ReplacingFile*>(closure)->write(data, length) ? CAIRO_STATUS_SUCCESS
                                                                          : CAIRO_STATUS_WRITE_ERROR;
}

namespace {

bool write_single(Format format, const Renderer& renderer, const Diagram& diagram, double s, const std::string& path,
                  std::string& error, int quality = jpeg_quality) {
    if (!(s > 0) || !std::isfinite(s)) {
        error = "the square width must be positive";
        return false;
    }
    PageWriter writer(format, path);
    writer.set_jpeg_quality(quality);
    const Size size = renderer.size(diagram, s);
    cairo_t* cr = writer.begin_page(size.width, size.height, 1, error);
    if (!cr) return false;
    renderer.draw(cr, diagram, s);
    writer.add_diagram(diagram, s, 0, 0);
    return writer.end_page(error) && writer.commit(error);
}

}  // namespace

bool write_pdf(const Renderer& renderer, const Diagram& diagram, double square_points, const std::string& path,
               std::string& error) {
    return write_single(Format::Pdf, renderer, diagram, square_points, path, error);
}

bool write_svg(const Renderer& renderer, const Diagram& diagram, double square_points, const std::string& path,
               std::string& error) {
    return write_single(Format::Svg, renderer, diagram, square_points, path, error);
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

bool write_png(const Renderer& renderer, const Diagram& diagram, double square_pixels, const std::string& path,
               std::string& error) {
    return write_single(Format::Png, renderer, diagram, square_pixels, path, error);
}

bool write_jpeg(const Renderer& renderer, const Diagram& diagram, double square_pixels, int quality,
                const std::string& path, std::string& error) {
    return write_single(Format::Jpeg, renderer, diagram, square_pixels, path, error, quality);
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
