// The sheet on a page, as printing, the preview and a saved PDF draw it:
// the program's cell drawings at their places and nowhere else, the other
// cells' own pixels, and the whole picture when no cell has a drawing.
#include <gtest/gtest.h>
#include <gdk-pixbuf/gdk-pixbuf.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "tests/support/pixels.h"
#include "tests/support/print_dialog.h"
#include "tests/support/temp_dir.h"
#include "toolkit/toolkit.h"

namespace {

// A 100 x 140 sheet: red, with a green picture at (10, 10) 40 x 50 and a
// blue one at (50, 70) 40 x 50.
GdkPixbuf* sample_sheet() {
    GdkPixbuf* sheet = gdk_pixbuf_new(GDK_COLORSPACE_RGB, FALSE, 8, 100, 140);
    gdk_pixbuf_fill(sheet, 0xFF0000FF);
    GdkPixbuf* part = gdk_pixbuf_new_subpixbuf(sheet, 10, 10, 40, 50);
    gdk_pixbuf_fill(part, 0x00FF00FF);
    g_object_unref(part);
    part = gdk_pixbuf_new_subpixbuf(sheet, 50, 70, 40, 50);
    gdk_pixbuf_fill(part, 0x0000FFFF);
    g_object_unref(part);
    return sheet;
}

// The page drawn on a white 200 x 300 picture: the sheet scaled by 2,
// 10 pixels down. The caller destroys it.
cairo_surface_t* drawn_page(GdkPixbuf* sheet, const std::vector<SheetCell>& cells) {
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, 200, 300);
    cairo_t* cr = cairo_create(surface);
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_paint(cr);
    draw_sheet_page(cr, 200, 300, sheet, cells);
    cairo_destroy(cr);
    cairo_surface_flush(surface);
    return surface;
}

// Every pixel of the part within tolerance of c.
bool region_is(cairo_surface_t* page, int x, int y, int width, int height, Rgb c, int tolerance = 0) {
    const unsigned char* data = cairo_image_surface_get_data(page);
    const int stride = cairo_image_surface_get_stride(page);
    for (int row = y; row < y + height; ++row) {
        for (int column = x; column < x + width; ++column) {
            const std::uint32_t p = reinterpret_cast<const std::uint32_t*>(data + row * stride)[column];
            const int r = p >> 16 & 0xFF, g = p >> 8 & 0xFF, b = p & 0xFF;
            if (std::abs(r - c.r) > tolerance || std::abs(g - c.g) > tolerance || std::abs(b - c.b) > tolerance)
                return false;
        }
    }
    return true;
}

const Rgb white{255, 255, 255}, red{255, 0, 0}, green{0, 255, 0}, blue{0, 0, 255}, black{0, 0, 0};

}  // namespace

TEST(SheetPage, CellDrawingsReplaceTheirPixelsAndTheRestIsPaper) {
    GdkPixbuf* sheet = sample_sheet();
    std::vector<SheetBox> seen;
    // The drawing paints everything it can: the clip keeps it in its box.
    auto paint_black = [&](cairo_t* cr, const SheetBox& box) {
        seen.push_back(box);
        cairo_set_source_rgb(cr, 0, 0, 0);
        cairo_paint(cr);
    };
    const std::vector<SheetCell> cells = {{{10, 10, 40, 50}, paint_black}, {{50, 70, 40, 50}, {}}};
    cairo_surface_t* page = drawn_page(sheet, cells);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].x, 10);
    EXPECT_EQ(seen[0].height, 50);
    EXPECT_TRUE(region_is(page, 22, 32, 76, 96, black));
    EXPECT_TRUE(region_is(page, 102, 152, 76, 96, blue, 2));
    // The sheet's red round the cells is not printed.
    EXPECT_TRUE(region_is(page, 0, 0, 200, 28, white));
    EXPECT_TRUE(region_is(page, 0, 130, 98, 20, white));
    EXPECT_TRUE(region_is(page, 0, 260, 200, 40, white));
    cairo_surface_destroy(page);

    // Without a drawing the sheet prints whole, as a picture.
    page = drawn_page(sheet, {{{10, 10, 40, 50}, {}}});
    EXPECT_TRUE(region_is(page, 2, 12, 196, 16, red, 2));
    EXPECT_TRUE(region_is(page, 22, 32, 76, 96, green, 2));
    EXPECT_TRUE(region_is(page, 0, 0, 200, 9, white));
    cairo_surface_destroy(page);
    g_object_unref(sheet);
}

TEST(SheetPage, SavedAsAnA4PdfWholeOrNotAtAll) {
    TempDir dir;
    GdkPixbuf* sheet = sample_sheet();
    auto text = [](cairo_t* cr, const SheetBox& box) {
        cairo_move_to(cr, box.x + 2, box.y + 20);
        cairo_set_font_size(cr, 8);
        cairo_show_text(cr, "cell");
    };
    const std::string path = dir.file("sheet.pdf");
    ASSERT_TRUE(write_sheet_pdf(path, sheet, {{{10, 10, 40, 50}, text}, {{50, 70, 40, 50}, {}}}));
    ASSERT_TRUE(pdf_complete(path));
    const PdfInfo info = pdf_info(path);
    EXPECT_EQ(info.pages, 1);
    EXPECT_NEAR(info.width, 595.28, 0.01);
    EXPECT_NEAR(info.height, 841.89, 0.01);
    std::string out;
    ASSERT_TRUE(run_program({"pdftotext", path, "-"}, out));
    EXPECT_NE(out.find("cell"), std::string::npos);
    int x_ppi = 0, y_ppi = 0;
    ASSERT_TRUE(pdf_image_resolution(path, x_ppi, y_ppi)) << "the blue cell's pixels";

    // A folder of that name cannot be replaced: nothing is written.
    const std::string folder = dir.file("folder.pdf");
    std::filesystem::create_directory(folder);
    EXPECT_FALSE(write_sheet_pdf(folder, sheet, {}));
    EXPECT_NE(last_failure().kind, FailureKind::None);
    EXPECT_TRUE(std::filesystem::is_directory(folder));
    g_object_unref(sheet);
}
