// What diagram_batch asks of the drawing libraries: one diagram of a
// position with its caption, written to one file whole or not at all.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "core/position.h"

namespace batch {

enum class Format { Jpeg, Png, Svg, Pdf };

// The file name extension written for a format, without the dot.
const char* extension_of(Format format);
// "jpeg" (or "jpg"), "png", "svg", "pdf", in any case.
std::optional<Format> format_named(std::string_view name);
// The format a file name's extension stands for.
std::optional<Format> format_of_path(std::string_view path);

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

// Draws and writes one diagram. False, with a message naming the path and
// the cause, when nothing was written; a file already there is then as it was.
bool write_diagram(const chess::Position& position, const std::string& caption, const DrawSettings& settings,
                   const std::string& path, std::string& error);

}  // namespace batch
