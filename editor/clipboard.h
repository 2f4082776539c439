// Positions in and out of the board window as FEN: Ctrl+V sets up the
// position on the clipboard, Ctrl+C copies the board's; and the record that
// every diagram picture carries of what it shows.
#pragma once

#include <string>

// Numbers of the board window's key shortcuts (KeyShortcut events).
constexpr int paste_shortcut = 1;
constexpr int copy_shortcut = 2;
constexpr int undo_shortcut = 3;
constexpr int redo_shortcut = 4;
constexpr int save_shortcut = 5;
constexpr int print_shortcut = 6;

// What the board's tooltip says of its keys.
extern const char* const board_keys_tooltip;

// Gives the board window its shortcuts, and the board the tooltip that
// tells them. Called once, after the window is built.
void add_board_shortcuts();
// The action of a KeyShortcut event of the board window.
void shortcut_action(int number);

// Ctrl+V: the clipboard's text (else the primary selection's) read as FEN
// and set up on the board as palette and square clicks would; the task
// field keeps its text. A text that is no FEN leaves the board as it was
// and says what is wrong in a message.
void paste_position();
// Ctrl+C: the board's FEN on the clipboard.
void copy_position();

// Sets up the position of a FEN text on the board. False, with the reader's
// message in error, when the text is not one; the board is then unchanged.
bool set_up_fen(const std::string& text, std::string& error);
// The board as FEN: the placement, then "w - - 0 1" (the editor keeps no
// side to move). Marks count as empty squares.
std::string board_fen();
// The diagram record (core/diagram_record.h) of the board, the task text
// as the diagram shows it and the piece set's square size.
std::string board_record();
