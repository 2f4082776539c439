// Diagram pictures as input: a picture saved by diagram_editor carries a
// diagram record (core/diagram_record.h) with its position, marks and
// caption, and becomes that position, drawn like any other. So do the files
// diagram_batch writes, one record for each diagram on them: a JPEG's
// comment segments, a PNG's "chess-diagram" text chunks (iTXt or tEXt), an
// SVG's <metadata> elements, a PDF's document information entries
// ChessDiagram1, ChessDiagram2, ... (read from the file's text, where ours
// are plain; with poppler when another program packed them away).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "core/annotations.h"
#include "input/position_list.h"

namespace chess::input {

class InputSource;

// A picture's record is read from its header, which must lie within its
// first 16 MiB: a picture from a pipe is read from memory, no further.
constexpr std::size_t picture_head_bytes = 16 * 1024 * 1024;
// An SVG or PDF document is read whole, up to this size.
constexpr std::size_t document_bytes = 256 * 1024 * 1024;

// Whether the first bytes of a file are those of a PNG, an SVG (an XML
// declaration or an <svg> tag first) or a PDF file.
bool looks_like_png(std::string_view head);
bool looks_like_svg(std::string_view head);
bool looks_like_pdf(std::string_view head);

// One diagram a file holds: its position (crosses and dots included) and
// caption, or why it cannot be read; and its coloured squares and arrows.
struct PictureDiagram {
    ListEntry entry;
    Annotations marks;
};
// Every diagram a file holds, in the file's order; a single entry that is
// not ok, with the reason, when the file holds no record, a damaged one, or
// cannot be read.
std::vector<PictureDiagram> read_picture_diagrams(InputSource& input);

// The picture's position (marks included) and caption as a list entry,
// the first where it holds several; not ok, with the reason, when it
// carries no record or a damaged one.
ListEntry read_diagram_picture(const std::string& path, const std::string& name);
// The same from an opened input, from its first byte, which stays held.
ListEntry read_diagram_picture(InputSource& input);

// The diagram files of a folder (names ending in .jpg or .jpeg, the
// editor's, or in .png, .svg or .pdf, diagram_batch's; in any case) in the
// order of their names; false, with the reason, when the folder cannot be
// read.
bool diagram_pictures_in(const std::string& folder, std::vector<std::string>& paths, std::string& error);

}  // namespace chess::input
