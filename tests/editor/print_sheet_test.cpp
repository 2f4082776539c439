// The print sheet window: the slots two by two on a white sheet, its own
// event loop, and printing the sheet through the real print dialog.
#include <gtk/gtk.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <optional>
#include <vector>

#include "tests/editor/editor_fixture.h"
#include "tests/support/print_dialog.h"

namespace fs = std::filesystem;

namespace {

constexpr Rgb white{255, 255, 255};
constexpr int places[4][2] = {{40, 40}, {510, 40}, {40, 535}, {510, 535}};

// Steps run while the sheet window's own loop runs (show_print_sheet returns
// only when the window closes): each step is polled from a timeout until it
// returns true, then the next one. Should the steps not finish within 30
// seconds, the sheet window is asked to close so that the test goes on.
class WhileSheetOpen {
public:
    using Step = std::function<bool()>;
    explicit WhileSheetOpen(std::vector<Step> steps) : steps_(std::move(steps)) {
        source_ = g_timeout_add(50, tick, this);
    }
    ~WhileSheetOpen() {
        if (source_) g_source_remove(source_);
    }
    WhileSheetOpen(const WhileSheetOpen&) = delete;
    WhileSheetOpen& operator=(const WhileSheetOpen&) = delete;

    bool finished() const { return next_ == steps_.size(); }

private:
    static gboolean tick(gpointer data) {
        auto* self = static_cast<WhileSheetOpen*>(data);
        if (self->running_) return TRUE;
        if (std::chrono::steady_clock::now() - self->armed_ > std::chrono::seconds(30)) {
            self->source_ = 0;
            request_close(sheet_window);
            return FALSE;
        }
        // A step may pump GTK (real input does); it is not entered twice.
        self->running_ = true;
        while (self->next_ < self->steps_.size() && self->steps_[self->next_]()) ++self->next_;
        self->running_ = false;
        if (self->finished()) self->source_ = 0;
        return self->finished() ? FALSE : TRUE;
    }

    std::vector<Step> steps_;
    std::size_t next_ = 0;
    bool running_ = false;
    guint source_ = 0;
    std::chrono::steady_clock::time_point armed_ = std::chrono::steady_clock::now();
};

// The window is shown before its gadgets are made: wait for the last one.
bool sheet_window_shown() {
    GtkWindow* window = tk::window_gtk(sheet_window);
    GtkWidget* view = tk::gadget_widget(200);
    return window && gtk_widget_get_mapped(GTK_WIDGET(window)) && view && gtk_widget_get_mapped(view);
}

WhileSheetOpen::Step close_window(ObjectId window) {
    return [window] {
        request_close(window);
        return true;
    };
}

class PrintSheet : public EditorTest {
protected:
    // Adds n diagrams, each with another piece on another square, so that
    // no two slots look alike.
    void add_diagrams(int n) {
        for (int i = 1; i <= n; ++i) {
            click(68 + i);
            click(9 * i - 8);
            click(85);
        }
        ASSERT_EQ(print_slot_count, n);
    }

    // The sheet shows slot n's own picture at its place.
    void expect_slot_drawn(int n) {
        ASSERT_TRUE(image_load(150, temp_file(n)));
        ASSERT_EQ(image_width(150), 450);
        EXPECT_EQ(max_difference(image_handle(sheet_image), places[n - 1][0], places[n - 1][1], image_handle(150), 0,
                                 0, 450, 475),
                  0)
            << "slot " << n;
    }

    void expect_place_white(int n) {
        EXPECT_TRUE(region_is(image_handle(sheet_image), places[n - 1][0], places[n - 1][1], 450, 475, white))
            << "place " << n;
    }

