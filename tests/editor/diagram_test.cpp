// The diagram picture, its saving and the print slots, and the start-up
// failures that must not leave the user with a collapsed window.
#include <gtk/gtk.h>

#include <filesystem>

#include "tests/editor/editor_fixture.h"
#include "tests/support/dialogs.h"
#include "tests/support/no_override.h"

namespace fs = std::filesystem;

namespace {

// A saved diagram is compared square by square away from the square's edges:
// JPEG's 16 x 16 colour blocks blend neighbouring colours across them.
constexpr int jpeg_inset = 16;
constexpr int jpeg_tolerance = 12;

class Diagram : public EditorTest {
protected:
    // The piece-set picture whose handle square k shows (0 for none).
    static int picture_of_square(int k) {
        for (int n = 1; n <= piece_set_size; ++n)
            if (image_handle(n) == square_picture(k)) return n;
        return 0;
    }

    // Every square of the picture shows the picture that its gadget shows,
    // exactly, or within JPEG tolerance for a saved file.
    static void expect_squares(ImageHandle picture, bool saved) {
        const int s = square_size, inset = saved ? jpeg_inset : 0;
        for (int i = 1; i <= 8; ++i) {
            for (int j = 1; j <= 8; ++j) {
                const int k = 8 * (i - 1) + j;
                EXPECT_TRUE(region_is(picture, i * s - s / 2 + inset, j * s - s / 2 + inset, s - 2 * inset,
                                      s - 2 * inset, piece_colour(picture_of_square(k)), saved ? jpeg_tolerance : 0))
                    << "square " << k << " should show picture " << picture_of_square(k);
            }
        }
    }

    // The frame strips where the squares do not cover them (for an odd s the
    // squares overlap the right and bottom strips by one pixel).
    static void expect_frame(ImageHandle picture) {
        const int s = square_size, board_start = s - s / 2, board_end = 9 * s - s / 2;
        auto strip = [&](int x0, int y0, int width, int height, int n) {
            int wrong = 0;
            for (int y = y0; y < y0 + height; ++y) {
                for (int x = x0; x < x0 + width; ++x) {
                    const bool covered = x >= board_start && x < board_end && y >= board_start && y < board_end;
                    if (!covered && pixel_at(picture, x, y) != piece_colour(n)) ++wrong;
                }
            }
            EXPECT_EQ(wrong, 0) << "strip at " << x0 << ", " << y0;
        };
        strip(0, 0, 9 * s, s / 2, 27);
        strip(0, 8 * s + s / 2, 9 * s, s / 2, 27);
        strip(0, s / 2, s / 2, 8 * s, 28);
        strip(8 * s + s / 2, s / 2, s / 2, 8 * s, 28);
    }

    // The text band holds text centred on the picture's width in font 0, black
    // on white, its top at 9s + 2: compared with the same text drawn on a
    // picture wide enough to hold all of it.
    static void expect_task_text(ImageHandle picture, const std::string& text) {
        const int s = square_size, width = 9 * s, top = 9 * s;
        const int band = gdk_pixbuf_get_height(picture) - top;
        constexpr ObjectId reference = 150;
        drawing_begin(image_target(diagram_image));
        drawing_font(font_handle(task_font));
        const int tw = text_width(text);
        drawing_end();
        image_create(reference, tw + 40, band);
        drawing_begin(image_target(reference));
        drawing_mode(GradientFill);
        draw_box(0, 0, tw + 50, band + 10, 0);
        drawing_mode(0);
        drawing_font(font_handle(task_font));
        draw_text(20, 2, text, 0, 0xFFFFFF);
        drawing_end();
        const int x0 = (width - tw) / 2;  // may be negative: clipped on both sides
        for (int x = 0; x < width; ++x) {
            const int rx = x - x0 + 20;
            for (int y = 0; y < band; ++y) {
                Rgb expected = rx >= 0 && rx < tw + 40 ? pixel_at(image_handle(reference), rx, y) : Rgb{255, 255, 255};
                ASSERT_EQ(pixel_at(picture, x, top + y), expected) << "at " << x << ", " << top + y;
            }
        }
    }

    // Square k of a saved picture shows piece-set picture n.
    static bool square_is(ImageHandle picture, int k, int n) {
        const int s = square_size, i = (k - 1) / 8 + 1, j = (k - 1) % 8 + 1;
        return region_is(picture, i * s - s / 2 + jpeg_inset, j * s - s / 2 + jpeg_inset, s - 2 * jpeg_inset,
                         s - 2 * jpeg_inset, piece_colour(n), jpeg_tolerance);
    }

