// The composer in process: its real start-up and window, single turns of
// its event loop, real clicks on its buttons and the real file dialogs,
// answered from inside the test. Built once per variant; EXPECTED_CELLS
// says which one this binary holds.
#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "composer/composer.h"
#include "tests/support/dialogs.h"
#include "tests/support/file_size_limit.h"
#include "tests/support/gtk_input.h"
#include "tests/support/pixels.h"
#include "tests/support/print_dialog.h"
#include "tests/support/temp_dir.h"

namespace fs = std::filesystem;
using namespace composer;

namespace {

struct Variant {
    int columns, rows, margin, cell_width, cell_height;
    std::vector<int> column_x, row_y;  // cell corners of cell-sized pictures
};

#if EXPECTED_CELLS == 12
const Variant expected{3, 4, 30, 360, 377, {30, 410, 790}, {30, 427, 824, 1221}};
#elif EXPECTED_CELLS == 6
const Variant expected{2, 3, 40, 540, 502, {40, 600}, {40, 562, 1084}};
#else
#error "EXPECTED_CELLS must be 12 or 6"
#endif

const Rgb white{255, 255, 255};
// JPEG keeps flat colours within a few levels.
constexpr int jpeg_tolerance = 12;

const Rgb palette[] = {{200, 30, 30},  {30, 160, 40},  {40, 60, 200},  {220, 180, 20},
                       {150, 40, 160}, {20, 170, 170}, {240, 120, 30}, {90, 90, 90},
                       {120, 200, 90}, {200, 90, 140}, {60, 30, 110},  {10, 10, 10}};

Colour colour_of(Rgb c) { return colour_rgb(c.r, c.g, c.b); }

class Composer : public testing::Test {
protected:
    void SetUp() override {
        fs::current_path(dir.path());
        fs::create_directory(dir.path() / "SAVE");
        ASSERT_TRUE(start_up(0, nullptr));
        ASSERT_TRUE(wait_mapped(GTK_WIDGET(tk::window_gtk(composer_window))));
        settle();
    }
    void TearDown() override {
        finish();
    }

    // Runs the loop over whatever is queued; true when one of the events
    // was a Gadget event from gadget.
    bool settle(ObjectId gadget = -1) {
        pump(40);
        bool handled = false;
        while (tk::events_queued() > 0) {
            EXPECT_TRUE(loop_turn()) << "the window closed";
            if (last_event == Gadget && event_gadget() == gadget) handled = true;
        }
        return handled;
    }

    // A real click on a gadget, then the loop turns that handle it.
    testing::AssertionResult click(ObjectId gadget, GtkWidget* widget = nullptr, int x = -1, int y = -1) {
        click_widget(widget ? widget : tk::gadget_widget(gadget), 1, x, y);
        if (!settle(gadget)) return testing::AssertionFailure() << "no Gadget event from " << gadget;
        return testing::AssertionSuccess();
    }

    // "Добавить диаграмму", with the file chosen in the real open dialog.
    testing::AssertionResult add(const std::string& path) {
        FileDialogAnswer answer = answer_next_file_dialog(path);
        testing::AssertionResult clicked = click(add_button);
        if (!clicked) return clicked;
        if (!answer.answered()) return testing::AssertionFailure() << "the open dialog was not answered";
        return testing::AssertionSuccess();
    }

    void clear() { ASSERT_TRUE(click(clear_button)); }

    // A diagram file in SAVE/: flat colour, or four quadrants when patterned.
    std::string picture(const std::string& name, int width, int height, Rgb c, bool patterned = false) {
        std::string path = dir.file("SAVE/" + name + ".jpg");
        image_create(60, width, height);
        drawing_begin(image_target(60));
        draw_box(0, 0, width, height, colour_of(c));
        if (patterned) {
            draw_box(width / 2, 0, width - width / 2, height / 2, colour_rgb(0, 0, 0));
            draw_box(0, height / 2, width / 2, height - height / 2, colour_rgb(255, 255, 0));
        }
        drawing_end();
        EXPECT_EQ(image_save(60, path, FormatJPEG, 10), 1);
        image_free(60);
        return path;
    }

    ImageHandle sheet() const { return image_handle(sheet_image); }

