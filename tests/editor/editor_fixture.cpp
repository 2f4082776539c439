#include "tests/editor/editor_fixture.h"

#include <gtk/gtk.h>

#include <algorithm>
#include <filesystem>
#include <ostream>

// After the toolkit: X11's headers define None, a name the toolkit uses.
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <gdk/gdkx.h>

namespace fs = std::filesystem;

Rgb piece_colour(int n) {
    static const int level[] = {40, 100, 160, 220};
    return {level[n % 4], level[(n / 4) % 4], level[(n / 16) % 4]};
}

void piece_size(int n, int s, int& width, int& height) {
    width = height = s;
    if (n == horizontal_frame) {
        width = 9 * s;
        height = s / 2;
    } else if (n == vertical_frame) {
        width = s / 2;
        height = 8 * s;
    }
}

void write_piece_set(const std::string& folder, int s, bool jpeg) {
    for (int n = 1; n <= piece_set_size; ++n) {
        int width, height;
        piece_size(n, s, width, height);
        const ObjectId id = 200 + n;
        image_create(id, width, height);
        drawing_begin(image_target(id));
        Rgb c = piece_colour(n);
        draw_box(0, 0, width, height, colour_rgb(c.r, c.g, c.b));
        drawing_end();
        image_save(id, folder + number_text(n) + ".jpg", jpeg ? FormatJPEG : FormatBMP);
        image_free(id);
    }
}

EditorTest::~EditorTest() {
    if (started) toolkit_shutdown();
}

void EditorTest::prepare(int s, Folders folders) {
    if (folders.data) fs::create_directory(dir.path() / "DATA");
    if (folders.save) fs::create_directory(dir.path() / "SAVE");
    if (folders.temp) fs::create_directory(dir.path() / "TEMP");
    if (folders.data) {
        ASSERT_TRUE(toolkit_init());
        register_jpeg_encoder();
        write_piece_set(dir.folder() + "DATA/", s);
        toolkit_shutdown();
        if (folders.missing) fs::remove(dir.path() / "DATA" / (number_text(folders.missing) + ".jpg"));
    }
    fs::current_path(dir.path());
}

void EditorTest::start(int s) {
    prepare(s);
    ASSERT_TRUE(start_editor(0, nullptr));
    started = true;
    ASSERT_TRUE(wait_mapped(GTK_WIDGET(tk::window_gtk(board_window))));
    pump(50);
    run_turns();
}

bool EditorTest::run_turns() {
    pump(20);
    while (!loop_ended && tk::events_queued() > 0) {
        if (!main_loop_turn()) loop_ended = true;
        pump();
    }
    return !loop_ended;
}

bool EditorTest::run_turns_through(ObjectId g) {
    pump(20);
    while (!loop_ended && tk::events_queued() > 0) {
        if (!main_loop_turn()) loop_ended = true;
        if (event_window() != -1 && event_gadget() == g) return true;
        pump();
    }
    return false;
}

void EditorTest::click(ObjectId g, int button) {
    click_widget(tk::gadget_outer_widget(g), button);
    run_turns();
}

void EditorTest::press_ctrl(char key, bool shift) {
    Display* d = GDK_DISPLAY_XDISPLAY(gdk_display_get_default());
    const KeyCode ctrl = XKeysymToKeycode(d, XK_Control_L), shift_key = XKeysymToKeycode(d, XK_Shift_L);
    const KeyCode k = XKeysymToKeycode(d, static_cast<KeySym>(key));
    XTestFakeKeyEvent(d, ctrl, True, CurrentTime);
    if (shift) XTestFakeKeyEvent(d, shift_key, True, CurrentTime);
    XTestFakeKeyEvent(d, k, True, CurrentTime);
    XTestFakeKeyEvent(d, k, False, CurrentTime);
    if (shift) XTestFakeKeyEvent(d, shift_key, False, CurrentTime);
    XTestFakeKeyEvent(d, ctrl, False, CurrentTime);
    XFlush(d);
    pump(60);
}

void EditorTest::next_event() {
    event_post(Repaint, 0, board_window, 0);
    ASSERT_TRUE(main_loop_turn());
}

GtkWidget* EditorTest::widget(ObjectId g) const { return tk::gadget_widget(g); }

std::ostream& operator<<(std::ostream& out, const Placement& p) {
    return out << "(" << p.x << ", " << p.y << ", " << p.width << " x " << p.height << ")";
}

Placement placement(ObjectId g) {
    GtkAllocation a;
    gtk_widget_get_allocation(tk::gadget_outer_widget(g), &a);
    return {a.x, a.y, a.width, a.height};
}

std::vector<std::string> folder_listing(const std::string& folder) {
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(folder, error)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}
