#include "editor/clipboard.h"

#include <gtk/gtk.h>

#include <algorithm>
#include <cstdio>

#include "core/diagram_record.h"
#include "core/fen.h"
#include "editor/editor.h"

namespace {

// A modal error message over the board window, in the programs' style,
// and the same on standard error for logs.
void position_message(const std::string& text, const std::string& detail) {
    std::fprintf(stderr, "%s: %s\n", text.c_str(), detail.c_str());
    std::fflush(stderr);
    GtkWindow* parent = tk::window_gtk(board_window);
    GtkWidget* dialog = gtk_message_dialog_new(parent, GtkDialogFlags(GTK_DIALOG_MODAL | GTK_DIALOG_DESTROY_WITH_PARENT),
                                               GTK_MESSAGE_ERROR, GTK_BUTTONS_OK, "%s", text.c_str());
    if (!dialog) return;
    gchar* shown = g_utf8_make_valid(detail.c_str(), -1);
    gtk_message_dialog_format_secondary_text(GTK_MESSAGE_DIALOG(dialog), "%s", shown);
    g_free(shown);
    gtk_window_set_title(GTK_WINDOW(dialog), "Chess diagram");
    gtk_window_set_position(GTK_WINDOW(dialog), parent ? GTK_WIN_POS_CENTER_ON_PARENT : GTK_WIN_POS_CENTER);
    gtk_dialog_run(GTK_DIALOG(dialog));
    gtk_widget_destroy(dialog);
}

// The start of a pasted text for a message: one line, at most 60 characters.
std::string excerpt(const std::string& text) {
    gchar* valid = g_utf8_make_valid(text.c_str(), static_cast<gssize>(std::min<std::size_t>(text.size(), 1024)));
    std::string out;
    int characters = 0;
    for (const gchar* p = valid; *p && characters < 60; p = g_utf8_next_char(p), ++characters) {
        const gunichar c = g_utf8_get_char(p);
        if (c < 0x20 || c == 0x7F)
            out += ' ';
        else
            out.append(p, static_cast<std::size_t>(g_utf8_next_char(p) - p));
    }
    if (*valid && g_utf8_strlen(valid, -1) > characters) out += "…";
    g_free(valid);
    return out;
}

}  // namespace

void add_board_shortcuts() {
    window_shortcut(board_window, "<Control>v", paste_shortcut);
    window_shortcut(board_window, "<Control>c", copy_shortcut);
}

void shortcut_action(int number) {
    if (number == paste_shortcut) paste_position();
    if (number == copy_shortcut) copy_position();
}

bool set_up_fen(const std::string& text, std::string& error) {
    const chess::FenResult fen = chess::read_fen(text);
    if (!fen.ok) {
        error = fen.error + " (символ " + std::to_string(fen.error_offset + 1) + ")";
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
        position_message("Нечего вставить", "В буфере обмена нет текста. Скопируйте позицию в записи FEN.");
        return;
    }
    std::string error;
    if (set_up_fen(text, error)) return;
    position_message("В буфере обмена не позиция FEN",
                     "Ошибка: " + error + ". Текст: «" + excerpt(text) + "». Доска не изменена.");
}

void copy_position() { clipboard_set_text(board_fen()); }

std::string board_fen() { return chess::fen_placement(board_position) + " w - - 0 1"; }

std::string board_record() {
    chess::DiagramRecord record;
    // Written as the clipboard's FEN is: the editor has no side to move.
    record.position = chess::Position{};
    record.position.squares = board_position.squares;
    record.position.to_move = chess::Side::White;
    // The placeholder only invites typing; it is no task to keep.
    const std::string task = gadget_text(task_field);
    record.caption = task == task_placeholder ? std::string() : task;
    record.square = square_size;
    return chess::write_diagram_record(record);
}
