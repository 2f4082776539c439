// The composer's test fixture: its real start-up and window, single turns
// of its event loop, the cells it should fill, for the in-process tests of
// both variants (EXPECTED_CELLS says which one a binary holds).
#pragma once

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

namespace composer_test {

using namespace composer;
namespace fs = std::filesystem;

struct Variant {
    int columns, rows, margin, cell_width, cell_height;
    std::vector<int> column_x, row_y;  // cell corners of cell-sized pictures
};

#if EXPECTED_CELLS == 12
inline const Variant expected{3, 4, 30, 360, 377, {30, 410, 790}, {30, 427, 824, 1221}};
#elif EXPECTED_CELLS == 6
inline const Variant expected{2, 3, 40, 540, 502, {40, 600}, {40, 562, 1084}};
#else
#error "EXPECTED_CELLS must be 12 or 6"
#endif

inline const Rgb white{255, 255, 255};
// JPEG keeps flat colours within a few levels.
constexpr int jpeg_tolerance = 12;

inline const Rgb palette[] = {{200, 30, 30},  {30, 160, 40},  {40, 60, 200},  {220, 180, 20},
                       {150, 40, 160}, {20, 170, 170}, {240, 120, 30}, {90, 90, 90},
                       {120, 200, 90}, {200, 90, 140}, {60, 30, 110},  {10, 10, 10}};

inline Colour colour_of(Rgb c) { return colour_rgb(c.r, c.g, c.b); }

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
inline double mean_difference(ImageHandle a, ImageHandle b) {
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

inline GtkAllocation allocation(GtkWidget* widget) {
    GtkAllocation a;
    gtk_widget_get_allocation(widget, &a);
    return a;
}

// Where the widget lies in its window's client area.
inline void place_in_window(GtkWidget* widget, int& x, int& y) {
    x = y = -1;
    gtk_widget_translate_coordinates(widget, gtk_widget_get_toplevel(widget), 0, 0, &x, &y);
}


}  // namespace composer_test