    static bool band_has_ink(ImageHandle picture, int x, int width) {
        const int top = 9 * square_size, height = gdk_pixbuf_get_height(picture) - top;
        return !region_is(picture, x, top, width, height, {255, 255, 255}, 100);
    }

    // Some pieces on both square colours.
    static void set_up_position() {
        choose_piece(69);
        place_piece(1);
        place_piece(2);
        choose_piece(80);
        place_piece(36);
        choose_piece(89);
        place_piece(64);
        place_piece(57);
    }

    std::string saved(const std::string& name) const { return dir.folder() + "SAVE/" + name; }
};

// How many lines of the text name the file (GTK may add warnings of its own).
int lines_naming(const std::string& text, const std::string& file) {
    int count = 0;
    for (std::size_t start = 0; start < text.size();) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        if (text.substr(start, end - start).find(file) != std::string::npos) ++count;
        start = end + 1;
    }
    return count;
}

}  // namespace

TEST_F(Diagram, PictureShowsFrameSquaresAndCentredText) {
    start(50);
    set_up_position();
    gadget_set_text(82, "Мат в 2 хода");
    render_diagram();
    ImageHandle picture = image_handle(diagram_image);
    EXPECT_EQ(image_width(diagram_image), 450);
    EXPECT_EQ(image_height(diagram_image), 475);
    expect_frame(picture);
    expect_squares(picture, false);
    EXPECT_EQ(picture_of_square(36), 24);
    expect_task_text(picture, "Мат в 2 хода");
    EXPECT_TRUE(region_is(picture, 0, 450, 450, 2, {255, 255, 255})) << "white above the text";
    EXPECT_EQ(current_directory(), dir.folder() + "TEMP/");
}

TEST_F(Diagram, OddSquareSizeTilesTheBandExactly) {
    start(51);
    set_up_position();
    render_diagram();
    EXPECT_EQ(image_width(diagram_image), 459);
    EXPECT_EQ(image_height(diagram_image), 484);
    expect_frame(image_handle(diagram_image));
    expect_squares(image_handle(diagram_image), false);
}

// The field shows the placeholder whenever it is empty and a button is
// clicked; the diagram's text band stays white all the same.
TEST_F(Diagram, EmptyTaskLeavesTheTextBandWhite) {
    start();
    ASSERT_EQ(gadget_text(82), task_placeholder);
    render_diagram();
    EXPECT_TRUE(region_is(image_handle(diagram_image), 0, 450, 450, 25, {255, 255, 255}));
    EXPECT_EQ(gadget_text(82), task_placeholder) << "the field itself keeps showing it";

    gadget_set_text(82, "");
    render_diagram();
    EXPECT_TRUE(region_is(image_handle(diagram_image), 0, 450, 450, 25, {255, 255, 255}));

    // As a user gets there: text typed, cleared with the board, then added.
    gadget_set_text(82, "Мат в 2 хода");
    click(86);
    click(85);
    ASSERT_EQ(gadget_text(82), task_placeholder);
    ASSERT_EQ(print_slot_count, 1);
    ASSERT_TRUE(image_load(150, temp_file(1)));
    EXPECT_FALSE(band_has_ink(image_handle(150), 0, 450));
    EXPECT_EQ(diagram_task_text(), "");
}

TEST_F(Diagram, WideTextIsClippedOnBothSidesAndStaysCentred) {
    start();
    const std::string text = "Белые начинают и дают мат в два хода; чёрные защищаются как могут";
    gadget_set_text(82, text);
    render_diagram();
    ImageHandle picture = image_handle(diagram_image);
    expect_task_text(picture, text);
    EXPECT_TRUE(band_has_ink(picture, 0, 6));
    EXPECT_TRUE(band_has_ink(picture, 444, 6));
}

