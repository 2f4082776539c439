#include <gtest/gtest.h>
#include <gdk-pixbuf/gdk-pixbuf.h>
#include <gtk/gtk.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>

#include "tests/support/gtk_input.h"
#include "tests/support/pixels.h"
#include "tests/support/print_dialog.h"
#include "tests/support/temp_dir.h"
#include "toolkit/toolkit.h"

namespace {

namespace fs = std::filesystem;

constexpr Rgb white{255, 255, 255};
constexpr Rgb grey{200, 200, 200};

guint32 rgba(Rgb c) { return static_cast<guint32>(c.r) << 24 | c.g << 16 | c.b << 8 | 0xFF; }

void fill(ImageHandle image, int x, int y, int width, int height, Rgb colour) {
    GdkPixbuf* part = gdk_pixbuf_new_subpixbuf(image, x, y, width, height);
    gdk_pixbuf_fill(part, rgba(colour));
    g_object_unref(part);
}

bool near(Rgb a, Rgb b, int tolerance = 4) {
    return std::abs(a.r - b.r) <= tolerance && std::abs(a.g - b.g) <= tolerance && std::abs(a.b - b.b) <= tolerance;
}

// Sets an environment variable for the life of the object.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::string& value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        setenv(name, value.c_str(), 1);
    }
    ~ScopedEnv() {
        if (old_) {
            setenv(name_, old_->c_str(), 1);
        } else {
            unsetenv(name_);
        }
    }

private:
    const char* name_;
    std::optional<std::string> old_;
};

void set_preview_command(const std::string& command) {
    g_object_set(gtk_settings_get_default(), "gtk-print-preview-command", command.c_str(), nullptr);
}

GtkWidget* toplevel_titled(const std::string& title) {
    GtkWidget* found = nullptr;
    GList* windows = gtk_window_list_toplevels();
    for (GList* item = windows; item; item = item->next) {
        const char* t = gtk_window_get_title(GTK_WINDOW(item->data));
        if (t && title == t && gtk_widget_get_visible(GTK_WIDGET(item->data))) found = GTK_WIDGET(item->data);
    }
    g_list_free(windows);
    return found;
}

bool wait_for_file(const std::string& path, int timeout_ms = 10000) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    while (std::chrono::steady_clock::now() < end) {
        if (fs::exists(path) && pdf_complete(path)) return true;
        pump(20);
    }
    return false;
}

class PrintingTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(toolkit_init(), 1);
        // A preview from a test never reaches the desktop's previewer: the
        // file lands in the scratch folder, and both files are removed.
        set_preview_command("sh -c 'cp \"$0\" \"$1\"; rm -f \"$0\" \"$2\"' %f " + scratch_.file("preview.pdf") + " %s");
    }
    void TearDown() override { toolkit_shutdown(); }

    // Where the file printer writes: the home folder.
    std::string output() const { return home_.file("output.pdf"); }

    // A 1180 x 1628 sheet in grey with four 450 x 475 diagrams at the places
    // of the print sheet, each in its own colour.
    void make_sheet(ObjectId id) {
        ASSERT_NE(image_create(id, 1180, 1628), 0);
        ImageHandle sheet = image_handle(id);
        fill(sheet, 0, 0, 1180, 1628, grey);
        for (int n = 0; n < 4; ++n) fill(sheet, places[n][0], places[n][1], 450, 475, colours[n]);
    }

    // Prints the picture stretched over the page, as the programs print a sheet.
    void print_stretched(ObjectId id) {
        ASSERT_EQ(printing_begin("print diagram"), 1);
        ASSERT_NE(drawing_begin(printer_target()), 0);
        printer_draw_image(image_handle(id), 0, 0, printer_page_width(), printer_page_height());
        drawing_end();
        printing_end();
    }

    // The sheet as printed on a page of width x height points, rendered at
    // a pixel per point. The sheet covers exactly the page's whole points.
    static void expect_sheet(GdkPixbuf* page, int width, int height) {
        ASSERT_NE(page, nullptr);
        ASSERT_GE(gdk_pixbuf_get_width(page), width);
        ASSERT_GE(gdk_pixbuf_get_height(page), height);
        auto at_sheet = [&](int x, int y) { return pixel_at(page, x * width / 1180, y * height / 1628); };
        // Corner to corner: the sheet's grey reaches every corner of the page.
        for (auto [x, y] : {std::pair{0, 0}, {width - 1, 0}, {0, height - 1}, {width - 1, height - 1}}) {
            EXPECT_TRUE(near(pixel_at(page, x, y), grey)) << x << "," << y << " " << pixel_at(page, x, y);
        }
        for (int n = 0; n < 4; ++n) {
            int x = places[n][0], y = places[n][1];
            EXPECT_TRUE(near(at_sheet(x + 225, y + 237), colours[n])) << "diagram " << n + 1;
            EXPECT_TRUE(near(at_sheet(x + 12, y + 12), colours[n])) << "diagram " << n + 1;
            EXPECT_TRUE(near(at_sheet(x + 438, y + 463), colours[n])) << "diagram " << n + 1;
            // The margin and the gap around it.
            EXPECT_TRUE(near(at_sheet(x - 10, y + 237), grey)) << "diagram " << n + 1;
            EXPECT_TRUE(near(at_sheet(x + 225, y - 10), grey)) << "diagram " << n + 1;
        }
        EXPECT_TRUE(near(at_sheet(590, 1300), grey));
    }

    static constexpr int places[4][2] = {{40, 40}, {510, 40}, {40, 535}, {510, 535}};
    static constexpr Rgb colours[4] = {{220, 30, 30}, {30, 160, 30}, {30, 30, 220}, {230, 200, 20}};

    TempDir home_;
    TempDir scratch_;
    ScopedEnv home_env_{"HOME", home_.path().string()};
};

