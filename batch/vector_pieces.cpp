// The built-in vector pieces: the diagram renderer, its files written whole.
#include "batch/vector_pieces.h"

#include <cstdio>

#include "render/diagram.h"
#include "render/output.h"
#include "pictures/pictures.h"

namespace batch {

namespace {

// The process's renderer, made before the workers start; each worker draws
// with its copy.
const chess::render::Renderer* renderer = nullptr;

}  // namespace

bool prepare_vector(std::string& error) {
    // The renderer writes JPEG through the picture store's encoder.
    pictures_init();
    register_jpeg_encoder();
    renderer = chess::render::process_renderer(error);
    return renderer != nullptr;
}

bool write_vector_diagram(const chess::render::Diagram& drawn, Format format, double size_cm, int dpi,
                          const std::string& path, std::string& error) {
    namespace render = chess::render;
    render::Diagram diagram = drawn;
    diagram.options.raster_dpi = dpi;
    const double width_mm = 10.0 * size_cm;
    const double square_points = width_mm / 25.4 * 72.0 / 9.0;
    const double square_pixels = render::square_pixels_for(width_mm, dpi);
    bool ok = false;
    switch (format) {
        case Format::Pdf: ok = render::write_pdf(*renderer, diagram, square_points, path, error); break;
        case Format::Svg: ok = render::write_svg(*renderer, diagram, square_points, path, error); break;
        case Format::Png: ok = render::write_png(*renderer, diagram, square_pixels, path, error); break;
        case Format::Jpeg:
            ok = render::write_jpeg(*renderer, diagram, square_pixels, render::jpeg_quality, path, error);
            break;
    }
    // A warning, not a failure: the diagram is written, its caption cut.
    if (ok && !diagram.problem && renderer->caption_shortened(diagram.caption))
        std::fprintf(stderr, "%s: %s: caption shortened to three lines\n", program, path.c_str());
    return ok;
}

}  // namespace batch
