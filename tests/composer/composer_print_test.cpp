// The composer's sheet printed through the real print dialog to the print
// system's file printer, and the page read back.
#include "tests/composer/composer_fixture.h"

using namespace composer_test;

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