    // The picture covers exactly width x height at (x, y): all of it its
    // colour, white just right of it and just below it.
    testing::AssertionResult drawn_at(int x, int y, int width, int height, Rgb c) const {
        if (!region_is(sheet(), x, y, width, height, c, jpeg_tolerance))
            return testing::AssertionFailure() << width << " x " << height << " at " << x << ", " << y << " is not "
                                               << c << " throughout; corner " << pixel_at(sheet(), x, y);
        if (x + width < sheet_width && !region_is(sheet(), x + width, y, 1, height, white))
            return testing::AssertionFailure() << "it reaches past x = " << x + width - 1;
        if (y + height < sheet_height && !region_is(sheet(), x, y + height, width, 1, white))
            return testing::AssertionFailure() << "it reaches past y = " << y + height - 1;
        return testing::AssertionSuccess();
    }

    bool sheet_is_white() const {
        return image_width(sheet_image) == 1180 && image_height(sheet_image) == 1628 &&
               region_is(sheet(), 0, 0, 1180, 1628, white);
    }

    bool add_usable() const { return gtk_widget_is_sensitive(tk::gadget_widget(add_button)); }

    TempDir dir;
    KeepWorkingFolder keep;  // declared after dir: the folder is left before it is removed
};

// Mean channel difference of two pictures of the same size: JPEG moves sharp
// edges by much, the picture as a whole by little.
double mean_difference(ImageHandle a, ImageHandle b) {
    const int width = gdk_pixbuf_get_width(a), height = gdk_pixbuf_get_height(a);
    if (width != gdk_pixbuf_get_width(b) || height != gdk_pixbuf_get_height(b)) return 1e9;
    double sum = 0;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            Rgb p = pixel_at(a, x, y), q = pixel_at(b, x, y);
            sum += std::abs(p.r - q.r) + std::abs(p.g - q.g) + std::abs(p.b - q.b);
        }
    }
    return sum / (3.0 * width * height);
}

GtkAllocation allocation(GtkWidget* widget) {
    GtkAllocation a;
    gtk_widget_get_allocation(widget, &a);
    return a;
}

// Where the widget lies in its window's client area.
void place_in_window(GtkWidget* widget, int& x, int& y) {
    x = y = -1;
    gtk_widget_translate_coordinates(widget, gtk_widget_get_toplevel(widget), 0, 0, &x, &y);
}

}  // namespace

TEST_F(Composer, GeometryWindowAndGadgets) {
    EXPECT_EQ(columns, expected.columns);
    EXPECT_EQ(rows, expected.rows);
    EXPECT_EQ(capacity, EXPECTED_CELLS);
    EXPECT_EQ(margin, expected.margin);
    EXPECT_EQ(gap, 20);
    EXPECT_EQ(sheet_width, 1180);
    EXPECT_EQ(sheet_height, 1628);
    EXPECT_EQ(cell_width, expected.cell_width);
    EXPECT_EQ(cell_height, expected.cell_height);
    EXPECT_EQ(diagram_count, 0);
    EXPECT_EQ(start_folder, dir.folder());
    EXPECT_EQ(save_folder, dir.folder() + "SAVE/");

    GtkWindow* window = tk::window_gtk(composer_window);
    ASSERT_NE(window, nullptr);
    EXPECT_STREQ(gtk_window_get_title(window), "");
    EXPECT_FALSE(gtk_window_get_resizable(window));
    GtkAllocation client = allocation(GTK_WIDGET(window));
    EXPECT_EQ(client.width, 1000);
    EXPECT_EQ(client.height, 700);

    struct Button {
        ObjectId id;
        int x, y, width, height;
        const char* label;
    };
    const Button buttons[] = {{print_button, 25, 10, 150, 25, "Печать диаграмм"},
                              {add_button, 205, 10, 150, 25, "Добавить диаграмму"},
                              {save_button, 385, 10, 200, 25, "Сохранить диаграммы в JPG"},
                              {clear_button, 615, 10, 200, 25, "Очистить диаграммы"}};
    for (const Button& b : buttons) {
        SCOPED_TRACE(b.label);
        GtkWidget* widget = tk::gadget_widget(b.id);
        ASSERT_TRUE(GTK_IS_BUTTON(widget));
        GtkWidget* label = gtk_bin_get_child(GTK_BIN(widget));
        ASSERT_TRUE(GTK_IS_LABEL(label));
        EXPECT_STREQ(gtk_label_get_text(GTK_LABEL(label)), b.label);
        int x, y;
        place_in_window(widget, x, y);
        EXPECT_EQ(x, b.x);
        EXPECT_EQ(y, b.y);
        EXPECT_EQ(allocation(widget).width, b.width);
        EXPECT_EQ(allocation(widget).height, b.height);
        EXPECT_TRUE(label_fits(widget));
        EXPECT_TRUE(gtk_widget_is_sensitive(widget));
    }

    GtkWidget* scroll = tk::gadget_widget(sheet_scroll);
    ASSERT_TRUE(GTK_IS_SCROLLED_WINDOW(scroll));
    int x, y;
    place_in_window(scroll, x, y);
    EXPECT_EQ(x, 5);
    EXPECT_EQ(y, 40);
    EXPECT_EQ(allocation(scroll).width, 990);
    EXPECT_EQ(allocation(scroll).height, 640);
    GtkWidget* view = tk::gadget_outer_widget(sheet_view);
    EXPECT_TRUE(gtk_widget_is_ancestor(view, scroll));
    EXPECT_EQ(allocation(view).width, 1180);
    EXPECT_EQ(allocation(view).height, 1628);
    EXPECT_EQ(gadget_state(sheet_view), reinterpret_cast<std::intptr_t>(sheet()));
}

