// The built-in vector pieces: diagrams drawn with cairo and Pango, written
// as PDF, SVG, PNG or JPEG files whole or not at all.
#pragma once

#include <string>

#include "batch/diagram_output.h"
#include "core/position.h"
#include "render/diagram.h"

namespace batch {

// Makes what every diagram shares (fonts, glyph outlines) before the
// workers start. False, with a message, when it cannot be made.
bool prepare_vector(std::string& error);

// A diagram with its options (number, flip, marks, ...); size_cm is the
// width on paper, dpi the resolution of PNG and JPEG. False, with a message
// naming the path and the cause, when nothing was written.
bool write_vector_diagram(const chess::render::Diagram& diagram, Format format, double size_cm, int dpi,
                          const std::string& path, std::string& error);

}  // namespace batch
