// The board editor: program-wide state and the procedures its main loop calls.
//
// The editor keeps everything in these variables and calls procedures without
// parameters, so that the whole program reads as one loop dispatching button
// numbers. The position is kept in board_position; the square gadgets show it.
#pragma once

#include <array>
#include <string>

#include "core/position.h"
#include "toolkit/toolkit.h"

// ---- numbered objects ----

constexpr ObjectId board_window = 0;
constexpr ObjectId sheet_window = 1;
constexpr ObjectId task_font = 0;

constexpr ObjectId blank_slot_image = 0;
constexpr ObjectId slot_image = 99;
constexpr ObjectId diagram_image = 100;
constexpr ObjectId sheet_image = 101;

// Pictures of the piece set (1 to 32): odd ones for +1 squares, the next even
// one for -1 squares.
constexpr int empty_light_square = 25;
constexpr int empty_dark_square = 26;
constexpr int horizontal_frame = 27;
constexpr int vertical_frame = 28;
constexpr int piece_set_size = 32;

// Gadgets of the board window: squares 1 to 64, then these.
constexpr ObjectId frame_top = 65, frame_bottom = 66, frame_left = 67, frame_right = 68;
constexpr ObjectId first_palette = 69, last_palette = 81;  // 81: the empty square
constexpr ObjectId symbol_palette_1 = 88, symbol_palette_2 = 89;
constexpr ObjectId task_field = 82;
constexpr ObjectId show_print_button = 83;
constexpr ObjectId save_button = 84;
constexpr ObjectId add_to_print_button = 85;
constexpr ObjectId clear_board_button = 86;
constexpr ObjectId clear_slots_button = 87;

constexpr int print_slots = 4;
// The largest square size whose board, palette and task field fit the
// 800 x 620 board window.
constexpr int largest_square_size = 60;

extern const char* const task_placeholder;  // the message id, shown through _()

// ---- program-wide state ----

extern std::string start_folder;  // the working folder at start, ending in "/"
extern std::string data_folder;   // start_folder + "DATA/": the piece set
extern std::string save_folder;   // start_folder + "SAVE/": where the save dialog opens
extern std::string temp_folder;   // start_folder + "TEMP/": the print slot files
extern int square_size;           // width of piece picture 1
// The piece set's name from the mark its pictures carry; "" for a set
// without one. Diagrams record it, and the printed sheet draws those of the
// suite's own set as vectors.
extern std::string piece_set_name;
extern int print_slot_count;      // diagrams added to print since the slots were cleared
extern int current_piece;         // odd piece-set index of the palette choice; 0 before any
// +1 or -1 per square, indexed by square number 1 to 64 (entry 0 unused).
extern std::array<int, 65> square_colour;
// What the board shows: men and marks by square.
extern chess::Position board_position;

// ---- start-up and the main loop ----

// Start-up up to the shown board window. False when the program cannot run
// (no display, or no piece set: then the user has been told); the toolkit is
// shut down again in that case.
bool start_editor(int argc, char** argv);
// One turn of the main loop: waits for an event, refreshes the add button and
// the task field's placeholder, dispatches. False when the loop ends.
bool main_loop_turn();
// The whole program: start-up, the loop, shut-down. The exit status.
int run_editor(int argc, char** argv);

// ---- board window ----

void build_board_window();
void choose_piece(ObjectId g);
void place_piece(ObjectId g);
void clear_board();
// The board's square of square gadget k (1 to 64): gadgets run down the
// columns from a8, so k = 8(i - 1) + j for column i and row j.
int square_of_gadget(ObjectId k);
// Every square gadget shows board_position anew.
void show_board();

// ---- diagram picture and print slots ----

// The task text as the diagram shows it: the field's text, but nothing for
// the placeholder.
std::string diagram_task_text();
void render_diagram();
void save_diagram();
void add_to_print();
void clear_print_slots();
// Makes temp_folder the working folder, so that slot files are addressed by
// their bare names. False, with one line on standard error, when it cannot:
// the slot operation is then skipped, so that no slot file lands elsewhere.
bool enter_temp_folder();

// ---- print sheet ----

void show_print_sheet();
