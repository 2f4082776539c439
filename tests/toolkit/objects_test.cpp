#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <vector>

#include "tests/support/gtk_input.h"
#include "toolkit/toolkit.h"

namespace {

struct Probe {
    int value = 0;
    bool exists() const { return value != 0; }
};

std::vector<ObjectId> released;
void release_probe(ObjectId id, Probe& probe) {
    released.push_back(id);
    probe.value = 0;
}

TEST(ObjectTable, GrowsToIdPlusSixteenAndReleasesOldObjectOnReuse) {
    released.clear();
    ObjectTable<Probe> table(release_probe);
    EXPECT_EQ(table.array_size(), 16u);
    ObjectId id = 40;
    table.acquire(id)->value = 1;
    EXPECT_EQ(table.array_size(), 56u);
    EXPECT_EQ(table.find(40)->value, 1);
    EXPECT_EQ(table.find(39), nullptr);
    EXPECT_EQ(table.find(1000), nullptr);

    Probe* again = table.acquire(id);
    EXPECT_EQ(released, std::vector<ObjectId>{40});
    EXPECT_EQ(again->value, 0) << "a reused record starts empty";
}

TEST(ObjectTable, GeneratedIdsAreRecordAddressesReleasedAfterTheArray) {
    released.clear();
    ObjectTable<Probe> table(release_probe);
    ObjectId a = -1, b = -1, five = 5, two = 2;
    table.acquire(a)->value = 1;
    table.acquire(five)->value = 1;
    table.acquire(b)->value = 1;
    table.acquire(two)->value = 1;
    EXPECT_NE(a, -1);
    EXPECT_NE(a, b);
    EXPECT_GT(a, ObjectTable<Probe>::largest_array_id);
    EXPECT_EQ(table.find(a)->value, 1);
    table.release_all();
    EXPECT_EQ(released, (std::vector<ObjectId>{2, 5, a, b}));
    EXPECT_EQ(table.find(a), nullptr);
}

TEST(ObjectTable, RefusesIdsThatCannotIndexTheArray) {
    ObjectTable<Probe> table(release_probe);
    ObjectId negative = -2, huge = ObjectId{1} << 40;
    EXPECT_EQ(table.acquire(negative), nullptr);
    EXPECT_EQ(table.acquire(huge), nullptr);
    EXPECT_EQ(table.array_size(), 16u);
    ObjectId id = 3;
    table.acquire(id)->value = 1;
    table.remove(3);
    EXPECT_EQ(table.find(3), nullptr);
}

class Toolkit : public testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(toolkit_init(), 1); }
    void TearDown() override { toolkit_shutdown(); }
};

TEST_F(Toolkit, WindowWithFlags96HasExactClientAreaAndFixedSize) {
    std::intptr_t result = window_open(0, 1, 1, 800, 620, "Chess diagram", 96);
    ASSERT_NE(result, 0);
    GtkWindow* window = tk::window_gtk(0);
    ASSERT_EQ(reinterpret_cast<std::intptr_t>(window), result);
    ASSERT_TRUE(wait_mapped(GTK_WIDGET(window)));
    pump(100);
    GtkWidget* container = tk::window_container(0);
    GtkAllocation area;
    gtk_widget_get_allocation(container, &area);
    EXPECT_EQ(area.width, 800);
    EXPECT_EQ(area.height, 620);
    EXPECT_FALSE(gtk_window_get_resizable(window));
    GtkWindowPosition placement;
    g_object_get(window, "window-position", &placement, nullptr);
    EXPECT_EQ(placement, GTK_WIN_POS_CENTER);
    EXPECT_STREQ(gtk_window_get_title(window), "Chess diagram");
    GdkWMDecoration decorations;
    ASSERT_TRUE(gdk_window_get_decorations(gtk_widget_get_window(GTK_WIDGET(window)), &decorations));
    EXPECT_TRUE(decorations & GDK_DECOR_MINIMIZE);
    EXPECT_FALSE(decorations & (GDK_DECOR_MAXIMIZE | GDK_DECOR_RESIZEH));
}