TEST_F(PrintingTest, WithoutAJobNothingPrints) {
    EXPECT_EQ(printer_page_width(), 0);
    EXPECT_EQ(printer_page_height(), 0);
    EXPECT_EQ(printer_target(), nullptr);
    EXPECT_EQ(printing_begin("print diagram"), 0);
    printer_new_page();
    printing_end();
    EXPECT_EQ(drawing_begin(printer_target()), 0);
    EXPECT_FALSE(fs::exists(output()));
}

// The file printer's name is translated: it is found by what it is, under
// any language, while the print server's backend (which cannot reach a
// server here) never finishes its list.
TEST_F(PrintingTest, FindsTheFilePrinterInAnyLanguage) {
    ScopedEnv no_server("CUPS_SERVER", scratch_.file("no-such-server"));
    std::string english;
    {
        ScopedEnv language("LANGUAGE", "en");
        english = tk::file_printer_name();
    }
    EXPECT_FALSE(english.empty());
    EXPECT_EQ(tk::file_printer_name(), tk::file_printer_name());

    ScopedEnv language("LANGUAGE", "ru");
    std::string russian = tk::file_printer_name();
    EXPECT_FALSE(russian.empty());
    EXPECT_NE(russian, english);

    // The dialog preselects it under that name, and printing to it works.
    PrintDialogAnswer answer{PrintDialogReply(GTK_RESPONSE_OK)};
    ASSERT_EQ(print_requester(), 1);
    ASSERT_TRUE(answer.answered());
    EXPECT_EQ(answer.view().printer, russian);
    print_stretched(0);  // no picture: an empty page
    EXPECT_TRUE(pdf_complete(output()));
}

TEST_F(PrintingTest, PrintToFileWritesTheSheetCornerToCorner) {
    make_sheet(101);
    PrintDialogAnswer answer{PrintDialogReply(GTK_RESPONSE_OK)};
    ASSERT_EQ(print_requester(), 1);
    ASSERT_TRUE(answer.answered());
    EXPECT_EQ(answer.view().title, "Print");
    EXPECT_FALSE(answer.view().has_parent);
    EXPECT_TRUE(answer.view().preview_button);
    EXPECT_TRUE(answer.view().printer_virtual);
    EXPECT_TRUE(answer.view().printer_accepts_pdf);
    EXPECT_EQ(answer.view().paper, "iso_a4");
    EXPECT_EQ(printer_page_width(), 595);
    EXPECT_EQ(printer_page_height(), 841);

    print_stretched(101);
    // Complete, trailer included, as soon as printing_end returns.
    ASSERT_TRUE(pdf_complete(output()));
    PdfInfo info = pdf_info(output());
    EXPECT_EQ(info.pages, 1);
    EXPECT_NEAR(info.width, 595.28, 0.1);
    EXPECT_NEAR(info.height, 841.89, 0.1);
    GdkPixbuf* first = render_pdf_page(output(), scratch_.path().string());
    expect_sheet(first, 595, 841);

    // The job is gone; the picture printed is as it was.
    EXPECT_EQ(printer_page_width(), 0);
    EXPECT_EQ(printer_target(), nullptr);
    EXPECT_EQ(image_width(101), 1180);
    EXPECT_EQ(image_height(101), 1628);

    // A second print is the same as the first.
    fs::remove(output());
    PrintDialogAnswer again{PrintDialogReply(GTK_RESPONSE_OK)};
    ASSERT_EQ(print_requester(), 1);
    print_stretched(101);
    GdkPixbuf* second = render_pdf_page(output(), scratch_.path().string());
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(max_difference(first, second), 0);
    g_object_unref(first);
    g_object_unref(second);
}