TEST_F(Diagram, SaveAddsJpgOnlyToANameWithoutIt) {
    start();
    set_up_position();
    {
        FileDialogAnswer answer = answer_next_file_dialog(saved("x"));
        click(84);
        ASSERT_TRUE(answer.answered());
        EXPECT_EQ(answer.view().title, "Save image");
        EXPECT_TRUE(answer.view().save);
        EXPECT_EQ(answer.view().folder + "/", dir.folder() + "SAVE/");
        EXPECT_EQ(answer.view().name, "");
        EXPECT_EQ(answer.view().filter_names, std::vector<std::string>{"JPEG Image"});
        EXPECT_EQ(answer.view().shown_filter, 0);
    }
    EXPECT_EQ(folder_listing(dir.folder() + "SAVE/"), std::vector<std::string>{"x.jpg"});
    ASSERT_TRUE(image_load(150, saved("x.jpg")));
    EXPECT_EQ(image_width(150), 450);
    EXPECT_EQ(image_height(150), 475);
    expect_squares(image_handle(150), true);

    for (const char* name : {"y.jpg", "z.JPG", "w.Jpg", "v.jpeg"}) {
        FileDialogAnswer answer = answer_next_file_dialog(saved(name));
        click(84);
        ASSERT_TRUE(answer.answered()) << name;
        EXPECT_TRUE(answer.view().questions.empty()) << name;
    }
    EXPECT_EQ(folder_listing(dir.folder() + "SAVE/"),
              (std::vector<std::string>{"v.jpeg.jpg", "w.Jpg", "x.jpg", "y.jpg", "z.JPG"}));
}

// The question is about the file that would be replaced: the final name,
// with ".jpg" added. "No" returns to the dialog.
TEST_F(Diagram, SavingOverAnExistingDiagramAsksFirst) {
    start();
    const std::string x = saved("x.jpg");
    write_file(x, {'o', 'l', 'd'});
    {
        FileDialogReply reply;
        reply.files = {saved("x")};
        reply.replace = {false};
        reply.then = saved("other");
        FileDialogAnswer answer = answer_next_file_dialog(reply);
        click(84);
        ASSERT_TRUE(answer.answered());
        ASSERT_EQ(answer.view().questions.size(), 1u);
        EXPECT_EQ(answer.view().questions[0].first,
                  "A file named \"x.jpg\" already exists.  Do you want to replace it?");
        EXPECT_EQ(answer.view().questions[0].second,
                  "The file already exists in \"SAVE\".  Replacing it will overwrite its contents.");
        EXPECT_TRUE(answer.view().back_in_dialog);
    }
    EXPECT_EQ(read_file(x), (std::vector<std::uint8_t>{'o', 'l', 'd'}));
    EXPECT_EQ(folder_listing(dir.folder() + "SAVE/"), (std::vector<std::string>{"other.jpg", "x.jpg"}));

    // A name typed with its ".jpg": GTK's own question, answered no, then
    // cancelled in the dialog.
    {
        FileDialogReply reply;
        reply.files = {x};
        reply.replace = {false};
        FileDialogAnswer answer = answer_next_file_dialog(reply);
        click(84);
        ASSERT_TRUE(answer.answered());
        ASSERT_EQ(answer.view().questions.size(), 1u);
        EXPECT_EQ(answer.view().questions[0].first,
                  "A file named \"x.jpg\" already exists.  Do you want to replace it?");
        EXPECT_TRUE(answer.view().back_in_dialog);
    }
    EXPECT_EQ(read_file(x), (std::vector<std::uint8_t>{'o', 'l', 'd'}));

    // Yes replaces it.
    {
        FileDialogReply reply;
        reply.files = {saved("x")};
        reply.replace = {true};
        FileDialogAnswer answer = answer_next_file_dialog(reply);
        click(84);
        ASSERT_TRUE(answer.answered());
        EXPECT_EQ(answer.view().questions.size(), 1u);
    }
    ASSERT_TRUE(image_load(150, x));
    EXPECT_EQ(image_width(150), 450);
    EXPECT_EQ(folder_listing(dir.folder() + "SAVE/"), (std::vector<std::string>{"other.jpg", "x.jpg"}));
}

TEST_F(Diagram, ADiagramThatCannotBeSavedIsReported) {
    start();
    const std::string folder = dir.folder() + "SAVE/";
    fs::permissions(folder, fs::perms::owner_read | fs::perms::owner_exec);
    MessageAnswer message;
    testing::internal::CaptureStderr();
    {
        PermissionBitsApply bits;
        FileDialogAnswer answer = answer_next_file_dialog(saved("x"));
        click(84);
        ASSERT_TRUE(answer.answered());
    }
    const std::string said = testing::internal::GetCapturedStderr();
    ASSERT_TRUE(message.seen());
    EXPECT_EQ(message.view().text, "Не удалось сохранить диаграмму в файл " + folder + "x.jpg");
    EXPECT_EQ(message.view().detail, "Нет прав на запись");
    EXPECT_EQ(message.view().title, "Chess diagram");
    EXPECT_TRUE(message.view().modal);
    EXPECT_EQ(message.view().parent_title, "Chess diagram");
    EXPECT_EQ(lines_naming(said, folder + "x.jpg"), 1) << said;
    EXPECT_NE(said.find(last_failure().text + "\n"), std::string::npos) << said;
    EXPECT_TRUE(folder_listing(folder).empty());
}

