// What diagram_batch asks of the drawing libraries: one diagram of a
// position with its caption, written to one file whole or not at all.
#pragma once

#include <string>

#include "core/annotations.h"
#include "core/position.h"
#include "render/output_format.h"

namespace batch {

// The program's name, which its messages start with.
extern const char* const program;

// The renderer's file formats, by the names the program has for them.
using chess::render::Format;
using chess::render::extension_of;
using chess::render::format_named;
using chess::render::format_of_path;

struct DrawSettings {
    Format format = Format::Jpeg;
    double size_cm = 6.0;  // the diagram's width on paper (vector pieces)
    int dpi = 300;         // the resolution of PNG and JPEG (vector pieces)
    // A folder with a raster piece set in the editor's layout; empty: the
    // built-in vector pieces.
    std::string pieces;
};

// What every diagram of a run shares, loaded once before the workers
// start (they inherit it). False, with a message, when it cannot be.
bool prepare_drawing(const DrawSettings& settings, std::string& error);

// The diagram record a raster piece set's picture of the item carries, as
// the editor writes it (the set named when its pictures carry its mark),
// with the item's coloured marks beside: after prepare_drawing with pieces.
std::string pieces_record(const chess::Position& position, const std::string& caption,
                          const chess::Annotations& marks);

// Draws and writes one diagram with its marks. False, with a message naming the path and the cause, when
// nothing was written; a file already there is then as it was.
bool write_diagram(const chess::Position& position, const std::string& caption, const chess::Annotations& marks,
                   const DrawSettings& settings, const std::string& path, std::string& error);

}  // namespace batch