TEST_F(PrintingTest, LetterPaperAndTheLastChoiceRemembered) {
    make_sheet(101);
    PrintDialogAnswer letter{PrintDialogReply(GTK_RESPONSE_OK).on_paper("na_letter")};
    ASSERT_EQ(print_requester(), 1);
    EXPECT_EQ(printer_page_width(), 612);
    EXPECT_EQ(printer_page_height(), 792);
    print_stretched(101);
    PdfInfo info = pdf_info(output());
    EXPECT_EQ(info.width, 612);
    EXPECT_EQ(info.height, 792);
    GdkPixbuf* page = render_pdf_page(output(), scratch_.path().string());
    expect_sheet(page, 612, 792);
    if (page) g_object_unref(page);

    // The next dialog starts with the same printer and paper.
    PrintDialogAnswer same{PrintDialogReply(GTK_RESPONSE_OK).without_waiting()};
    ASSERT_EQ(print_requester(), 1);
    EXPECT_EQ(same.view().paper, "na_letter");
    EXPECT_EQ(same.view().printer, letter.view().printer);
    EXPECT_EQ(printer_page_width(), 612);
    // The file printed to is the same: the dialog asks before replacing it.
    print_stretched(101);
    EXPECT_TRUE(same.view().asked_to_replace);
    EXPECT_TRUE(pdf_complete(output()));
}

TEST_F(PrintingTest, CancelAndPrintWithoutAPrinterGiveNoJob) {
    {
        PrintDialogAnswer cancel{PrintDialogReply(GTK_RESPONSE_CANCEL)};
        EXPECT_EQ(print_requester(), 0);
        EXPECT_TRUE(cancel.answered());
    }
    EXPECT_EQ(printer_page_width(), 0);
    EXPECT_EQ(printer_target(), nullptr);
    EXPECT_EQ(printing_begin("print diagram"), 0);
    printing_end();

    // Pressed before any printer is selected.
    PrintDialogAnswer early{PrintDialogReply(GTK_RESPONSE_OK).without_waiting()};
    EXPECT_EQ(print_requester(), 0);
    EXPECT_TRUE(early.answered());
    EXPECT_TRUE(early.view().printer.empty());
    EXPECT_EQ(printer_page_height(), 0);
    pump(200);
    EXPECT_FALSE(fs::exists(output()));
}

TEST_F(PrintingTest, ASecondDialogDropsTheFirstJob) {
    make_sheet(101);
    PrintDialogAnswer first{PrintDialogReply(GTK_RESPONSE_OK)};
    ASSERT_EQ(print_requester(), 1);
    ASSERT_EQ(printing_begin("first"), 1);
    ASSERT_NE(drawing_begin(printer_target()), 0);
    draw_box(0, 0, 100, 100, 0);

    PrintDialogAnswer second{PrintDialogReply(GTK_RESPONSE_OK).on_paper("na_letter")};
    ASSERT_EQ(print_requester(), 1);
    // The first job's session and document went with it, unprinted.
    draw_box(0, 0, 100, 100, 0);
    EXPECT_FALSE(fs::exists(output()));
    EXPECT_EQ(printer_page_width(), 612);
    print_stretched(101);
    PdfInfo info = pdf_info(output());
    EXPECT_EQ(info.pages, 1);
    EXPECT_EQ(info.width, 612);
    GdkPixbuf* page = render_pdf_page(output(), scratch_.path().string());
    expect_sheet(page, 612, 792);
    if (page) g_object_unref(page);
}

TEST_F(PrintingTest, PreviewShowsThePageAndPrintsNothing) {
    make_sheet(101);
    PrintDialogAnswer preview{PrintDialogReply(GTK_RESPONSE_APPLY)};
    ASSERT_EQ(print_requester(), 2);
    ASSERT_TRUE(preview.answered());
    EXPECT_EQ(printer_page_width(), 595);
    print_stretched(101);
    pump(300);
    EXPECT_FALSE(fs::exists(output()));
    EXPECT_EQ(image_width(101), 1180);

    // The previewer was handed a complete PDF of the page.
    std::string shown = scratch_.file("preview.pdf");
    ASSERT_TRUE(wait_for_file(shown));
    PdfInfo info = pdf_info(shown);
    EXPECT_EQ(info.pages, 1);
    EXPECT_NEAR(info.width, 595.28, 0.1);
    GdkPixbuf* page = render_pdf_page(shown, scratch_.path().string());
    expect_sheet(page, 595, 841);
    if (page) g_object_unref(page);
    EXPECT_EQ(toplevel_titled("print diagram"), nullptr);
}

