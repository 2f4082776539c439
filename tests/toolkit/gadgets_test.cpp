#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <vector>

#include "tests/support/gtk_input.h"
#include "toolkit/toolkit.h"

namespace {

struct Seen {
    EventKind kind;
    ObjectId gadget;
    int type;
    bool operator==(const Seen&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Seen& s) {
    return out << "{" << s.kind << ", " << s.gadget << ", " << s.type << "}";
}

// The Gadget events now queued, in order.
std::vector<Seen> gadget_events() {
    pump(30);
    std::vector<Seen> seen;
    for (EventKind kind; (kind = event_wait_timeout(0)) != NoEvent;)
        if (kind == Gadget) seen.push_back({kind, event_gadget(), event_type()});
    return seen;
}

GdkPixbuf* solid(int width, int height) {
    GdkPixbuf* p = gdk_pixbuf_new(GDK_COLORSPACE_RGB, FALSE, 8, width, height);
    gdk_pixbuf_fill(p, 0x336699ff);
    return p;
}

GtkAllocation allocation(GtkWidget* widget) {
    GtkAllocation a;
    gtk_widget_get_allocation(widget, &a);
    return a;
}

class Gadgets : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(toolkit_init(), 1);
        picture = solid(60, 60);
        ASSERT_NE(window_open(0, 1, 1, 500, 400, "gadgets", 96), 0);
        ASSERT_TRUE(wait_mapped(GTK_WIDGET(tk::window_gtk(0))));
    }
    void TearDown() override {
        toolkit_shutdown();
        g_object_unref(picture);
    }
    void settle() {
        pump(80);
        gadget_events();
    }
    GdkPixbuf* picture = nullptr;
};

TEST_F(Gadgets, ImageGadgetTakesThePictureSizeOrTheGivenSize) {
    ASSERT_NE(image_gadget(1, 10, 10, 10, 10, picture), 0);
    ASSERT_NE(image_gadget(2, 100, 10, 10, 10, nullptr), 0);
    pump(80);
    GtkAllocation with_picture = allocation(tk::gadget_outer_widget(1));
    EXPECT_EQ(with_picture.width, 60);
    EXPECT_EQ(with_picture.height, 60);
    EXPECT_EQ(with_picture.x, 10);
    GtkAllocation empty = allocation(tk::gadget_outer_widget(2));
    EXPECT_EQ(empty.width, 10);
    EXPECT_EQ(empty.height, 10);

    gadget_set_state(2, picture);
    pump(80);
    EXPECT_EQ(allocation(tk::gadget_outer_widget(2)).width, 60);
    EXPECT_EQ(gadget_state(2), reinterpret_cast<std::intptr_t>(picture));
    gadget_set_state(2, 0);
    EXPECT_EQ(gadget_state(2), 0);
}

TEST_F(Gadgets, ImageGadgetClickRules) {
    ASSERT_NE(image_gadget(4, 50, 50, 60, 60, picture), 0);
    settle();
    GtkWidget* box = tk::gadget_outer_widget(4);

    click_widget(box, 1);
    EXPECT_EQ(gadget_events(), (std::vector<Seen>{{Gadget, 4, Click}}));
    EXPECT_EQ(event_window(), -1);

    click_widget(box, 3);
    EXPECT_EQ(gadget_events(), (std::vector<Seen>{{Gadget, 4, RightClick}}));

    click_widget(box, 2);
    EXPECT_TRUE(gadget_events().empty()) << "a middle click is ignored";

    pump(600);  // past the double-click time
    double_click_widget(box, 1);
    EXPECT_EQ(gadget_events(), (std::vector<Seen>{{Gadget, 4, Click}, {Gadget, 4, DoubleClick}}));

    pump(600);
    press_widget(box, 1, 5, 5);
    move_pointer(box, 10, 10);
    move_pointer(box, 40, 40);
    move_pointer(box, 45, 45);
    release_widget(box, 1, 45, 45);
    EXPECT_EQ(gadget_events(), (std::vector<Seen>{{Gadget, 4, DragStarted}, {Gadget, 4, Click}}))
        << "one drag event per press, then the click on release";
}

TEST_F(Gadgets, ClickEventsCarryTheWindowId) {
    ASSERT_NE(image_gadget(4, 50, 50, 60, 60, picture), 0);
    settle();
    click_widget(tk::gadget_outer_widget(4), 1);
    pump(30);
    EventKind kind;
    while ((kind = event_wait_timeout(0)) != NoEvent && kind != Gadget) {
    }
    ASSERT_EQ(kind, Gadget);
    EXPECT_EQ(event_window(), 0);
}

