#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <chrono>

#include "tests/support/gtk_input.h"
#include "toolkit/toolkit.h"

namespace {

class Events : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(toolkit_init(), 1);
        ASSERT_NE(window_open(0, 1, 1, 400, 300, "events", 96), 0);
        ASSERT_TRUE(wait_mapped(GTK_WIDGET(tk::window_gtk(0))));
        pump(50);
        drain_events();
    }
    void TearDown() override { toolkit_shutdown(); }
};

TEST_F(Events, NoCurrentEventReadsAsNone) {
    drain_events();
    EXPECT_EQ(event_wait_timeout(0), NoEvent);
    EXPECT_EQ(event_gadget(), 0);
    EXPECT_EQ(event_window(), -1);
    EXPECT_EQ(event_type(), 0);
}

TEST_F(Events, IdenticalConsecutiveEventsCollapse) {
    event_post(Gadget, 5, 0, 0);
    event_post(Gadget, 5, 0, 0);
    EXPECT_EQ(tk::events_queued(), 1u);
    event_post(Gadget, 6, 0, 0);
    event_post(Gadget, 5, 0, 0);
    EXPECT_EQ(tk::events_queued(), 3u) << "with another event between them, both stay";
    event_post(Gadget, 5, 0, 1);
    EXPECT_EQ(tk::events_queued(), 4u) << "another type is another event";

    EXPECT_EQ(event_wait(), Gadget);
    EXPECT_EQ(event_gadget(), 5);
    EXPECT_EQ(event_window(), 0);
    EXPECT_EQ(event_peek().gadget, 6);
}

TEST_F(Events, PostingCanBeSwitchedOffAndOnInPairs) {
    event_posting_off();
    event_posting_off();
    event_post(Gadget, 1, 0, 0);
    event_posting_on();
    event_post(Gadget, 2, 0, 0);
    EXPECT_EQ(tk::events_queued(), 0u);
    event_posting_on();
    event_post(Gadget, 3, 0, 0);
    ASSERT_EQ(event_wait_timeout(0), Gadget);
    EXPECT_EQ(event_gadget(), 3);
}

TEST_F(Events, TimedWaitsReturnNothingAfterTheirTime) {
    drain_events();
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(event_wait_timeout(0), NoEvent);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(40));

    start = std::chrono::steady_clock::now();
    EventKind kind = event_wait_timeout(50);
    auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(kind, NoEvent);
    EXPECT_GE(waited, std::chrono::milliseconds(50));
}

TEST_F(Events, CloseRequestQueuesCloseWindowAndKeepsTheWindow) {
    request_close(0);
    ASSERT_EQ(event_wait_timeout(0), CloseWindow);
    EXPECT_EQ(event_window(), 0);
    EXPECT_EQ(event_gadget(), 0);
    EXPECT_NE(tk::window_gtk(0), nullptr);
}

TEST_F(Events, ClosingAWindowDropsItsQueuedEventsAndGadgets) {
    ASSERT_NE(window_open(1, 1, 1, 200, 100, "second", 96), 0);
    ASSERT_NE(button_gadget(7, 10, 10, 80, 25, "OK"), 0);
    pump(50);
    drain_events();
    event_post(Gadget, 7, 1, 0);
    event_post(Gadget, 3, 0, 0);
    event_post(Repaint, 0, 1, 0);
    window_close(1);
    EXPECT_EQ(tk::window_gtk(1), nullptr);
    EXPECT_EQ(tk::gadget_widget(7), nullptr);
    EXPECT_EQ(gadget_text(7), "");
    ASSERT_EQ(event_wait_timeout(0), Gadget);
    EXPECT_EQ(event_window(), 0);
    EXPECT_EQ(event_gadget(), 3);
    // What window 0 reported meanwhile (a repaint, the focus) may follow;
    // nothing of window 1 does.
    for (EventKind kind; (kind = event_wait_timeout(0)) != NoEvent;) EXPECT_NE(event_window(), 1) << kind;
}

TEST_F(Events, WindowChangesReportMovesAndFocus) {
    GtkWindow* window = tk::window_gtk(0);
    gtk_window_move(window, 37, 41);
    pump(150);
    bool moved = false;
    for (EventKind kind; (kind = event_wait_timeout(0)) != NoEvent;) moved |= kind == Moved;
    EXPECT_TRUE(moved);

    focus_widget(tk::window_container(0));
    unfocus_all();
    bool activated = false, deactivated = false;
    for (EventKind kind; (kind = event_wait_timeout(0)) != NoEvent;) {
        activated |= kind == Activated;
        deactivated |= kind == Deactivated;
    }
    EXPECT_TRUE(activated);
    EXPECT_TRUE(deactivated);
}

}  // namespace