TEST_F(PrintingTest, PreviewWithoutAPreviewerOpensAWindow) {
    set_preview_command(scratch_.file("no-such-previewer") + " %f");
    make_sheet(101);
    // Preview needs no printer.
    PrintDialogAnswer preview{PrintDialogReply(GTK_RESPONSE_APPLY).without_waiting()};
    ASSERT_EQ(print_requester(), 2);
    testing::internal::CaptureStderr();
    print_stretched(101);
    std::string errors = testing::internal::GetCapturedStderr();
    EXPECT_NE(errors.find("printing: the previewer cannot be started"), std::string::npos) << errors;

    GtkWidget* window = toplevel_titled("print diagram");
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(wait_mapped(window));
    pump(100);
    EXPECT_FALSE(fs::exists(output()));

    // It shows the page: read the window back.
    GdkWindow* gdk_window = gtk_widget_get_window(window);
    int w = 0, h = 0;
    gdk_drawable_get_size(gdk_window, &w, &h);
    GdkPixbuf* shot = gdk_pixbuf_get_from_drawable(nullptr, gdk_window, nullptr, 0, 0, 0, 0, w, h);
    ASSERT_NE(shot, nullptr);
    int coloured = 0;
    for (int y = 0; y < h; y += 2) {
        for (int x = 0; x < w; x += 2) coloured += near(pixel_at(shot, x, y), colours[0], 8);
    }
    g_object_unref(shot);
    EXPECT_GT(coloured, 100);

    // The toolkit's end closes it.
    toolkit_shutdown();
    EXPECT_EQ(toplevel_titled("print diagram"), nullptr);
    ASSERT_EQ(toolkit_init(), 1);
}

// Boxes, pictures and text at their places on the page, in points.
TEST_F(PrintingTest, PrinterTargetGeometry) {
    ASSERT_NE(font_load(0, "", 15), 0);
    ASSERT_NE(image_create(5, 20, 10), 0);
    fill(image_handle(5), 0, 0, 20, 10, {255, 0, 0});

    PrintDialogAnswer answer{PrintDialogReply(GTK_RESPONSE_OK)};
    ASSERT_EQ(print_requester(), 1);
    ASSERT_EQ(printing_begin("geometry"), 1);
    DrawTarget target = printer_target();
    ASSERT_NE(target, nullptr);
    EXPECT_EQ(target->width, 595);
    EXPECT_EQ(target->height, 841);
    ASSERT_NE(drawing_begin(target), 0);
    draw_box(100, 100, 50, 30, 0);
    draw_box(250, 150, -50, -20, colour_rgb(0, 0, 255));  // 200..250 x 130..150
    drawing_mode(Outline);
    draw_box(300, 100, 60, 40, colour_rgb(0, 0, 255));
    draw_image(image_handle(5), 100, 300);  // Outline has no effect on pictures
    drawing_mode(0);
    drawing_font(font_handle(0));
    int width = text_width("Hg");
    EXPECT_GT(width, 5);
    EXPECT_EQ(draw_text(100, 400, "Hg", 0, colour_rgb(0, 255, 0)), 100 + width);
    drawing_mode(TextNoBackground);
    EXPECT_EQ(draw_text(300, 400, "Hg", 0, colour_rgb(0, 255, 0)), 300 + width);
    EXPECT_EQ(draw_text(300, 500, "", 0, colour_rgb(0, 255, 0)), 300);
    // The session carries on onto the next page.
    printer_new_page();
    draw_box(10, 10, 20, 20, colour_rgb(255, 0, 0));
    drawing_end();
    printing_end();

    PdfInfo info = pdf_info(output());
    ASSERT_EQ(info.pages, 2);
    GdkPixbuf* page = render_pdf_page(output(), scratch_.path().string());
    ASSERT_NE(page, nullptr);
    constexpr Rgb black{0, 0, 0}, blue{0, 0, 255}, red{255, 0, 0}, green{0, 255, 0};
    // The filled box spans x to x + width.
    EXPECT_TRUE(region_is(page, 100, 100, 50, 30, black, 4));
    EXPECT_EQ(pixel_at(page, 99, 115), white);
    EXPECT_EQ(pixel_at(page, 150, 115), white);
    EXPECT_EQ(pixel_at(page, 125, 99), white);
    EXPECT_EQ(pixel_at(page, 125, 130), white);
    EXPECT_TRUE(region_is(page, 200, 130, 50, 20, blue, 4));
    EXPECT_EQ(pixel_at(page, 199, 140), white);
    EXPECT_EQ(pixel_at(page, 225, 150), white);
    // The outline: a line on the box's edges, the inside untouched.
    EXPECT_TRUE(region_is(page, 302, 102, 56, 36, white));
    for (auto [x, y] : {std::pair{299, 120}, {360, 120}, {330, 99}, {330, 140}}) {
        Rgb edge = pixel_at(page, x, y);
        Rgb inner = pixel_at(page, x + 1, y + 1);
        EXPECT_TRUE(edge.r < 200 || inner.r < 200) << x << "," << y;
    }
    // The picture at one pixel per point, its top-left corner at (x, y).
    EXPECT_TRUE(region_is(page, 100, 300, 20, 10, red, 4));
    EXPECT_EQ(pixel_at(page, 99, 305), white);
    // (The renderer smooths a picture's edge a little into the next pixel.)
    EXPECT_EQ(pixel_at(page, 121, 305), white);
    EXPECT_EQ(pixel_at(page, 110, 310), white);
    // Text: the back colour's box behind the glyphs, or no box at all.
    int boxed_green = 0, boxed_dark = 0, bare_green = 0, bare_dark = 0;
    for (int y = 400; y < 410; ++y) {
        for (int x = 0; x < width; ++x) {
            Rgb boxed = pixel_at(page, 100 + x, y), bare = pixel_at(page, 300 + x, y);
            boxed_green += boxed == green;
            boxed_dark += boxed.g < 100;
            bare_green += bare.g > bare.r + 50;
            bare_dark += bare.r < 100;
        }
    }
    EXPECT_GT(boxed_green, width * 2);
    EXPECT_GT(boxed_dark, 5);
    EXPECT_EQ(bare_green, 0);
    EXPECT_GT(bare_dark, 5);
    EXPECT_EQ(pixel_at(page, 100 + width + 1, 402), white);
    g_object_unref(page);

    GdkPixbuf* second = render_pdf_page(output(), scratch_.path().string(), 2);
    ASSERT_NE(second, nullptr);
    EXPECT_TRUE(region_is(second, 10, 10, 20, 20, red, 4));
    EXPECT_EQ(pixel_at(second, 100, 100), white);
    g_object_unref(second);
}