TEST_F(Gadgets, ButtonClickIsNotQueuedBehindACloseRequest) {
    ASSERT_NE(button_gadget(10, 20, 20, 120, 30, "Press"), 0);
    settle();
    GtkWidget* button = tk::gadget_widget(10);
    EXPECT_EQ(gadget_text(10), "Press");

    click_widget(button);
    EXPECT_EQ(gadget_events(), (std::vector<Seen>{{Gadget, 10, Click}}));

    request_close(0);
    click_widget(button);
    ASSERT_EQ(event_wait_timeout(0), CloseWindow);
    EXPECT_TRUE(gadget_events().empty());
}

TEST_F(Gadgets, ToggleButtonStateIsSetWithoutAnEvent) {
    ASSERT_NE(button_gadget(11, 20, 20, 120, 30, "Toggle", ButtonToggle), 0);
    ASSERT_NE(button_gadget(12, 20, 60, 120, 30, "Plain"), 0);
    settle();
    gadget_set_state(11, 1);
    EXPECT_EQ(gadget_state(11), 1);
    EXPECT_TRUE(gadget_events().empty());
    gadget_set_state(12, 1);
    EXPECT_EQ(gadget_state(12), 0) << "a plain button has no state";

    gadget_disable(12, 1);
    EXPECT_FALSE(gtk_widget_get_sensitive(tk::gadget_widget(12)));
    gadget_disable(12, 0);
    EXPECT_TRUE(gtk_widget_get_sensitive(tk::gadget_widget(12)));
}

TEST_F(Gadgets, StringGadgetEventsAndText) {
    ASSERT_NE(button_gadget(20, 10, 10, 100, 25, "Other"), 0);
    ASSERT_NE(string_gadget(21, 10, 50, 200, 25, "start"), 0);
    settle();
    EXPECT_EQ(gadget_text(21), "start");
    gadget_set_text(21, "set by program");
    EXPECT_TRUE(gadget_events().empty()) << "setting the text raises no event";

    focus_widget(tk::gadget_widget(21));
    EXPECT_EQ(active_gadget(), 21);
    std::vector<Seen> focus = gadget_events();
    ASSERT_FALSE(focus.empty());
    EXPECT_EQ(focus.back(), (Seen{Gadget, 21, FocusGained}));

    gadget_set_text(21, "");
    type_text(tk::gadget_widget(21), "Мат");
    EXPECT_EQ(gadget_text(21), "Мат");
    std::vector<Seen> typed = gadget_events();
    EXPECT_EQ(typed, (std::vector<Seen>{{Gadget, 21, TextChanged}})) << "identical change events collapse";

    gadget_activate(20);
    pump(30);
    EXPECT_EQ(active_gadget(), 20);
    EXPECT_EQ(gadget_events(), (std::vector<Seen>{{Gadget, 21, FocusLost}}));

    unfocus_all();
    EXPECT_EQ(active_gadget(), -1) << "no window of the program has the focus";
}

TEST_F(Gadgets, StringFiltersRewriteTypedText) {
    ASSERT_NE(string_gadget(30, 10, 10, 200, 25, "", StringUpperCase), 0);
    ASSERT_NE(string_gadget(31, 10, 40, 200, 25, "", StringDigits), 0);
    ASSERT_NE(string_gadget(32, 10, 70, 200, 25, "", StringHidden | StringReadOnly), 0);
    settle();
    focus_widget(tk::gadget_widget(30));
    type_text(tk::gadget_widget(30), "abc1");
    EXPECT_EQ(gadget_text(30), "ABC1");
    focus_widget(tk::gadget_widget(31));
    type_text(tk::gadget_widget(31), "a1b2");
    EXPECT_EQ(gadget_text(31), "12");
    GtkEntry* hidden = GTK_ENTRY(tk::gadget_widget(32));
    EXPECT_FALSE(gtk_entry_get_visibility(hidden));
    EXPECT_FALSE(gtk_editable_get_editable(GTK_EDITABLE(hidden)));
}