TEST_F(Composer, SheetIsWhiteAfterStartUpAndAfterClearingAnEmptySheet) {
    EXPECT_TRUE(sheet_is_white()) << "a new image starts black";
    clear();
    EXPECT_TRUE(sheet_is_white());
    EXPECT_EQ(diagram_count, 0);
    EXPECT_TRUE(add_usable());
}

TEST_F(Composer, ScalesEachPictureToFitACellKeepingItsProportions) {
    struct Case {
        int width, height, scaled_width, scaled_height;
    };
    const int ch = cell_height;
#if EXPECTED_CELLS == 12
    const Case cases[] = {
        {400, 450, 335, 377},   // ratios 1.111 and 1.194
        {720, 754, 360, 377},   // equal ratios
        {180, 160, 360, 320},   // enlarged
        {1000, 400, 360, 144},  // the width decides
#else
    const Case cases[] = {
        {400, 450, 446, 502},
        {720, 754, 479, 502},
        {180, 160, 540, 480},
        {1000, 400, 540, 216},
#endif
        // W exactly halfway: a half goes to the even neighbour.
        {5, 2 * ch, 2, ch},
        {7, 2 * ch, 4, ch},
        // Half a pixel would round to none; the sliver keeps one.
        {1, 2 * ch, 1, ch},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << " x " << c.height);
        Rgb colour = palette[n % 12];
        ASSERT_TRUE(add(picture("p" + std::to_string(n++), c.width, c.height, colour)));
        EXPECT_EQ(diagram_count, 1);
        EXPECT_EQ(image_width(diagram_image), c.scaled_width);
        EXPECT_EQ(image_height(diagram_image), c.scaled_height);
        EXPECT_TRUE(drawn_at(margin, margin, c.scaled_width, c.scaled_height, colour));
        EXPECT_EQ(gadget_state(sheet_view), reinterpret_cast<std::intptr_t>(sheet()));
        clear();
        EXPECT_TRUE(sheet_is_white());
    }
}

TEST_F(Composer, CellSizedPictureIsDrawnUnchanged) {
    std::string path = picture("cell", cell_width, cell_height, palette[2], true);
    ASSERT_TRUE(add(path));
    ASSERT_NE(image_load(61, path), 0);
    EXPECT_EQ(max_difference(sheet(), margin, margin, image_handle(61), 0, 0, cell_width, cell_height), 0);
    EXPECT_TRUE(region_is(sheet(), margin + cell_width, margin, 1, cell_height, white));
    EXPECT_TRUE(region_is(sheet(), margin, margin + cell_height, cell_width, 1, white));
}