// A landscape page is wider than high; the paper still goes through the
// printer upright, with the page turned on it.
TEST_F(PrintingTest, LandscapePageTurnedOntoThePaper) {
    PrintDialogAnswer answer{PrintDialogReply(GTK_RESPONSE_OK).on_paper("iso_a4", GTK_PAGE_ORIENTATION_LANDSCAPE)};
    ASSERT_EQ(print_requester(), 1);
    EXPECT_EQ(printer_page_width(), 841);
    EXPECT_EQ(printer_page_height(), 595);
    ASSERT_EQ(printing_begin("landscape"), 1);
    ASSERT_NE(drawing_begin(printer_target()), 0);
    draw_box(0, 0, 100, 50, 0);  // the page's top-left corner
    drawing_end();
    printing_end();

    GdkPixbuf* paper = render_pdf_page(output(), scratch_.path().string());
    ASSERT_NE(paper, nullptr);
    int w = gdk_pixbuf_get_width(paper), h = gdk_pixbuf_get_height(paper);
    ASSERT_LT(w, h);
    // The page is turned a quarter anticlockwise: its top edge runs up the
    // paper's left side, its top-left corner at the paper's bottom-left.
    EXPECT_TRUE(region_is(paper, 1, h - 99, 48, 98, {0, 0, 0}, 4));
    EXPECT_EQ(pixel_at(paper, 60, h - 50), white);
    EXPECT_EQ(pixel_at(paper, 20, h - 110), white);
    g_object_unref(paper);
}

TEST_F(PrintingTest, AFailureOfThePrintSystemIsReported) {
    ScopedEnv gone("HOME", home_.file("no-such-folder"));
    PrintDialogAnswer answer{PrintDialogReply(GTK_RESPONSE_OK)};
    ASSERT_EQ(print_requester(), 1);
    testing::internal::CaptureStderr();
    print_stretched(0);
    std::string errors = testing::internal::GetCapturedStderr();
    EXPECT_NE(errors.find("printing: "), std::string::npos) << errors;
    EXPECT_FALSE(fs::exists(home_.file("no-such-folder")));
    EXPECT_EQ(printer_page_width(), 0);
}

}  // namespace