TEST_F(Toolkit, WindowFlagsChooseResizingDecorationsAndVisibility) {
    ASSERT_NE(window_open(1, 10, 10, 300, 200, "resizable", WindowMaximiseButton), 0);
    GtkWindow* resizable = tk::window_gtk(1);
    EXPECT_TRUE(gtk_window_get_resizable(resizable));
    GdkWMDecoration decorations;
    gdk_window_get_decorations(gtk_widget_get_window(GTK_WIDGET(resizable)), &decorations);
    EXPECT_TRUE(decorations & GDK_DECOR_MAXIMIZE);
    EXPECT_TRUE(decorations & GDK_DECOR_RESIZEH);

    ASSERT_NE(window_open(2, 10, 10, 300, 200, "hidden", WindowHidden | WindowNoDecorations), 0);
    EXPECT_FALSE(gtk_widget_get_visible(GTK_WIDGET(tk::window_gtk(2))));
    gdk_window_get_decorations(gtk_widget_get_window(GTK_WIDGET(tk::window_gtk(2))), &decorations);
    EXPECT_EQ(decorations, 0);

    ASSERT_NE(window_open(3, 10, 10, 300, 200, "utility", WindowUtility | WindowMinimiseButton), 0);
    EXPECT_EQ(gtk_window_get_type_hint(tk::window_gtk(3)), GDK_WINDOW_TYPE_HINT_UTILITY);
    gdk_window_get_decorations(gtk_widget_get_window(GTK_WIDGET(tk::window_gtk(3))), &decorations);
    EXPECT_FALSE(decorations & GDK_DECOR_MINIMIZE) << "utility windows drop the minimise button";
}

TEST_F(Toolkit, GeneratedWindowIdAndReopeningAnIdClosesTheOldWindow) {
    std::intptr_t id = window_open(-1, 0, 0, 100, 100, "", 96);
    ASSERT_NE(id, 0);
    EXPECT_NE(tk::window_gtk(id), nullptr);

    ASSERT_NE(window_open(1, 0, 0, 100, 100, "first", 96), 0);
    GtkWidget* first = GTK_WIDGET(tk::window_gtk(1));
    g_object_add_weak_pointer(G_OBJECT(first), reinterpret_cast<gpointer*>(&first));
    ASSERT_NE(window_open(1, 0, 0, 100, 100, "second", 96), 0);
    EXPECT_EQ(first, nullptr) << "the first window 1 is destroyed";
    EXPECT_STREQ(gtk_window_get_title(tk::window_gtk(1)), "second");
    window_close(1);
    EXPECT_EQ(tk::window_gtk(1), nullptr);
    window_close(1);  // nothing left to close
}

TEST_F(Toolkit, FontsCarrySizeAndStyle) {
    std::intptr_t font = font_load(0, "", 15);
    ASSERT_NE(font, 0);
    FontHandle handle = font_handle(0);
    EXPECT_EQ(reinterpret_cast<std::intptr_t>(handle), font);
    EXPECT_EQ(pango_font_description_get_size(handle), 15 * PANGO_SCALE);
    EXPECT_EQ(pango_font_description_get_set_fields(handle) & PANGO_FONT_MASK_FAMILY, 0)
        << "an empty name leaves the default family";
    EXPECT_EQ(font_handle(1), nullptr);

    std::intptr_t id = font_load(-1, "Serif", 12, 3);
    ASSERT_NE(id, 0);
    FontHandle styled = font_handle(id);
    EXPECT_EQ(pango_font_description_get_weight(styled), PANGO_WEIGHT_BOLD);
    EXPECT_EQ(pango_font_description_get_style(styled), PANGO_STYLE_ITALIC);
    EXPECT_STREQ(pango_font_description_get_family(styled), "Serif");
}

}  // namespace
