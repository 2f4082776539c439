// The composer's sheet printed through the real print dialog to the print
// system's file printer, and the page read back.
#include "tests/composer/composer_fixture.h"

#include <fstream>
#include <sstream>

#include "core/diagram_record.h"
#include "core/fen.h"

using namespace composer_test;

namespace {

// The pictures pdfimages lists on page 1: "WIDTHxHEIGHT" each.
std::vector<std::string> pdf_images(const std::string& path) {
    std::string out;
    EXPECT_TRUE(run_program({"pdfimages", "-f", "1", "-l", "1", "-list", path}, out));
    std::vector<std::string> images;
    std::istringstream lines(out);
    std::string line;
    for (int n = 0; std::getline(lines, line); ++n) {
        int page = 0, number = 0, width = 0, height = 0;
        char type[32] = {};
        if (n >= 2 && std::sscanf(line.c_str(), "%d %d %31s %d %d", &page, &number, type, &width, &height) == 5)
            images.push_back(std::to_string(width) + "x" + std::to_string(height));
    }
    return images;
}

std::string pdf_text(const std::string& path) {
    std::string out;
    EXPECT_TRUE(run_program({"pdftotext", "-layout", path, "-"}, out));
    return out;
}

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

    // A diagram picture as the editor saves it: 9s x 9.5s pixels, flat colour
    // here so that the page shows whether its pixels were printed, with its
    // record naming the set that drew it ("" for a set without a mark).
    std::string record_picture(const std::string& name, const std::string& set, Rgb c,
                               const std::string& caption) {
        constexpr int s = 40;
        const std::string path = dir.file("SAVE/" + name + ".jpg");
        image_create(60, 9 * s, 9 * s + s / 2);
        drawing_begin(image_target(60));
        draw_box(0, 0, 9 * s, 10 * s, colour_of(c));
        drawing_end();
        chess::DiagramRecord record;
        record.position = chess::read_fen("4k3/8/8/8/8/8/8/4K2R w - - 0 1").position;
        record.position[chess::parse_square("b8")] = chess::Piece::Cross;
        record.caption = caption;
        record.square = s;
        record.set = set;
        EXPECT_EQ(image_set_comment(60, chess::write_diagram_record(record)), 1);
        EXPECT_EQ(image_save(60, path, FormatJPEG, 10), 1);
        image_free(60);
        return path;
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

// A picture of the suite's own set prints as the renderer's diagram (no
// picture in the PDF, its caption as text, its colour nowhere); one of
// another set prints its pixels, at its fitted size. The page and a sheet
// saved as .pdf are alike; a .jpg is the sheet's picture as before.
TEST_F(ComposerPrinting, DiagramsOfTheOwnSetPrintAndSaveAsVectors) {
    ASSERT_TRUE(add(record_picture("own", "book", palette[0], "Белые начинают и выигрывают")));
    ASSERT_TRUE(add(record_picture("foreign", "", palette[1], "Чужой набор")));
    int fitted_width = 0, fitted_height = 0;
    layout.fit(360, 380, fitted_width, fitted_height);
    const std::string foreign_image = std::to_string(fitted_width) + "x" + std::to_string(fitted_height);

    GdkPixbuf* page = print();
    ASSERT_NE(page, nullptr);
    const double scale = std::min(page_width / sheet_width, page_height / sheet_height);
    const double left = (page_width - sheet_width * scale) / 2, top = (page_height - sheet_height * scale) / 2;
    auto at_sheet = [&](int x, int y) {
        return pixel_at(page, static_cast<int>(left + x * scale), static_cast<int>(top + y * scale));
    };
    const int second_x = layout.picture_x(2, fitted_width);
    auto near = [](Rgb a, Rgb b) { return std::abs(a.r - b.r) + std::abs(a.g - b.g) + std::abs(a.b - b.b) <= 40; };
    EXPECT_TRUE(near(at_sheet(second_x + fitted_width / 2, margin + fitted_height / 2), palette[1]));
    int own_colour = 0;
    for (int y = margin; y < margin + fitted_height; y += 4)
        for (int x = margin; x < margin + fitted_width; x += 4) own_colour += near(at_sheet(x, y), palette[0]);
    EXPECT_EQ(own_colour, 0) << "the own set's picture printed its pixels";
    g_object_unref(page);
    EXPECT_EQ(pdf_images(output()), std::vector<std::string>{foreign_image});
    const std::string printed = pdf_text(output());
    EXPECT_NE(printed.find("Белые начинают и выигрывают"), std::string::npos) << printed;
    EXPECT_EQ(printed.find("Чужой набор"), std::string::npos) << printed;

    // The preview draws through the same path.
    print(GTK_RESPONSE_APPLY);
    const std::string shown = home.file("preview.pdf");
    for (int waited = 0; waited < 10000 && !(fs::exists(shown) && pdf_complete(shown)); waited += 20) pump(20);
    ASSERT_TRUE(pdf_complete(shown));
    EXPECT_EQ(pdf_images(shown), std::vector<std::string>{foreign_image});
    EXPECT_EQ(pdf_text(shown), printed);

    const std::string pdf = dir.file("sheet.pdf");
    FileDialogAnswer answer = answer_next_file_dialog(pdf);
    ASSERT_TRUE(click(save_button));
    ASSERT_TRUE(answer.answered());
    EXPECT_EQ(save_result, 1);
    ASSERT_TRUE(pdf_complete(pdf));
    const PdfInfo info = pdf_info(pdf);
    EXPECT_EQ(info.pages, 1);
    EXPECT_NEAR(info.width, 595.28, 0.1);
    EXPECT_NEAR(info.height, 841.89, 0.1);
    EXPECT_EQ(pdf_images(pdf), std::vector<std::string>{foreign_image});
    EXPECT_EQ(pdf_text(pdf), printed);

    const std::string jpg = dir.file("sheet.jpg");
    FileDialogAnswer again = answer_next_file_dialog(jpg);
    ASSERT_TRUE(click(save_button));
    ASSERT_TRUE(again.answered());
    ASSERT_EQ(image_save(sheet_image, dir.file("before.jpg"), FormatJPEG), 1);
    EXPECT_EQ(read_file(jpg), read_file(dir.file("before.jpg")));

    // Positions from a list are the renderer's always: with the own set's
    // picture beside them the page holds no picture at all.
    clear();
    ASSERT_TRUE(add(record_picture("own", "book", palette[0], "Белые начинают и выигрывают")));
    std::ofstream(dir.file("SAVE/list.fen")) << "8/8/8/4k3/8/8/4P3/4K3 w - - 0 1\n";
    ASSERT_TRUE(add(dir.file("SAVE/list.fen")));
    EXPECT_EQ(diagram_count, 2);
    FileDialogReply replace;
    replace.files = {pdf};
    replace.replace = {true};
    FileDialogAnswer third = answer_next_file_dialog(replace);
    ASSERT_TRUE(click(save_button));
    ASSERT_TRUE(third.answered());
    EXPECT_EQ(pdf_images(pdf), std::vector<std::string>{});
    EXPECT_NE(pdf_text(pdf).find("Белые начинают и выигрывают"), std::string::npos);
}
