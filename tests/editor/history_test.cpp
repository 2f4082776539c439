// Undo and redo of the board and the task with the real keys, after real
// clicks, a paste and "Очистить доску", checked square by square; and the
// keys that stand for the save and print buttons.
#include <gtk/gtk.h>

#include "editor/clipboard.h"
#include "editor/history.h"
#include "tests/editor/editor_fixture.h"
#include "tests/support/dialogs.h"

namespace {

struct Shown {
    std::vector<ImageHandle> squares;
    std::string task;
    bool operator==(const Shown&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Shown& s) { return out << "task \"" << s.task << "\""; }

Shown shown() {
    Shown s;
    for (int k = 1; k <= 64; ++k) s.squares.push_back(square_picture(k));
    s.task = gadget_text(task_field);
    return s;
}

class History : public EditorTest {
protected:
    // Keys go to the window, not to the task field.
    void leave_task_field() {
        focus_widget(widget(add_to_print_button));
        run_turns();
    }
    void undo() {
        press_ctrl('z');
        run_turns();
    }
    void redo() {
        press_ctrl('z', true);
        run_turns();
    }
};

}  // namespace

TEST_F(History, EveryChangeUndoneAndRedoneStepByStep) {
    start();
    leave_task_field();
    std::vector<Shown> steps{shown()};

    click(69);  // the white king
    click(40);  // e1
    steps.push_back(shown());
    click(75);  // the black king
    click(33);  // e8
    steps.push_back(shown());

    // A task typed, character by character as a keyboard does: one step.
    focus_widget(widget(task_field));
    run_turns();
    for (const char* text : {"М", "Ма", "Мат", "Мат в 1"}) {
        gtk_entry_set_text(GTK_ENTRY(widget(task_field)), text);
        run_turns();
    }
    leave_task_field();
    steps.push_back(shown());
    ASSERT_EQ(steps.back().task, "Мат в 1");

    ASSERT_EQ(clipboard_set_text("4k3/8/8/8/8/8/8/R3K3 w - - 0 1"), 1);
    press_ctrl('v');
    run_turns();
    steps.push_back(shown());
    ASSERT_NE(steps.back(), steps[steps.size() - 2]) << "the paste changed nothing";

    click(clear_board_button);
    steps.push_back(shown());
    ASSERT_EQ(steps.back().task, task_placeholder);

    for (std::size_t i = steps.size() - 1; i-- > 0;) {
        undo();
        EXPECT_EQ(shown(), steps[i]) << "undo to step " << i;
    }
    undo();
    EXPECT_EQ(shown(), steps[0]) << "nothing before the first step";
    for (std::size_t i = 1; i < steps.size(); ++i) {
        redo();
        EXPECT_EQ(shown(), steps[i]) << "redo to step " << i;
    }
    redo();
    EXPECT_EQ(shown(), steps.back()) << "nothing after the last step";

    // A change after an undo starts a new line: nothing to redo.
    undo();
    undo();
    EXPECT_EQ(shown(), steps[steps.size() - 3]);
    click(70);  // the white queen
    click(1);   // a8
    const Shown branched = shown();
    redo();
    EXPECT_EQ(shown(), branched);
    undo();
    EXPECT_EQ(shown(), steps[steps.size() - 3]);
    // What was undone is the position the board holds, not only its pictures.
    EXPECT_EQ(board_fen(), "4k3/8/8/8/8/8/8/4K3 w - - 0 1");
}

TEST_F(History, KeepsTwoHundredStepsAndForgetsOlderOnes) {
    start();
    for (int n = 1; n <= history_steps + 50; ++n) {
        board_position[n % 64] = n % 2 ? chess::Piece::WhiteRook : chess::Piece::BlackKnight;
        gadget_set_text(task_field, std::to_string(n));
        history_record();
    }
    for (int n = 0; n < history_steps + 50; ++n) history_undo();
    EXPECT_EQ(gadget_text(task_field), "50") << "the oldest step kept";
    history_redo();
    EXPECT_EQ(gadget_text(task_field), "51");
}

TEST_F(History, CtrlSSavesAndTheBoardTellsItsKeys) {
    start();
    leave_task_field();
    click(69);
    click(40);
    {
        FileDialogAnswer answer = answer_next_file_dialog(dir.folder() + "SAVE/x");
        press_ctrl('s');
        run_turns();
        ASSERT_TRUE(answer.answered());
        EXPECT_EQ(answer.view().title, "Save image");
    }
    EXPECT_EQ(folder_listing(dir.folder() + "SAVE/"), std::vector<std::string>{"x.jpg"});

    for (ObjectId g : {ObjectId{1}, ObjectId{64}, frame_top}) {
        gchar* tip = gtk_widget_get_tooltip_text(tk::gadget_outer_widget(g));
        ASSERT_NE(tip, nullptr) << g;
        const std::string text = tip;
        g_free(tip);
        for (const char* key : {"Ctrl+V", "Ctrl+C", "Ctrl+Z", "Ctrl+Shift+Z", "Ctrl+S", "Ctrl+P"})
            EXPECT_NE(text.find(key), std::string::npos) << key;
    }
}