    // Opens the sheet with the steps running meanwhile; true once they all ran
    // and the sheet window has closed again.
    bool show_sheet(std::vector<WhileSheetOpen::Step> steps) {
        WhileSheetOpen script(std::move(steps));
        click(show_print_button);
        return script.finished() && !tk::window_gtk(sheet_window);
    }
};

TEST_F(PrintSheet, WithoutDiagramsTheSheetIsWhite) {
    start();
    ASSERT_TRUE(show_sheet({sheet_window_shown,
                            [] {
                                GtkWindow* window = tk::window_gtk(sheet_window);
                                int w = 0, h = 0;
                                gtk_window_get_size(window, &w, &h);
                                EXPECT_EQ(w, 1000);
                                EXPECT_EQ(h, 730);
                                EXPECT_STREQ(gtk_window_get_title(window), "");
                                EXPECT_FALSE(gtk_window_get_resizable(window));
                                EXPECT_EQ(gadget_text(201), "Печать диаграмм");
                                EXPECT_EQ(placement(201), (Placement{425, 695, 150, 25}));
                                EXPECT_EQ(placement(199), (Placement{0, 0, 990, 680}));
                                EXPECT_EQ(reinterpret_cast<ImageHandle>(gadget_state(200)),
                                          image_handle(sheet_image));
                                return true;
                            },
                            close_window(sheet_window)}));
    EXPECT_EQ(image_width(sheet_image), 1180);
    EXPECT_EQ(image_height(sheet_image), 1628);
    EXPECT_TRUE(region_is(image_handle(sheet_image), 0, 0, 1180, 1628, white));
    EXPECT_FALSE(loop_ended);
}

// Three diagrams, of which the second's file no longer loads: the first and
// the third at their places, the second's place and the fourth white.
TEST_F(PrintSheet, SlotsAtTheirPlacesAndAnUnloadableOneLeftWhite) {
    start();
    add_diagrams(3);
    write_file(temp_file(2), {'n', 'o', 't', ' ', 'a', ' ', 'p', 'i', 'c', 't', 'u', 'r', 'e'});
    ASSERT_TRUE(show_sheet({sheet_window_shown, close_window(sheet_window)}));
    expect_slot_drawn(1);
    // Not slot 1's picture again, which image 99 held just before.
    expect_place_white(2);
    expect_slot_drawn(3);
    expect_place_white(4);
    // Margins and gaps stay white.
    EXPECT_TRUE(region_is(image_handle(sheet_image), 0, 0, 1180, 40, white));
    EXPECT_TRUE(region_is(image_handle(sheet_image), 0, 515, 1180, 20, white));
    EXPECT_TRUE(region_is(image_handle(sheet_image), 0, 1010, 1180, 618, white));
}

// The sheet loop takes every event: the board's clicks are dropped for good,
// and a close request for the board window closes only the sheet.
TEST_F(PrintSheet, ClosingTheBoardWindowClosesOnlyTheSheet) {
    start();
    ImageHandle square_before = square_picture(1);
    ASSERT_TRUE(show_sheet({sheet_window_shown,
                            [] {
                                click_widget(tk::gadget_outer_widget(first_palette));
                                click_widget(tk::gadget_outer_widget(1));
                                click_widget(tk::gadget_outer_widget(add_to_print_button));
                                return true;
                            },
                            close_window(board_window)}));
    EXPECT_TRUE(run_turns());
    EXPECT_FALSE(loop_ended);
    EXPECT_EQ(current_piece, 0);
    EXPECT_EQ(square_picture(1), square_before);
    EXPECT_EQ(print_slot_count, 0);
    // The editor goes on as before.
    click(first_palette);
    EXPECT_EQ(current_piece, 1);
    GtkWindow* board = tk::window_gtk(board_window);
    ASSERT_NE(board, nullptr);
    EXPECT_TRUE(gtk_widget_get_visible(GTK_WIDGET(board)));
}

// The sheet scaled to the page keeping its proportions and centred, on A4
// and on Letter: its squares print square.
TEST_F(PrintSheet, PrintsTheSheetInProportionAndKeepsIt) {
    TempDir home;
    const char* old_home = std::getenv("HOME");
    std::optional<std::string> saved = old_home ? std::optional<std::string>(old_home) : std::nullopt;
    setenv("HOME", home.path().c_str(), 1);
    const std::string output = home.file("output.pdf");
    const std::string a4 = home.file("a4.pdf");

    start();
    add_diagrams(4);
    std::optional<PrintDialogAnswer> answer;
    auto print_on = [&](const char* paper) {
        return [&answer, paper] {
            answer.emplace(PrintDialogReply(GTK_RESPONSE_OK).on_paper(paper));
            click_widget(tk::gadget_outer_widget(201));
            return true;
        };
    };
    auto printed = [&] { return answer->answered() && pdf_complete(output); };
    ASSERT_TRUE(show_sheet({sheet_window_shown, print_on("iso_a4"), printed,
                            [&] {
                                fs::rename(output, a4);
                                return true;
                            },
                            print_on("na_letter"), printed, close_window(sheet_window)}));
    if (saved) {
        setenv("HOME", saved->c_str(), 1);
    } else {
        unsetenv("HOME");
    }
    ASSERT_TRUE(answer->answered());
    EXPECT_EQ(answer->view().title, "Print");

    // Printing left the sheet as it was.
    EXPECT_EQ(image_width(sheet_image), 1180);
    EXPECT_EQ(image_height(sheet_image), 1628);
    for (int n = 1; n <= 4; ++n) expect_slot_drawn(n);

    struct Paper {
        std::string pdf;
        double width, height;
    };
    for (const Paper& paper : {Paper{a4, 595.28, 841.89}, Paper{output, 612, 792}}) {
        SCOPED_TRACE(paper.pdf);
        PdfInfo info = pdf_info(paper.pdf);
        ASSERT_EQ(info.pages, 1);
        EXPECT_NEAR(info.width, paper.width, 0.1);
        EXPECT_NEAR(info.height, paper.height, 0.1);
        int x_ppi = 0, y_ppi = 0;
        ASSERT_TRUE(pdf_image_resolution(paper.pdf, x_ppi, y_ppi));
        EXPECT_EQ(x_ppi, y_ppi) << "the sheet is placed with the same resolution across and down";

        // Scaled by the side that limits it and centred on the other.
        const double scale = std::min(paper.width / 1180, paper.height / 1628);
        const double left = (paper.width - 1180 * scale) / 2, top = (paper.height - 1628 * scale) / 2;
        GdkPixbuf* page = render_pdf_page(paper.pdf, dir.path().string());
        ASSERT_NE(page, nullptr);
        ImageHandle sheet = image_handle(sheet_image);
        int compared = 0, wrong = 0;
        for (int n = 0; n < 4; ++n) {
            for (int i = 1; i <= 8; ++i) {
                for (int j = 1; j <= 8; ++j) {
                    // The centre of square (i, j).
                    int sx = places[n][0] + 50 * i, sy = places[n][1] + 50 * j;
                    Rgb expected = pixel_at(sheet, sx, sy);
                    Rgb shown = pixel_at(page, static_cast<int>(left + sx * scale), static_cast<int>(top + sy * scale));
                    ++compared;
                    if (std::abs(expected.r - shown.r) > 24 || std::abs(expected.g - shown.g) > 24 ||
                        std::abs(expected.b - shown.b) > 24)
                        ++wrong;
                }
            }
        }
        EXPECT_EQ(wrong, 0) << "of " << compared;
        g_object_unref(page);
    }
    EXPECT_FALSE(fs::exists(dir.file("output.pdf")));
    EXPECT_FALSE(fs::exists(dir.file("TEMP/output.pdf")));
}

}  // namespace

// Ctrl+P in the board window does what "Просмотр и печать" does.
TEST_F(PrintSheet, CtrlPShowsTheSheet) {
    start();
    add_diagrams(1);
    focus_widget(widget(add_to_print_button));
    run_turns();
    WhileSheetOpen script({sheet_window_shown, close_window(sheet_window)});
    press_ctrl('p');
    run_turns();
    EXPECT_TRUE(script.finished());
    EXPECT_FALSE(tk::window_gtk(sheet_window));
    expect_slot_drawn(1);
}