// The second position is reckoned from the second picture's own width.
TEST_F(Composer, LaterPositionsFollowThePictureAsScaled) {
    ASSERT_TRUE(add(picture("first", cell_width, cell_height, palette[0])));
    ASSERT_TRUE(add(picture("second", 400, 450, palette[1])));
    EXPECT_EQ(diagram_count, 2);
    const int w = image_width(diagram_image);
#if EXPECTED_CELLS == 12
    EXPECT_EQ(w, 335);
    // 30 + 335 + 20: the first diagram's last 5 columns are painted over.
    EXPECT_TRUE(drawn_at(385, 30, 335, 377, palette[1]));
    EXPECT_TRUE(region_is(sheet(), 30, 30, 355, 377, palette[0], jpeg_tolerance));
#else
    // 40 + 446 + 20: the second diagram paints over the right of the first.
    EXPECT_EQ(w, 446);
    EXPECT_TRUE(drawn_at(506, 40, 446, 502, palette[1]));
    EXPECT_TRUE(region_is(sheet(), 40, 40, 466, 502, palette[0], jpeg_tolerance));
#endif
}

TEST_F(Composer, FullSheetInReadingOrderThenClearedAndRefilled) {
    for (int n = 1; n <= capacity; ++n) {
        EXPECT_TRUE(add_usable()) << "before diagram " << n;
        ASSERT_TRUE(add(picture("d" + std::to_string(n), cell_width, cell_height, palette[n - 1])));
        EXPECT_EQ(diagram_count, n);
    }
    EXPECT_FALSE(add_usable()) << "disabled at the end of the event that filled the sheet";
    for (int n = 1; n <= capacity; ++n) {
        int x = expected.column_x[(n - 1) % columns];
        int y = expected.row_y[(n - 1) / columns];
        EXPECT_TRUE(drawn_at(x, y, cell_width, cell_height, palette[n - 1])) << "cell " << n;
    }
    // What the cells leave over at the right and the bottom stays white.
    const int right = expected.column_x.back() + cell_width;
    const int bottom = expected.row_y.back() + cell_height;
    EXPECT_TRUE(region_is(sheet(), right, 0, sheet_width - right, sheet_height, white));
    EXPECT_TRUE(region_is(sheet(), 0, bottom, sheet_width, sheet_height - bottom, white));

    clear();
    EXPECT_EQ(diagram_count, 0);
    EXPECT_TRUE(add_usable());
    EXPECT_TRUE(sheet_is_white());
    EXPECT_EQ(gadget_state(sheet_view), reinterpret_cast<std::intptr_t>(sheet()));

    ASSERT_TRUE(add(dir.file("SAVE/d5.jpg")));
    EXPECT_EQ(diagram_count, 1);
    EXPECT_TRUE(drawn_at(margin, margin, cell_width, cell_height, palette[4]));
}

TEST_F(Composer, OnlyGadgetEventsReachTheCapacityCheck) {
    // A full sheet whose add button was made usable behind the loop's back:
    // only the check after a Gadget event disables it again.
    diagram_count = capacity;
    gadget_disable(add_button, 0);
    for (EventKind kind : {NoEvent, NothingToReport, Repaint, Moved, Resized, Activated, Deactivated, Minimised,
                           Maximised, Restored, PointerMoved}) {
        event_post(kind, 0, composer_window, 0);
        EXPECT_TRUE(loop_turn());
        EXPECT_EQ(last_event, kind);
        EXPECT_TRUE(add_usable()) << "after event kind " << kind;
    }
    EXPECT_EQ(diagram_count, capacity);
    EXPECT_TRUE(sheet_is_white());

    // A click on the sheet view matches no button: nothing but the check.
    ASSERT_TRUE(click(sheet_view, tk::gadget_outer_widget(sheet_view), 50, 50));
    EXPECT_FALSE(add_usable());
    EXPECT_EQ(diagram_count, capacity);
    EXPECT_TRUE(sheet_is_white());
}