TEST_F(Gadgets, FontsApplyToLabelsAndFields) {
    ASSERT_NE(font_load(0, "", 15), 0);
    ASSERT_NE(button_gadget(40, 10, 10, 100, 25, "Label"), 0);
    ASSERT_NE(string_gadget(41, 10, 40, 200, 25, "field"), 0);
    gadget_set_font(41, font_handle(0));
    gadget_set_font(40, font_handle(0));
    PangoFontDescription* field = gtk_widget_get_style(tk::gadget_widget(41))->font_desc;
    EXPECT_EQ(pango_font_description_get_size(field), 15 * PANGO_SCALE);
    GtkWidget* label = gtk_bin_get_child(GTK_BIN(tk::gadget_widget(40)));
    EXPECT_EQ(pango_font_description_get_size(gtk_widget_get_style(label)->font_desc), 15 * PANGO_SCALE);

    gadget_set_font(-1, font_handle(0));
    ASSERT_NE(string_gadget(42, 10, 70, 200, 25, "default font"), 0);
    EXPECT_EQ(pango_font_description_get_size(gtk_widget_get_style(tk::gadget_widget(42))->font_desc),
              15 * PANGO_SCALE);
}

TEST_F(Gadgets, ScrollAreaBecomesTheGadgetList) {
    ASSERT_NE(scroll_area_gadget(199, 0, 0, 200, 150, 1180, 1628), 0);
    ASSERT_NE(image_gadget(200, 5, 5, 60, 60, picture), 0);
    settle();
    GtkWidget* box = tk::gadget_outer_widget(200);
    GtkWidget* scrolled = tk::gadget_widget(199);
    EXPECT_TRUE(gtk_widget_is_ancestor(box, scrolled));
    GtkAllocation a = allocation(box);
    EXPECT_EQ(a.x, 5);
    EXPECT_EQ(a.y, 5);

    GtkAdjustment* vertical = gtk_scrolled_window_get_vadjustment(GTK_SCROLLED_WINDOW(scrolled));
    gtk_adjustment_set_value(vertical, 100);
    gtk_adjustment_set_value(vertical, 200);
    EXPECT_EQ(gadget_events(), (std::vector<Seen>{{Gadget, 199, Click}})) << "one report while one waits";
}

TEST_F(Gadgets, CentredScrollAreaHoldsSmallContentInTheMiddle) {
    ASSERT_NE(scroll_area_gadget(199, 0, 0, 300, 200, 100, 60, 0, ScrollCentred), 0);
    ASSERT_NE(image_gadget(200, 0, 0, 60, 60, picture), 0);
    settle();
    GtkWidget* viewport = gtk_bin_get_child(GTK_BIN(tk::gadget_widget(199)));
    GtkWidget* box = tk::gadget_outer_widget(200);
    int x = 0, y = 0;
    ASSERT_TRUE(gtk_widget_translate_coordinates(box, viewport, 0, 0, &x, &y));
    GtkAllocation view = allocation(viewport);
    EXPECT_NEAR(x, (view.width - 100) / 2, 1);
    EXPECT_NEAR(y, (view.height - 60) / 2, 1);
}

TEST_F(Gadgets, GadgetListNestsAHundredScrollAreasAtMost) {
    for (int i = 0; i < 100; ++i) ASSERT_NE(scroll_area_gadget(300 + i, 0, 0, 50, 50, 40, 40), 0) << i;
    EXPECT_EQ(scroll_area_gadget(400, 0, 0, 50, 50, 40, 40), 0);
    EXPECT_EQ(tk::gadget_widget(400), nullptr);
    ASSERT_NE(window_open(1, 1, 1, 100, 100, "fresh list", 96), 0);
    EXPECT_NE(scroll_area_gadget(400, 0, 0, 50, 50, 40, 40), 0) << "a new window starts an empty stack";
}

TEST_F(Gadgets, ReusingAnIdDestroysTheOldGadget) {
    ASSERT_NE(button_gadget(50, 10, 10, 100, 25, "old"), 0);
    GtkWidget* old = tk::gadget_widget(50);
    g_object_add_weak_pointer(G_OBJECT(old), reinterpret_cast<gpointer*>(&old));
    ASSERT_NE(button_gadget(50, 10, 10, 100, 25, "new"), 0);
    EXPECT_EQ(old, nullptr);
    EXPECT_EQ(gadget_text(50), "new");

    std::intptr_t generated = button_gadget(-1, 10, 40, 100, 25, "free id");
    ASSERT_NE(generated, 0);
    EXPECT_EQ(gadget_text(generated), "free id");
}

TEST_F(Gadgets, OperationsOnMissingGadgetsDoNothing) {
    EXPECT_EQ(gadget_state(77), 0);
    EXPECT_EQ(gadget_text(77), "");
    EXPECT_EQ(gadget_activate(77), 1);
    gadget_set_text(77, "x");
    gadget_disable(77, 1);
    window_close(0);
    EXPECT_EQ(button_gadget(78, 0, 0, 10, 10, "no list"), 0) << "no gadget list after its window closed";
}

}  // namespace
