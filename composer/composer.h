// The sheet composer: diagram pictures laid out in a fixed grid on one
// printable sheet. One source builds every variant; the grid constants come
// from the build (COMPOSER_COLUMNS, COMPOSER_ROWS, COMPOSER_MARGIN,
// COMPOSER_GAP, COMPOSER_NAME).
#pragma once

#include <string>
#include <vector>

#include "core/sheet_layout.h"
#include "toolkit/toolkit.h"

#if !defined(COMPOSER_COLUMNS) || !defined(COMPOSER_ROWS) || !defined(COMPOSER_MARGIN) || !defined(COMPOSER_GAP)
#error "the composer's grid constants must be given by the build"
#endif

namespace composer {

// The variant, fixed at build time.
constexpr int columns = COMPOSER_COLUMNS;
constexpr int rows = COMPOSER_ROWS;
constexpr int capacity = columns * rows;
constexpr const char* program_name = COMPOSER_NAME;
constexpr chess::SheetLayout layout = chess::program_sheet(columns, rows, COMPOSER_MARGIN, COMPOSER_GAP);

// The objects the composer creates.
constexpr ObjectId composer_window = 1;
constexpr ObjectId diagram_image = 99;
constexpr ObjectId sheet_image = 101;
constexpr ObjectId sheet_scroll = 199;
constexpr ObjectId sheet_view = 200;
constexpr ObjectId print_button = 201;
constexpr ObjectId add_button = 202;
constexpr ObjectId save_button = 203;
constexpr ObjectId clear_button = 204;

// Program state for the life of the process. The geometry is computed once
// at start-up and never changes.
extern int margin;
extern int gap;
extern int sheet_width;
extern int sheet_height;
extern int cell_width;
extern int cell_height;
// Diagrams on the sheet since start-up or the last clear; also the number of
// the cell that took the last one.
extern int diagram_count;
extern EventKind last_event;
extern std::string start_folder;
extern std::string save_folder;
extern std::string diagram_path;
extern double width_ratio;
extern double height_ratio;
extern int save_result;
// The pictures on the sheet, in the order they were added: where each lies
// and, for a diagram the renderer draws again (a position from a list, a
// picture drawn with the suite's own piece set), its drawing. Printing and
// saving as PDF draw those as vectors, the others as their pixels.
extern std::vector<SheetCell> sheet_cells;

// The program's procedures, called from the event loop.
void compute_geometry();
void clear_sheet();
void add_diagram();
void place_diagram();
void save_sheet();
void print_sheet();

// Start-up, one turn of the event loop (false once the window was closed),
// and the exit. run() is the whole program.
bool start_up(int argc, char** argv);
bool loop_turn();
void finish();
int run(int argc, char** argv);

}  // namespace composer
