// The diagram picture, its saving and the print slots, and the start-up
// failures that must not leave the user with a collapsed window.
#include <gtk/gtk.h>

#include <filesystem>

#include "tests/editor/editor_fixture.h"
#include "tests/support/dialogs.h"

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

// Answers the next GTK message dialog with OK, noting its text and title.
struct MessageDialogAnswer {
    std::string text, title;
    bool seen = false;
    guint source = 0;

    MessageDialogAnswer() { source = g_timeout_add(50, &MessageDialogAnswer::poll, this); }
    ~MessageDialogAnswer() {
        if (!seen) g_source_remove(source);
    }

    static gboolean poll(gpointer data) {
        auto* self = static_cast<MessageDialogAnswer*>(data);
        GList* windows = gtk_window_list_toplevels();
        for (GList* item = windows; item; item = item->next) {
            GtkWidget* window = GTK_WIDGET(item->data);
            if (!GTK_IS_MESSAGE_DIALOG(window) || !gtk_widget_get_mapped(window)) continue;
            gchar* text = nullptr;
            g_object_get(window, "text", &text, nullptr);
            self->text = text ? text : "";
            g_free(text);
            self->title = gtk_window_get_title(GTK_WINDOW(window));
            self->seen = true;
            gtk_dialog_response(GTK_DIALOG(window), GTK_RESPONSE_OK);
            break;
        }
        g_list_free(windows);
        return self->seen ? FALSE : TRUE;
    }
};

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

TEST_F(Diagram, PlaceholderIsDrawnWhenTheFieldShowsIt) {
    start();
    ASSERT_EQ(gadget_text(82), task_placeholder);
    render_diagram();
    expect_task_text(image_handle(diagram_image), task_placeholder);

    gadget_set_text(82, "");
    render_diagram();
    EXPECT_TRUE(region_is(image_handle(diagram_image), 0, 450, 450, 25, {255, 255, 255}));
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

TEST_F(Diagram, SaveAppendsJpgToTheChosenName) {
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

    {
        FileDialogAnswer answer = answer_next_file_dialog(saved("x.jpg"));
        click(84);
        ASSERT_TRUE(answer.answered());
    }
    EXPECT_EQ(folder_listing(dir.folder() + "SAVE/"), (std::vector<std::string>{"x.jpg", "x.jpg.jpg"}));
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
    const std::string line = "Не удалось перейти в папку " + dir.folder() + "TEMP/: диаграммы для печати не изменены\n";
    testing::internal::CaptureStderr();
    const bool ok = start_editor(0, nullptr);
    started = ok;
    EXPECT_EQ(testing::internal::GetCapturedStderr(), line);
    ASSERT_TRUE(ok) << "the board still works without print slots";
    run_turns();

    testing::internal::CaptureStderr();
    click(85);
    click(87);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), line + line);
    EXPECT_EQ(print_slot_count, 0);
    EXPECT_EQ(folder_listing(dir.folder()), (std::vector<std::string>{"DATA", "SAVE"}));
    EXPECT_EQ(folder_listing(dir.folder() + "DATA/").size(), 32u) << "no slot file among the pieces";
}

TEST_F(Diagram, MissingFirstPiecePictureStopsWithAMessage) {
    prepare(50, {.missing = 1});
    const std::string line = "Не удалось загрузить набор фигур из папки " + dir.folder() + "DATA/";
    MessageDialogAnswer dialog;
    testing::internal::CaptureStderr();
    EXPECT_FALSE(start_editor(0, nullptr));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), line + "\n");
    EXPECT_TRUE(dialog.seen);
    EXPECT_EQ(dialog.text, line);
    EXPECT_EQ(dialog.title, "Chess diagram");
    EXPECT_EQ(folder_listing(dir.folder() + "TEMP/").size(), 0u) << "nothing written";
}

TEST_F(Diagram, MissingDataFolderStopsWithAMessage) {
    prepare(50, {.data = false});
    MessageDialogAnswer dialog;
    testing::internal::CaptureStderr();
    EXPECT_EQ(run_editor(0, nullptr), 1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Не удалось загрузить набор фигур из папки " + dir.folder() + "DATA/\n");
    EXPECT_TRUE(dialog.seen);
}