TEST_F(Composer, OpenDialogCancelledChangesNothing) {
    ASSERT_TRUE(add(picture("one", cell_width, cell_height, palette[3])));
    FileDialogAnswer answer = cancel_next_file_dialog();
    ASSERT_TRUE(click(add_button));
    ASSERT_TRUE(answer.seen());
    const FileDialogView& view = answer.view();
    EXPECT_EQ(view.title, "Open image");
    EXPECT_FALSE(view.save);
    EXPECT_FALSE(view.select_multiple);
    EXPECT_EQ(view.folder, (dir.path() / "SAVE").string());
    EXPECT_EQ(view.filter_names, (std::vector<std::string>{"Image JPG", "Position list (FEN, EPD, PGN)"}));
    EXPECT_EQ(view.shown_filter, 0);
    for (const char* name : {"a.jpg", "a.JPG", "a.jpeg", "a.JPEG"}) EXPECT_TRUE(view.filter_accepts(0, name)) << name;
    EXPECT_FALSE(view.filter_accepts(0, "a.png"));
    for (const char* name : {"a.fen", "a.epd", "a.pgn", "a.txt", "A.PGN"}) EXPECT_TRUE(view.filter_accepts(1, name)) << name;
    EXPECT_FALSE(view.filter_accepts(1, "a.jpg"));

    EXPECT_EQ(diagram_path, "");
    EXPECT_EQ(diagram_count, 1);
    EXPECT_TRUE(drawn_at(margin, margin, cell_width, cell_height, palette[3]));
    EXPECT_TRUE(region_is(sheet(), margin + cell_width, 0, sheet_width - margin - cell_width, sheet_height, white));
}

// A picture from a camera or another program, named in capitals.
TEST_F(Composer, PicturesEndingInCapitalsOrJpegCanBeChosen) {
    const std::string path = picture("d1", cell_width, cell_height, palette[4]);
    fs::rename(path, dir.file("SAVE/PHOTO.JPG"));
    ASSERT_TRUE(add(dir.file("SAVE/PHOTO.JPG")));
    fs::rename(dir.file("SAVE/PHOTO.JPG"), dir.file("SAVE/photo.jpeg"));
    ASSERT_TRUE(add(dir.file("SAVE/photo.jpeg")));
    EXPECT_EQ(diagram_count, 2);
    EXPECT_TRUE(drawn_at(expected.column_x[1], margin, cell_width, cell_height, palette[4]));
}

TEST_F(Composer, FileThatDoesNotLoadTakesNoCell) {
    const std::string bad = dir.file("SAVE/broken.jpg");
    write_file(bad, {'n', 'o', 't', ' ', 'a', ' ', 'p', 'i', 'c', 't', 'u', 'r', 'e'});

    // First after start-up: no image 99 yet, the sheet stays white. The user
    // is told, naming the file and why.
    MessageAnswer message;
    testing::internal::CaptureStderr();
    ASSERT_TRUE(add(bad));
    std::string said = testing::internal::GetCapturedStderr();
    EXPECT_NE(said.find(bad), std::string::npos) << said;
    ASSERT_EQ(message.count(), 1);
    EXPECT_EQ(message.view().text, "Не удалось загрузить диаграмму из файла " + bad);
    EXPECT_EQ(message.view().detail, "Файл повреждён или это не JPEG");
    EXPECT_TRUE(message.view().modal);
    EXPECT_TRUE(message.view().has_parent);
    EXPECT_EQ(diagram_count, 0);
    EXPECT_TRUE(sheet_is_white());
    EXPECT_TRUE(add_usable());

    ASSERT_TRUE(add(picture("good1", cell_width, cell_height, palette[0])));
    EXPECT_EQ(diagram_count, 1);
    EXPECT_TRUE(drawn_at(margin, margin, cell_width, cell_height, palette[0]));

    // After a diagram did load: no second copy of it is drawn.
    testing::internal::CaptureStderr();
    ASSERT_TRUE(add(bad));
    said = testing::internal::GetCapturedStderr();
    EXPECT_NE(said.find(bad), std::string::npos) << said;
    EXPECT_EQ(message.count(), 2);
    EXPECT_EQ(diagram_count, 1);
    const int second_x = expected.column_x[1];
    EXPECT_TRUE(region_is(sheet(), second_x, margin, cell_width, cell_height, white));

    ASSERT_TRUE(add(picture("good2", cell_width, cell_height, palette[1])));
    EXPECT_EQ(diagram_count, 2);
    EXPECT_TRUE(drawn_at(second_x, margin, cell_width, cell_height, palette[1]));
}

