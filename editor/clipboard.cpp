#include "editor/clipboard.h"

#include <gtk/gtk.h>

#include <cstdio>
#include <string_view>

#include "core/diagram_record.h"
#include "core/fen.h"
#include "core/text.h"
#include "editor/editor.h"
#include "editor/history.h"

namespace {

// A modal error message over the board window, and the same on standard
// error for logs.
void position_message(const std::string& text, const std::string& detail) {
    std::fprintf(stderr, "%s: %s\n", text.c_str(), detail.c_str());
    std::fflush(stderr);
    message_requester(_("Chess diagram"), text, detail, board_window);
}

// The start of a pasted text for a message: one line, at most 60 characters.
std::string excerpt(const std::string& text) {
    const std::string valid = chess::valid_utf8(std::string_view(text).substr(0, 1024), chess::Controls::Blank);
    // A character ends where the next one's lead byte starts.
    auto continuation = [](char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; };
    std::size_t end = 0;
    for (int characters = 0; end < valid.size() && characters < 60; ++characters) {
        ++end;
        while (end < valid.size() && continuation(valid[end])) ++end;
    }
    std::string out = valid.substr(0, end);
    if (end < valid.size()) out += "…";
    return out;
}

}  // namespace

const char* const board_keys_tooltip = N_(
    "Ctrl+V — вставить позицию FEN\n"
    "Ctrl+C — скопировать позицию FEN\n"
    "Ctrl+Z — отменить\n"
    "Ctrl+Shift+Z — вернуть\n"
    "Ctrl+S — сохранить изображение\n"
    "Ctrl+P — просмотр и печать");

void add_board_shortcuts() {
    window_shortcut(board_window, "<Control>v", paste_shortcut);
    window_shortcut(board_window, "<Control>c", copy_shortcut);
    window_shortcut(board_window, "<Control>z", undo_shortcut);
    window_shortcut(board_window, "<Control><Shift>z", redo_shortcut);
    window_shortcut(board_window, "<Control>s", save_shortcut);
    window_shortcut(board_window, "<Control>p", print_shortcut);
    for (ObjectId k = 1; k <= 64; ++k) gadget_set_tooltip(k, _(board_keys_tooltip));
    for (ObjectId g : {frame_top, frame_bottom, frame_left, frame_right}) gadget_set_tooltip(g, _(board_keys_tooltip));
}

void shortcut_action(int number) {
    if (number == paste_shortcut) paste_position();
    if (number == copy_shortcut) copy_position();
    if (number == undo_shortcut) history_undo();
    if (number == redo_shortcut) history_redo();
    if (number == save_shortcut) save_diagram();
    if (number == print_shortcut) show_print_sheet();
}

bool set_up_fen(const std::string& text, std::string& error) {
    const chess::FenResult fen = chess::read_fen(text);
    if (!fen.ok) {
        error = fen.error + _(" (символ ") + std::to_string(fen.error_offset + 1) + ")";
        return false;
    }
    // Only what clicks could have set up: the men. Marks and the other
    // fields start afresh.
    board_position = chess::Position{};
    board_position.squares = fen.position.squares;
    show_board();
    return true;
}

void paste_position() {
    const std::string text = clipboard_text();
    if (text.empty()) {
        position_message(_("Нечего вставить"), _("В буфере обмена нет текста. Скопируйте позицию в записи FEN."));
        return;
    }
    std::string error;
    if (set_up_fen(text, error)) return;
    position_message(_("В буфере обмена не позиция FEN"),
                     _("Ошибка: ") + error + _(". Текст: «") + excerpt(text) + _("». Доска не изменена."));
}

void copy_position() { clipboard_set_text(board_fen()); }

std::string board_fen() { return chess::fen_placement(board_position) + " w - - 0 1"; }

std::string board_record() {
    chess::DiagramRecord record;
    // Written as the clipboard's FEN is: the editor has no side to move.
    record.position = chess::Position{};
    record.position.squares = board_position.squares;
    record.position.to_move = chess::Side::White;
    record.caption = diagram_task_text();
    record.square = square_size;
    record.set = piece_set_name;
    return chess::write_diagram_record(record);
}
