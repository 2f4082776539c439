// Position lists on the sheet: FEN and EPD lists (one position a line), PGN
// files and problem files, each position drawn by the diagram renderer
// straight at the size of its cell, where a diagram picture of the same
// proportions would go; a problem as problem columns print it.
#pragma once

#include <string>

#include "core/annotations.h"
#include "core/position.h"
#include "toolkit/printing.h"

namespace composer {

// The filters of the open requester: diagram pictures first, as always,
// then position lists.
extern const char* const open_patterns;

// Whether a chosen file is to be read as a position list (FEN, EPD, PGN or
// problems):
// one whose name does not end in .jpg, .jpeg or .bmp (in any case) and whose
// content is there and does not start as a JPEG or BMP picture.
bool is_position_list(const std::string& path);

// Every position of the list fills the next free cell. Positions beyond the
// last free cell are counted and left out; lines and games that hold no
// valid position are skipped. A message tells both, and when the file holds
// no position at all.
void add_position_list(const std::string& path);

// The size of a diagram in a cell, proportions kept (9 x 9.5 squares), and
// the square width the renderer draws it with.
struct DiagramPlace {
    int x = 0, y = 0, width = 0, height = 0;
    double square = 0;
};
DiagramPlace diagram_place(int cell);
// A diagram 9 squares wide and `height` high (a problem's heading and
// footer make it taller) in the same place: drawn smaller to fit its
// height, centred across it.
DiagramPlace diagram_place(int cell, double height);

// A cell's drawing by the renderer, the diagram filling the cell's width;
// empty when the renderer's fonts are missing (the pixels print then).
CellDrawing vector_drawing(const chess::Position& position, const std::string& caption,
                           const chess::Annotations& marks = {});

}  // namespace composer