TEST_F(Composer, SavesTheSheetUnderTheNameAsGiven) {
    const std::string path = dir.file("sheet");
    FileDialogAnswer answer = answer_next_file_dialog(path);
    ASSERT_TRUE(click(save_button));
    ASSERT_TRUE(answer.answered());
    const FileDialogView& view = answer.view();
    EXPECT_EQ(view.title, "Save image");
    EXPECT_TRUE(view.save);
    // It starts in the home folder (GLib keeps HOME as it was at start).
    if (const char* home = std::getenv("HOME"); home && fs::is_directory(home)) {
        EXPECT_EQ(fs::path(view.folder), fs::canonical(home));
    }
    EXPECT_EQ(view.filter_names, std::vector<std::string>{"Image JPG"});

    EXPECT_EQ(save_result, 1);
    EXPECT_TRUE(fs::exists(path));
    EXPECT_FALSE(fs::exists(path + ".jpg")) << "no extension is added";
    ASSERT_NE(image_load(61, path), 0);
    EXPECT_EQ(image_width(61), 1180);
    EXPECT_EQ(image_height(61), 1628);
    EXPECT_TRUE(region_is(image_handle(61), 0, 0, 1180, 1628, white, 1));

    // A sheet with diagrams on it is written as it stands.
    ASSERT_TRUE(add(picture("a", cell_width, cell_height, palette[5], true)));
    ASSERT_TRUE(add(picture("b", 400, 450, palette[6])));
    FileDialogReply replace;
    replace.files = {path};
    replace.replace = {true};
    FileDialogAnswer again = answer_next_file_dialog(replace);
    ASSERT_TRUE(click(save_button));
    ASSERT_TRUE(again.answered());
    ASSERT_NE(image_load(61, path), 0);
    EXPECT_LE(mean_difference(image_handle(61), sheet()), 1.0);
    EXPECT_EQ(pixel_at(image_handle(61), 1179, 1627), white);
}

// GTK's own question before a file is replaced; "no" returns to the dialog.
TEST_F(Composer, SavingOverAnExistingFileAsksFirst) {
    const std::string path = dir.file("sheet.jpg");
    write_file(path, {'o', 'l', 'd'});
    {
        FileDialogReply reply;
        reply.files = {path};
        reply.replace = {false};
        FileDialogAnswer answer = answer_next_file_dialog(reply);
        ASSERT_TRUE(click(save_button));
        ASSERT_TRUE(answer.answered());
        ASSERT_EQ(answer.view().questions.size(), 1u);
        EXPECT_EQ(answer.view().questions[0].first,
                  "A file named \"sheet.jpg\" already exists.  Do you want to replace it?");
        EXPECT_TRUE(answer.view().back_in_dialog);
    }
    EXPECT_EQ(read_file(path), (std::vector<std::uint8_t>{'o', 'l', 'd'}));
    {
        FileDialogReply reply;
        reply.files = {path};
        reply.replace = {true};
        FileDialogAnswer answer = answer_next_file_dialog(reply);
        ASSERT_TRUE(click(save_button));
        ASSERT_TRUE(answer.answered());
        EXPECT_EQ(answer.view().questions.size(), 1u);
    }
    ASSERT_NE(image_load(61, path), 0);
    EXPECT_EQ(image_width(61), 1180);
}

TEST_F(Composer, ASheetThatCannotBeSavedIsReported) {
    const std::string path = dir.file("sheet.jpg");
    MessageAnswer message;
    testing::internal::CaptureStderr();
    {
        FileSizeLimit limit(4096);
        FileDialogAnswer answer = answer_next_file_dialog(path);
        ASSERT_TRUE(click(save_button));
        ASSERT_TRUE(answer.answered());
    }
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_EQ(save_result, 0);
    ASSERT_EQ(message.count(), 1);
    EXPECT_EQ(message.view().text, "Не удалось сохранить лист в файл " + path);
    EXPECT_EQ(message.view().detail, "Диск заполнен");
    EXPECT_EQ(message.view().title, "");
    EXPECT_TRUE(message.view().modal);
    EXPECT_NE(said.find(path), std::string::npos) << said;
    EXPECT_FALSE(fs::exists(path)) << "no part of a sheet is left";
}

