// Diagram files: PDF and SVG (vector, nothing rasterised inside), PNG and
// JPEG, and the raster picture itself. A single diagram's page or picture is the
// diagram's own size. Every file is written whole or not at all, through
// the one page writer (render/page_writer.h), and carries the diagram's
// record: the output goes to a temporary file beside the target that
// replaces it only once complete, so a failure never damages an existing
// file.
#pragma once

#include <cairo.h>

#include <string>

#include "render/diagram.h"

namespace chess::render {

// 1 point = 1/72 inch; a square of 18 points is about 6.35 mm.
// False, with the reason in error, when the file cannot be written.
bool write_pdf(const Renderer& renderer, const Diagram& diagram, double square_points, const std::string& path,
               std::string& error);
bool write_svg(const Renderer& renderer, const Diagram& diagram, double square_points, const std::string& path,
               std::string& error);

// The diagram at square_pixels a square as an opaque RGB image surface of
// whole pixels (the diagram's size rounded up); the caller destroys it.
// Null when memory runs out.
cairo_surface_t* rasterise(const Renderer& renderer, const Diagram& diagram, double square_pixels);

// The picture for a print of dpi dots per inch where the diagram is
// width_mm wide: the square width in pixels, and the hatching set for that
// resolution.
double square_pixels_for(double width_mm, double dpi);

// In 8-bit grey: the diagram has no colour.
bool write_png(const Renderer& renderer, const Diagram& diagram, double square_pixels, const std::string& path,
               std::string& error);

// In grey, one component, through the project's JPEG encoder; quality 0 to
// 10 as the picture store takes it (10: the hatching's one-pixel lines stay
// sharp).
bool write_jpeg(const Renderer& renderer, const Diagram& diagram, double square_pixels, int quality,
                const std::string& path, std::string& error);
// The part of an RGB24 image surface at (x, y), width x height, as a JPEG
// file, with comment (when not empty) as its comment segment; false when
// the part lies outside it or the file cannot be written.
bool write_jpeg_part(cairo_surface_t* surface, int x, int y, int width, int height, int quality,
                     const std::string& path, const std::string& comment = std::string());

}  // namespace chess::render