TEST_F(Diagram, CancelledSaveWritesNothing) {
    start();
    {
        FileDialogAnswer answer = cancel_next_file_dialog();
        click(84);
        ASSERT_TRUE(answer.answered());
    }
    EXPECT_TRUE(folder_listing(dir.folder() + "SAVE/").empty());
    EXPECT_EQ(image_width(diagram_image), 450) << "rendered all the same";
}

TEST_F(Diagram, FourAddsFillTheSlotsInOrderAndClearingBlanksThem) {
    start();
    const std::vector<std::string> texts = {"Первая", "Вторая", "Третья", "Четвёртая"};
    std::vector<std::vector<std::uint8_t>> written;
    for (int n = 1; n <= 4; ++n) {
        click(68 + n);  // pieces 1 to 4
        click(8 * n);   // the bottom square of column n
        gadget_set_text(82, texts[n - 1]);
        click(85);
        EXPECT_EQ(print_slot_count, n);
        ASSERT_TRUE(image_load(150, temp_file(n)));
        EXPECT_EQ(image_width(150), 450);
        EXPECT_EQ(image_height(150), 475);
        expect_squares(image_handle(150), true);
        written.push_back(read_file(temp_file(n)));
    }
    // Each slot kept the position of its own add: slot 1 shows piece 1 on
    // square 8 and square 16 still empty.
    ASSERT_TRUE(image_load(150, temp_file(1)));
    EXPECT_TRUE(square_is(image_handle(150), 8, 2));
    EXPECT_TRUE(square_is(image_handle(150), 16, 25));
    ASSERT_TRUE(image_load(150, temp_file(4)));
    EXPECT_TRUE(square_is(image_handle(150), 16, 3));
    EXPECT_TRUE(square_is(image_handle(150), 32, 7));

    click(86);  // a later change of the board touches no slot
    for (int n = 1; n <= 4; ++n) EXPECT_EQ(read_file(temp_file(n)), written[n - 1]) << "slot " << n;

    click(87);
    EXPECT_EQ(print_slot_count, 0);
    const auto blank = read_file(temp_file(1));
    for (int n = 2; n <= 4; ++n) EXPECT_EQ(read_file(temp_file(n)), blank) << "slot " << n;
    ASSERT_TRUE(image_load(150, temp_file(1)));
    EXPECT_EQ(image_width(150), 5);
    EXPECT_EQ(image_height(150), 5);
    EXPECT_TRUE(region_is(image_handle(150), 0, 0, 5, 5, {255, 255, 255}, 2));
    EXPECT_EQ(folder_listing(dir.folder() + "TEMP/"), (std::vector<std::string>{"1.jpg", "2.jpg", "3.jpg", "4.jpg"}));
}

TEST_F(Diagram, StartUpBlanksSlotsOfAnEarlierRun) {
    prepare(50);
    for (int n = 1; n <= 4; ++n) fs::copy_file(dir.file("DATA/" + number_text(n) + ".jpg"), temp_file(n));
    ASSERT_TRUE(start_editor(0, nullptr));
    started = true;
    EXPECT_EQ(print_slot_count, 0);
    const auto blank = read_file(temp_file(1));
    ASSERT_TRUE(image_load(150, temp_file(1)));
    EXPECT_EQ(image_width(150), 5);
    for (int n = 2; n <= 4; ++n) EXPECT_EQ(read_file(temp_file(n)), blank);
}