TEST_F(Composer, SaveDialogCancelledWritesNothing) {
    FileDialogAnswer answer = cancel_next_file_dialog();
    ASSERT_TRUE(click(save_button));
    ASSERT_TRUE(answer.seen());
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1) << "only SAVE/";
}

TEST_F(Composer, CloseRequestEndsTheLoop) {
    request_close(composer_window);
    pump(40);
    bool running = true;
    while (running && tk::events_queued() > 0) running = loop_turn();
    EXPECT_FALSE(running);
    EXPECT_EQ(last_event, CloseWindow);
}

namespace {

// Printing to the print system's file printer, which writes output.pdf in
// the home folder: a scratch one here. A preview is copied to the scratch
// folder instead of reaching a previewer.
class ComposerPrinting : public Composer {
protected:
    void SetUp() override {
        if (const char* old = std::getenv("HOME")) saved_home = old;
        setenv("HOME", home.path().c_str(), 1);
        g_object_set(gtk_settings_get_default(), "gtk-print-preview-command",
                     ("sh -c 'cp \"$0\" \"$1\"; rm -f \"$0\" \"$2\"' %f " + home.file("preview.pdf") + " %s").c_str(),
                     nullptr);
        Composer::SetUp();
    }
    void TearDown() override {
        Composer::TearDown();
        if (saved_home) {
            setenv("HOME", saved_home->c_str(), 1);
        } else {
            unsetenv("HOME");
        }
    }

    std::string output() const { return home.file("output.pdf"); }

    // "Печать диаграмм" with the dialog answered; the page as printed, at a
    // pixel per point (the caller unrefs it), or null. The sheet on it is
    // placed with the same resolution across and down.
    GdkPixbuf* print(int response = GTK_RESPONSE_OK, const char* paper = "iso_a4") {
        PrintDialogAnswer answer{PrintDialogReply(response).on_paper(paper)};
        EXPECT_TRUE(click(print_button));
        EXPECT_TRUE(answer.answered());
        if (response != GTK_RESPONSE_OK) return nullptr;
        if (!pdf_complete(output())) return nullptr;
        PdfInfo info = pdf_info(output());
        EXPECT_EQ(info.pages, 1);
        EXPECT_NEAR(info.width, page_width, 0.1);
        EXPECT_NEAR(info.height, page_height, 0.1);
        int x_ppi = 0, y_ppi = 0;
        EXPECT_TRUE(pdf_image_resolution(output(), x_ppi, y_ppi));
        EXPECT_EQ(x_ppi, y_ppi) << "squares print square";
        return render_pdf_page(output(), home.path().string());
    }

    // The sheet scaled to the page keeping its proportions and centred:
    // white to every corner and between the cells, the first `count` cells
    // in their diagrams' colours.
    void expect_page(GdkPixbuf* page, int count) {
        ASSERT_NE(page, nullptr);
        const double scale = std::min(page_width / sheet_width, page_height / sheet_height);
        const double left = (page_width - sheet_width * scale) / 2, top = (page_height - sheet_height * scale) / 2;
        auto at_sheet = [&](int x, int y) {
            return pixel_at(page, static_cast<int>(left + x * scale), static_cast<int>(top + y * scale));
        };
        auto near = [](Rgb a, Rgb b) {
            return std::abs(a.r - b.r) <= 16 && std::abs(a.g - b.g) <= 16 && std::abs(a.b - b.b) <= 16;
        };
        const int right = gdk_pixbuf_get_width(page) - 1, bottom = gdk_pixbuf_get_height(page) - 1;
        for (auto [x, y] : {std::pair{0, 0}, {right, 0}, {0, bottom}, {right, bottom}})
            EXPECT_TRUE(near(pixel_at(page, x, y), white)) << x << ", " << y;
        for (int n = 1; n <= capacity; ++n) {
            int x = expected.column_x[(n - 1) % columns], y = expected.row_y[(n - 1) / columns];
            Rgb want = n <= count ? palette[n - 1] : white;
            EXPECT_TRUE(near(at_sheet(x + cell_width / 2, y + cell_height / 2), want)) << "cell " << n;
            EXPECT_TRUE(near(at_sheet(x + 8, y + 8), want)) << "cell " << n;
            EXPECT_TRUE(near(at_sheet(x + cell_width - 8, y + cell_height - 8), want)) << "cell " << n;
            EXPECT_TRUE(near(at_sheet(x - 10, y + cell_height / 2), white)) << "left of cell " << n;
        }
    }

