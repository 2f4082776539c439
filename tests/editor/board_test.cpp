// The board window against real input: layout, squares, palette, the task
// field's placeholder and the add button's sensitivity.
#include <gtk/gtk.h>

#include <array>

#include "core/fen.h"
#include "tests/editor/editor_fixture.h"

namespace {

class Board : public EditorTest {};

struct Expected {
    ObjectId gadget;
    Placement at;
};

// Every gadget but the squares, as the layout places it for one square size.
void expect_layout(const std::vector<Expected>& expected) {
    for (const Expected& e : expected) EXPECT_EQ(placement(e.gadget), e.at) << "gadget " << e.gadget;
}

void expect_squares(int s) {
    for (int i = 1; i <= 8; ++i) {
        for (int j = 1; j <= 8; ++j) {
            const int k = 8 * (i - 1) + j;
            EXPECT_EQ(placement(k), (Placement{i * s, j * s, s, s})) << "square " << k;
        }
    }
}

std::array<ImageHandle, 65> board_now() {
    std::array<ImageHandle, 65> board{};
    for (int k = 1; k <= 64; ++k) board[k] = square_picture(k);
    return board;
}

bool sensitive(ObjectId g) { return gtk_widget_is_sensitive(tk::gadget_widget(g)); }

}  // namespace

TEST_F(Board, LayoutForSquareSize50) {
    start(50);
    GtkAllocation window;
    gtk_widget_get_allocation(GTK_WIDGET(tk::window_gtk(board_window)), &window);
    EXPECT_EQ(window.width, 800);
    EXPECT_EQ(window.height, 620);
    EXPECT_STREQ(gtk_window_get_title(tk::window_gtk(board_window)), "Chess diagram");
    EXPECT_EQ(square_size, 50);
    expect_squares(50);
    expect_layout({
        {65, {25, 25, 450, 25}},   {66, {25, 450, 450, 25}},  {67, {25, 50, 25, 400}},   {68, {450, 50, 25, 400}},
        {69, {500, 28, 50, 50}},   {70, {500, 81, 50, 50}},   {71, {500, 134, 50, 50}},  {72, {500, 187, 50, 50}},
        {73, {500, 240, 50, 50}},  {74, {500, 293, 50, 50}},  {75, {555, 28, 50, 50}},   {76, {555, 81, 50, 50}},
        {77, {555, 134, 50, 50}},  {78, {555, 187, 50, 50}},  {79, {555, 240, 50, 50}},  {80, {555, 293, 50, 50}},
        {81, {610, 28, 50, 50}},   {88, {610, 81, 50, 50}},   {89, {610, 134, 50, 50}},  {82, {25, 480, 450, 25}},
        {85, {500, 360, 290, 25}}, {83, {500, 390, 290, 25}}, {84, {500, 420, 290, 25}}, {86, {500, 450, 290, 25}},
        {87, {500, 480, 290, 25}},
    });
    // The palette shows the odd picture of each pair.
    for (int r = 1; r <= 6; ++r) {
        EXPECT_EQ(square_picture(68 + r), image_handle(2 * r - 1));
        EXPECT_EQ(square_picture(74 + r), image_handle(2 * r + 11));
    }
    EXPECT_EQ(square_picture(81), image_handle(25));
    EXPECT_EQ(square_picture(88), image_handle(29));
    EXPECT_EQ(square_picture(89), image_handle(31));
    EXPECT_EQ(gadget_text(83), "Просмотр и печать");
    EXPECT_EQ(gadget_text(84), "Сохранить изображение");
    EXPECT_EQ(gadget_text(85), "Добавить к печати");
    EXPECT_EQ(gadget_text(86), "Очистить доску");
    EXPECT_EQ(gadget_text(87), "Очистить диаграммы");
    EXPECT_EQ(gadget_text(82), task_placeholder);
}

// At the largest square size the buttons are at their narrowest.
TEST_F(Board, EveryButtonLabelFitsItsButton) {
    for (int s : {50, 60}) {
        SCOPED_TRACE(s);
        prepare(s);
        testing::internal::CaptureStderr();
        ASSERT_TRUE(start_editor(0, nullptr));
        started = true;
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "") << "the board fits the window";
        ASSERT_TRUE(wait_mapped(GTK_WIDGET(tk::window_gtk(board_window))));
        pump(50);
        // Each button keeps its place and size.
        for (auto [g, y] : {std::pair{85, 10}, {83, 40}, {84, 70}, {86, 100}, {87, 130}}) {
            EXPECT_EQ(placement(g), (Placement{10 * s, 7 * s + y, 790 - 10 * s, 25})) << "gadget " << g;
            EXPECT_TRUE(label_fits(widget(g))) << "gadget " << g;
        }
        toolkit_shutdown();
        started = false;
    }
}