TEST_F(Diagram, WithoutTempFolderSlotOperationsAreSkipped) {
    prepare(50, {.temp = false});
    const std::string text = "Не удалось перейти в папку " + dir.folder() + "TEMP/: диаграммы для печати не изменены";
    const std::string line = text + "\n";
    MessageAnswer message;
    testing::internal::CaptureStderr();
    const bool ok = start_editor(0, nullptr);
    started = ok;
    EXPECT_EQ(testing::internal::GetCapturedStderr(), line);
    ASSERT_TRUE(ok) << "the board still works without print slots";
    EXPECT_EQ(message.count(), 1);
    EXPECT_EQ(message.view().text, text);
    EXPECT_EQ(message.view().detail, "Папка не существует");
    run_turns();

    testing::internal::CaptureStderr();
    click(85);
    click(87);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), line + line);
    EXPECT_EQ(message.count(), 3) << "each click told";
    EXPECT_EQ(print_slot_count, 0);
    EXPECT_EQ(folder_listing(dir.folder()), (std::vector<std::string>{"DATA", "SAVE"}));
    EXPECT_EQ(folder_listing(dir.folder() + "DATA/").size(), 32u) << "no slot file among the pieces";
}

TEST_F(Diagram, MissingFirstPiecePictureStopsWithAMessage) {
    prepare(50, {.missing = 1});
    const std::string line = "Не удалось загрузить набор фигур из папки " + dir.folder() + "DATA/";
    MessageAnswer dialog;
    testing::internal::CaptureStderr();
    EXPECT_FALSE(start_editor(0, nullptr));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), line + "\n");
    EXPECT_TRUE(dialog.seen());
    EXPECT_EQ(dialog.view().text, line);
    EXPECT_EQ(dialog.view().title, "Chess diagram");
    EXPECT_EQ(folder_listing(dir.folder() + "TEMP/").size(), 0u) << "nothing written";
}

TEST_F(Diagram, MissingDataFolderStopsWithAMessage) {
    prepare(50, {.data = false});
    MessageAnswer dialog;
    testing::internal::CaptureStderr();
    EXPECT_EQ(run_editor(0, nullptr), 1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Не удалось загрузить набор фигур из папки " + dir.folder() + "DATA/\n");
    EXPECT_TRUE(dialog.seen());
}

// Slots that cannot be written: at start-up and on every add the user is
// told, nothing is counted, and the print sheet never shows the diagrams an
// earlier session left in TEMP/.
TEST_F(Diagram, SlotsThatCannotBeWrittenAreReportedAndNeverShown) {
    prepare(50);
    const std::string temp = dir.folder() + "TEMP/";
    for (int n = 1; n <= 4; ++n) {
        fs::copy_file(dir.file("DATA/" + number_text(n) + ".jpg"), temp_file(n));
        fs::permissions(temp_file(n), fs::perms::owner_read);
    }
    fs::permissions(temp, fs::perms::owner_read | fs::perms::owner_exec);
    const auto old_slot = read_file(temp_file(1));
    PermissionBitsApply bits;

    MessageAnswer message;
    testing::internal::CaptureStderr();
    ASSERT_TRUE(start_editor(0, nullptr));
    started = true;
    std::string said = testing::internal::GetCapturedStderr();
    ASSERT_TRUE(wait_mapped(GTK_WIDGET(tk::window_gtk(board_window))));
    run_turns();
    EXPECT_EQ(message.count(), 1);
    EXPECT_EQ(message.view().text, "Диаграммы для печати не очищены: файл " + temp + "1.jpg не записан");
    EXPECT_EQ(message.view().detail, "Нет прав на запись");
    // The slots are written by their bare names inside TEMP/.
    EXPECT_EQ(lines_naming(said, "1.jpg"), 1) << said;
    EXPECT_NE(said.find(last_failure().text + "\n"), std::string::npos) << said;
    EXPECT_EQ(print_slot_count, 0);

    click(first_palette);
    click(1);
    testing::internal::CaptureStderr();
    click(85);
    said = testing::internal::GetCapturedStderr();
    EXPECT_EQ(message.count(), 2);
    EXPECT_EQ(message.view().text, "Диаграмма не добавлена к печати: файл " + temp + "1.jpg не записан");
    EXPECT_EQ(message.view().detail, "Нет прав на запись");
    // The slots are written by their bare names inside TEMP/.
    EXPECT_EQ(lines_naming(said, "1.jpg"), 1) << said;
    EXPECT_EQ(print_slot_count, 0) << "a slot not written is not counted";
    EXPECT_EQ(read_file(temp_file(1)), old_slot);

    click(87);
    EXPECT_EQ(message.count(), 3);
    EXPECT_EQ(print_slot_count, 0);
    fs::permissions(temp, fs::perms::owner_all);
}