    TempDir home;
    std::optional<std::string> saved_home;
    // The paper printed on, in points.
    double page_width = 595.28, page_height = 841.89;
};

}  // namespace

// Printing leaves the sheet as it was: a second print is the same, later
// diagrams land in their cells and a save writes the full sheet.
TEST_F(ComposerPrinting, PrintsTheSheetStretchedAndLeavesItAsItWas) {
    for (int n = 1; n <= 2; ++n)
        ASSERT_TRUE(add(picture("d" + std::to_string(n), cell_width, cell_height, palette[n - 1])));
    const ImageHandle shown = sheet();

    GdkPixbuf* first = print();
    expect_page(first, 2);
    EXPECT_EQ(image_width(sheet_image), 1180);
    EXPECT_EQ(image_height(sheet_image), 1628);
    EXPECT_EQ(sheet(), shown);
    EXPECT_EQ(gadget_state(sheet_view), reinterpret_cast<std::intptr_t>(shown));
    EXPECT_EQ(diagram_count, 2);

    fs::remove(output());
    GdkPixbuf* second = print();
    ASSERT_NE(second, nullptr);
    if (first) {
        EXPECT_EQ(max_difference(first, second), 0);
    }

    // The last cell: on a sheet resized to the page it would lie off the edge.
    diagram_count = capacity - 1;
    ASSERT_TRUE(add(picture("last", cell_width, cell_height, palette[2])));
    EXPECT_TRUE(drawn_at(expected.column_x.back(), expected.row_y.back(), cell_width, cell_height, palette[2]));

    FileDialogAnswer answer = answer_next_file_dialog(dir.file("sheet.jpg"));
    ASSERT_TRUE(click(save_button));
    ASSERT_TRUE(answer.answered());
    ASSERT_NE(image_load(61, dir.file("sheet.jpg")), 0);
    EXPECT_EQ(image_width(61), 1180);
    EXPECT_EQ(image_height(61), 1628);
    if (first) g_object_unref(first);
    g_object_unref(second);
}

TEST_F(ComposerPrinting, PrintsInProportionOnLetter) {
    for (int n = 1; n <= capacity; ++n)
        ASSERT_TRUE(add(picture("d" + std::to_string(n), cell_width, cell_height, palette[n - 1])));
    page_width = 612;
    page_height = 792;
    GdkPixbuf* page = print(GTK_RESPONSE_OK, "na_letter");
    expect_page(page, capacity);
    if (page) g_object_unref(page);
}

TEST_F(ComposerPrinting, EmptySheetPrintsAWhitePage) {
    GdkPixbuf* page = print();
    expect_page(page, 0);
    if (page) {
        EXPECT_TRUE(region_is(page, 0, 0, 595, 841, white, 2));
        g_object_unref(page);
    }
}

TEST_F(ComposerPrinting, CancelPrintsNothingAndPreviewShowsThePage) {
    ASSERT_TRUE(add(picture("d1", cell_width, cell_height, palette[0])));
    print(GTK_RESPONSE_CANCEL);
    EXPECT_FALSE(fs::exists(output()));
    EXPECT_EQ(sheet(), reinterpret_cast<ImageHandle>(gadget_state(sheet_view)));

    // Preview goes through the same print path but nothing is printed.
    print(GTK_RESPONSE_APPLY);
    const std::string shown = home.file("preview.pdf");
    for (int waited = 0; waited < 10000 && !(fs::exists(shown) && pdf_complete(shown)); waited += 20) pump(20);
    ASSERT_TRUE(pdf_complete(shown));
    EXPECT_FALSE(fs::exists(output()));
    GdkPixbuf* page = render_pdf_page(shown, home.path().string());
    expect_page(page, 1);
    if (page) g_object_unref(page);
    EXPECT_EQ(image_width(sheet_image), 1180);
    EXPECT_EQ(diagram_count, 1);
}