// A set larger than the window holds: said on standard error, and the editor
// runs as before.
TEST_F(Board, TooLargeAPieceSetIsReported) {
    prepare(61);
    testing::internal::CaptureStderr();
    ASSERT_TRUE(start_editor(0, nullptr));
    started = true;
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Окно редактора 800 x 620 слишком мало для набора фигур с клеткой 61 пикселей: "
              "в нём помещаются клетки до 60 пикселей\n");
    ASSERT_TRUE(wait_mapped(GTK_WIDGET(tk::window_gtk(board_window))));
    run_turns();
    EXPECT_EQ(square_size, 61);
    click(first_palette);
    click(1);
    EXPECT_EQ(square_picture(1), image_handle(1));
}

TEST_F(Board, LayoutForAnOddSquareSize) {
    // s = 51: s/2 = 25 and s - s/2 = 26.
    start(51);
    expect_squares(51);
    expect_layout({
        {65, {26, 25, 459, 25}},   {66, {26, 459, 459, 25}},  {67, {26, 51, 25, 408}},   {68, {459, 51, 25, 408}},
        {69, {510, 29, 51, 51}},   {74, {510, 299, 51, 51}},  {75, {566, 29, 51, 51}},   {80, {566, 299, 51, 51}},
        {81, {622, 29, 51, 51}},   {88, {622, 83, 51, 51}},   {89, {622, 137, 51, 51}},  {82, {25, 490, 459, 25}},
        {85, {510, 367, 280, 25}}, {83, {510, 397, 280, 25}}, {84, {510, 427, 280, 25}}, {86, {510, 457, 280, 25}},
        {87, {510, 487, 280, 25}},
    });
}

TEST_F(Board, SquaresStartEmptyOnTheirColours) {
    start();
    for (int i = 1; i <= 8; ++i) {
        for (int j = 1; j <= 8; ++j) {
            const int k = 8 * (i - 1) + j;
            const int colour = (i + j) % 2 == 0 ? 1 : -1;
            EXPECT_EQ(square_colour[k], colour) << "square " << k;
            EXPECT_EQ(square_picture(k), image_handle(colour == 1 ? 25 : 26)) << "square " << k;
        }
    }
    EXPECT_EQ(square_picture(1), image_handle(25));
    EXPECT_EQ(square_picture(64), image_handle(25));
    EXPECT_EQ(square_picture(8), image_handle(26));
    EXPECT_EQ(square_picture(57), image_handle(26));
    EXPECT_EQ(current_piece, 0);
    EXPECT_EQ(print_slot_count, 0);
}

TEST_F(Board, PaletteThenSquaresShowThePieceOnTheSquaresColour) {
    start();
    const auto empty = board_now();
    click(1);  // before any palette click: nothing to place
    EXPECT_EQ(board_now(), empty);

    click(75);
    EXPECT_EQ(current_piece, 13);
    EXPECT_EQ(board_now(), empty) << "a palette click changes no square";
    click(2);
    EXPECT_EQ(square_picture(2), image_handle(14));
    click(1);
    EXPECT_EQ(square_picture(1), image_handle(13));
    click(1);  // the same square again: unchanged
    EXPECT_EQ(square_picture(1), image_handle(13));

    // Right and double clicks act as clicks.
    click(74);
    click(9, 3);
    EXPECT_EQ(square_picture(9), image_handle(12));
    click(88);
    double_click_widget(tk::gadget_outer_widget(64));
    run_turns();
    EXPECT_EQ(square_picture(64), image_handle(29));
    click(89);
    click(57);
    EXPECT_EQ(square_picture(57), image_handle(32));

    // The empty-square choice erases.
    click(81);
    EXPECT_EQ(current_piece, 25);
    click(2);
    click(1);
    EXPECT_EQ(square_picture(2), image_handle(26));
    EXPECT_EQ(square_picture(1), image_handle(25));
}

