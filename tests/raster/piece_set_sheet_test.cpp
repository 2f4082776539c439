// The raster sheets of diagram_batch --pieces against the programs' own, in
// process: the editor's print sheet (slots from its own "Добавить к печати")
// and each composer's sheet (pictures added through its real open dialog)
// are composed by the programs' code, the same diagrams by PieceSetSheet,
// and every pixel must agree.
#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <filesystem>
#include <string>
#include <vector>

#include "core/position.h"
#include "raster/piece_set_diagram.h"
#include "raster/piece_set_sheet.h"
#include "tests/support/gtk_input.h"
#include "tests/support/pixels.h"
#include "tests/support/temp_dir.h"

#ifdef EDITOR_SHEET
#include "tests/editor/editor_fixture.h"
#else
#include "composer/composer.h"
#include "tests/support/dialogs.h"
#endif

namespace fs = std::filesystem;

namespace {

constexpr ObjectId test_font = 9;

// Every pixel of the two sheets alike.
void expect_same_sheet(ObjectId ours, ObjectId theirs) {
    ASSERT_EQ(image_width(ours), image_width(theirs));
    ASSERT_EQ(image_height(ours), image_height(theirs));
    EXPECT_EQ(max_difference(image_handle(ours), 0, 0, image_handle(theirs), 0, 0, image_width(ours),
                             image_height(ours)),
              0);
}

}  // namespace

#ifdef EDITOR_SHEET

class EditorSheet : public EditorTest {};

// Four diagrams added to print by real clicks, the sheet shown and closed;
// the same positions and texts through PieceSetSheet on the 2 x 2 grid.
TEST_F(EditorSheet, TwoByTwoIsTheEditorsPrintSheet) {
    start(50);
    std::vector<chess::Position> positions;
    std::vector<std::string> captions;
    for (int i = 1; i <= 4; ++i) {
        click(68 + i);
        click(9 * i - 8);
        click(add_to_print_button);
        positions.push_back(board_position);
        captions.push_back(diagram_task_text());
    }
    ASSERT_EQ(print_slot_count, 4);
    guint source = g_timeout_add(
        50,
        [](gpointer) -> gboolean {
            if (!tk::window_gtk(sheet_window)) return TRUE;
            request_close(sheet_window);
            return FALSE;
        },
        nullptr);
    click(show_print_button);
    (void)source;
    ASSERT_EQ(image_width(sheet_image), 1180);

    chess::SheetLayout layout;
    bool scaled = true;
    ASSERT_TRUE(chess::raster::program_sheet_for(2, 2, layout, scaled));
    EXPECT_FALSE(scaled);
    TempDir work;
    chess::raster::PieceSetSheet sheet(layout, scaled, work.folder());
    ASSERT_TRUE(sheet.start());
    for (int n = 1; n <= 4; ++n)
        ASSERT_TRUE(sheet.place(n, positions[n - 1], captions[n - 1], font_handle(task_font))) << n;
    expect_same_sheet(sheet.sheet_image(), sheet_image);
    // The pictures' files are gone again.
    EXPECT_TRUE(fs::is_empty(work.path()));
}

#else

using namespace composer;

class ComposerSheet : public testing::Test {
protected:
    void SetUp() override {
        fs::current_path(dir.path());
        fs::create_directory(dir.path() / "SAVE");
        ASSERT_TRUE(start_up(0, nullptr));
        ASSERT_TRUE(wait_mapped(GTK_WIDGET(tk::window_gtk(composer_window))));
        settle();
    }
    void TearDown() override { finish(); }

    void settle() {
        pump(40);
        while (tk::events_queued() > 0) ASSERT_TRUE(loop_turn());
    }

    // "Добавить диаграмму" with the file chosen in the real open dialog.
    void add(const std::string& path) {
        FileDialogAnswer answer = answer_next_file_dialog(path);
        click_widget(tk::gadget_widget(add_button));
        settle();
        ASSERT_TRUE(answer.answered());
    }

    TempDir dir;
    KeepWorkingFolder keep;
};

// A full sheet of the editor's pictures of different positions and
// captions, added one by one; the same diagrams through PieceSetSheet.
TEST_F(ComposerSheet, SheetOfTheComposersGrid) {
    const std::string pieces = dir.folder() + "DATA/";
    fs::create_directory(pieces);
    const std::string command = std::string("env -u DISPLAY '") + MAKE_PIECE_SET + "' '" + pieces + "' 50";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    int failed = 0;
    ASSERT_TRUE(chess::raster::piece_set_load(pieces, failed)) << failed;
    ASSERT_TRUE(font_load(test_font, chess::raster::caption_font_family, chess::raster::caption_font_size));

    std::vector<chess::Position> positions;
    std::vector<std::string> captions;
    for (int n = 1; n <= capacity; ++n) {
        chess::Position p;
        p[chess::square_of(4, 0)] = chess::Piece::WhiteKing;
        p[chess::square_of(n % 8, 7)] = chess::Piece::BlackKing;
        p[chess::square_of((n * 3) % 8, 1 + n % 6)] = n % 2 ? chess::Piece::WhiteQueen : chess::Piece::BlackKnight;
        positions.push_back(p);
        captions.push_back("Задача " + std::to_string(n));
        // The editor's saved diagram, as a user would add it.
        ASSERT_TRUE(chess::raster::piece_set_diagram(150, p, captions.back(), font_handle(test_font)));
        const std::string path = dir.file("SAVE/" + std::to_string(n) + ".jpg");
        ASSERT_EQ(image_save(150, path, FormatJPEG), 1);
        add(path);
    }
    ASSERT_EQ(diagram_count, capacity);

    chess::SheetLayout sheet_layout;
    bool scaled = false;
    ASSERT_TRUE(chess::raster::program_sheet_for(columns, rows, sheet_layout, scaled));
    EXPECT_TRUE(scaled);
    EXPECT_EQ(sheet_layout.margin, layout.margin);
    TempDir work;
    chess::raster::PieceSetSheet sheet(sheet_layout, scaled, work.folder());
    ASSERT_TRUE(sheet.start());
    for (int n = 1; n <= capacity; ++n)
        ASSERT_TRUE(sheet.place(n, positions[n - 1], captions[n - 1], font_handle(test_font))) << n;
    expect_same_sheet(sheet.sheet_image(), sheet_image);
}

#endif
