// FEN in and out of the editor in-process: a pasted position is the one
// clicks would have set up, a bad text changes nothing, the copy and the
// diagram record say what the board shows.
#include "core/diagram_record.h"
#include "core/fen.h"
#include "core/jpeg_comments.h"
#include "editor/clipboard.h"
#include "tests/editor/editor_fixture.h"

#include <gtk/gtk.h>

namespace {

std::vector<ImageHandle> board_pictures() {
    std::vector<ImageHandle> out;
    for (int k = 1; k <= 64; ++k) out.push_back(square_picture(k));
    return out;
}

using Clipboard = EditorTest;

}  // namespace

TEST_F(Clipboard, APastedPositionIsWhatClicksSetUp) {
    start();
    // Black queen d8 (column 4, row 1), white pawn a2 (column 1, row 7),
    // white king e1 (column 5, row 8), by palette and square clicks.
    click(75 + 1);  // the second palette column's second row: the black queen
    click(25);
    click(69 + 5);  // the first column's sixth row: the white pawn
    click(7);
    click(69);  // the white king
    click(40);
    const std::vector<ImageHandle> clicked = board_pictures();
    const chess::Position clicked_position = board_position;

    click(clear_board_button);
    std::string error;
    ASSERT_TRUE(set_up_fen("3q4/8/8/8/8/8/P7/4K3 b - - 3 40", error)) << error;
    EXPECT_EQ(board_pictures(), clicked);
    EXPECT_EQ(board_position, clicked_position) << "the side to move and clocks are not the editor's";
    EXPECT_EQ(board_fen(), "3q4/8/8/8/8/8/P7/4K3 w - - 0 1");

    // A bad text: the reader's message, and the board as it was.
    EXPECT_FALSE(set_up_fen("3q4/8/8/8/8/8/P7/4K3X", error));
    EXPECT_NE(error.find("unknown piece letter 'X'"), std::string::npos) << error;
    EXPECT_NE(error.find("символ 21"), std::string::npos) << error;
    EXPECT_EQ(board_pictures(), clicked);
}

TEST_F(Clipboard, PasteReplacesMarksAndKeepsTheTask) {
    start();
    click(88);  // the cross
    click(1);
    gadget_set_text(task_field, "Ход белых");
    std::string error;
    ASSERT_TRUE(set_up_fen("8/8/8/8/8/8/8/K7", error));
    EXPECT_EQ(square_picture(1), image_handle(empty_light_square));
    EXPECT_EQ(square_picture(8), image_handle(2)) << "a1 is dark: the king's second picture";
    EXPECT_EQ(gadget_text(task_field), "Ход белых");
}

TEST_F(Clipboard, CtrlKeysOfTheBoardWindowPasteAndCopy) {
    start();
    focus_widget(widget(add_to_print_button));
    run_turns();
    ASSERT_EQ(clipboard_set_text("rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3 0 1"), 1);
    press_ctrl('v');
    run_turns();
    EXPECT_EQ(board_fen(), "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR w - - 0 1");

    click(89);  // the dot, over the pawn on e4 (column 5, row 5)
    click(37);
    focus_widget(widget(add_to_print_button));
    press_ctrl('c');
    run_turns();
    EXPECT_EQ(clipboard_text(), "rnbqkbnr/pppppppp/8/8/8/8/PPPP1PPP/RNBQKBNR w - - 0 1");
}

TEST_F(Clipboard, EveryDiagramPictureCarriesItsRecord) {
    start();
    std::string error;
    ASSERT_TRUE(set_up_fen("4k3/8/8/8/8/8/8/4K2R", error));
    click(88);
    click(9);  // b8
    // With the placeholder in the field the record has no caption.
    EXPECT_EQ(gadget_text(task_field), task_placeholder);
    EXPECT_EQ(board_record(), "chess-diagram/1\nfen=4k3/8/8/8/8/8/8/4K2R w - - 0 1\nmarks=x:b8\ncaption=\nsquare=50\n");

    gadget_set_text(task_field, "Мат в 2 хода");
    click(add_to_print_button);
    chess::JpegComments comments = chess::jpeg_file_comments(temp_file(1));
    ASSERT_TRUE(comments.ok) << comments.error;
    ASSERT_EQ(comments.comments.size(), 1u);
    chess::DiagramRecordResult record = chess::read_diagram_record(comments.comments[0]);
    ASSERT_TRUE(record.ok) << record.error;
    EXPECT_EQ(record.record.caption, "Мат в 2 хода");
    EXPECT_EQ(record.record.square, 50);
    EXPECT_EQ(record.record.position.squares, board_position.squares);
    // The blank slots carry none.
    EXPECT_TRUE(chess::jpeg_file_comments(temp_file(2)).comments.empty());
}