// The position the board keeps is the one its squares show: square 1 is a8,
// the gadgets run down the files.
TEST_F(Board, ClicksSetUpThePositionTheSquaresShow) {
    start();
    click(69);  // white king
    click(33);  // e8
    click(80);  // black pawn
    click(2);   // a7
    click(63);  // h2
    click(88);  // cross
    click(36);  // e5
    EXPECT_EQ(chess::fen_placement(board_position), "4K3/p7/8/8/8/8/7p/8");
    EXPECT_EQ(board_position[chess::parse_square("e5")], chess::Piece::Cross);
    EXPECT_EQ(square_picture(33), image_handle(1)) << "e8 is light";
    EXPECT_EQ(square_picture(63), image_handle(23 + 1)) << "h2 is dark";

    click(81);  // the empty square erases from the position too
    click(2);
    EXPECT_EQ(chess::fen_placement(board_position), "4K3/8/8/8/8/8/7p/8");
    clear_board();
    EXPECT_EQ(board_position, chess::Position{});
}

TEST_F(Board, FrameAndFieldClicksChangeNothing) {
    start();
    click(69);
    click(3);
    const auto before = board_now();
    for (ObjectId g : {65, 66, 67, 68, 82}) click(g);
    EXPECT_EQ(board_now(), before);
    EXPECT_EQ(current_piece, 1);
}

TEST_F(Board, ClearBoardEmptiesSquaresAndTaskField) {
    start();
    focus_widget(widget(82));
    run_turns();
    type_text(widget(82), "Мат в два хода");
    run_turns();
    click(69);
    for (int k : {1, 2, 33, 64}) click(k);
    click_widget(widget(86));
    ASSERT_TRUE(run_turns_through(86));
    for (int k = 1; k <= 64; ++k) EXPECT_EQ(square_picture(k), image_handle(square_colour[k] == 1 ? 25 : 26));
    EXPECT_EQ(gadget_text(82), "");
    EXPECT_EQ(current_piece, 1) << "the choice stays";
    // The button holds the focus, so the placeholder comes back with the next event.
    next_event();
    EXPECT_EQ(gadget_text(82), task_placeholder);
}

TEST_F(Board, PlaceholderFollowsTheFocus) {
    start();
    focus_widget(widget(85));
    run_turns();
    EXPECT_EQ(gadget_text(82), task_placeholder);

    focus_widget(widget(82));  // into the field: emptied
    run_turns();
    EXPECT_EQ(active_gadget(), 82);
    EXPECT_EQ(gadget_text(82), "");

    focus_widget(widget(85));  // out, still empty: back
    run_turns();
    EXPECT_EQ(gadget_text(82), task_placeholder);

    focus_widget(widget(82));
    run_turns();
    type_text(widget(82), "Мат в 2 хода");
    run_turns();
    focus_widget(widget(84));
    run_turns();
    EXPECT_EQ(gadget_text(82), "Мат в 2 хода") << "typed text is never touched";

    // Typed text that is exactly the placeholder is taken for it.
    focus_widget(widget(82));
    run_turns();
    gtk_editable_delete_text(GTK_EDITABLE(widget(82)), 0, -1);
    type_text(widget(82), task_placeholder);
    run_turns();
    EXPECT_EQ(gadget_text(82), "");
}

TEST_F(Board, EmptyFieldShowsThePlaceholderWhileTheWindowIsNotFocused) {
    start();
    focus_widget(widget(82));
    run_turns();
    ASSERT_EQ(gadget_text(82), "");
    unfocus_all();
    run_turns();
    EXPECT_EQ(active_gadget(), -1);
    EXPECT_EQ(gadget_text(82), task_placeholder);
    // The field kept the window's focus; with the desktop focus back it empties again.
    focus_widget(widget(82));
    run_turns();
    EXPECT_EQ(gadget_text(82), "");
}

TEST_F(Board, AddButtonIsInsensitiveFromTheEventAfterTheFourthAdd) {
    start();
    for (int n = 1; n <= 4; ++n) {
        click_widget(widget(85));
        ASSERT_TRUE(run_turns_through(85)) << "add " << n;
        EXPECT_EQ(print_slot_count, n);
        EXPECT_TRUE(sensitive(85)) << "add " << n;
        run_turns();
    }
    next_event();
    EXPECT_FALSE(sensitive(85));
    click_widget(widget(85));  // an insensitive button posts nothing
    run_turns();
    EXPECT_EQ(print_slot_count, 4);

    click_widget(widget(87));
    ASSERT_TRUE(run_turns_through(87));
    EXPECT_EQ(print_slot_count, 0);
    EXPECT_FALSE(sensitive(85)) << "the change shows with the next event";
    next_event();
    EXPECT_TRUE(sensitive(85));
}

TEST_F(Board, CloseRequestEndsTheLoop) {
    start();
    click(69);
    click(5);
    request_close(board_window);
    EXPECT_FALSE(run_turns());
}
