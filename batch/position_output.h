// diagram_batch --format fen|epd: the positions read, written out as a
// position list rather than drawn, so that a PGN file or a folder of saved
// diagrams becomes a list the composers and diagram_batch read back.
#pragma once

#include <string>

#include "batch/options.h"
#include "input/diagram_items.h"

namespace batch {

// One line of the list: FEN with its six fields and the caption after them;
// or an EPD record with the caption as c0, the marks as c1 and the solution's
// moves as pv. Marks have no place in FEN and are left out there. A
// problem's turned and neutral men keep their looks: an EPD "looks"
// operation, or a "#looks" comment line before the FEN line
// (input/position_list.h), so that the line may be two.
std::string position_line(const chess::input::DiagramItem& item, ListFormat format);

// Every item of the inputs as a line of PATH (standard output for "-",
// positions.fen or positions.epd in a folder), written whole or not at all.
// The exit status.
int write_position_list(const Options& options);

}  // namespace batch
