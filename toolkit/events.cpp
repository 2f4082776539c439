#include "toolkit/events.h"

#include <gtk/gtk.h>
#include <sys/time.h>

#include <algorithm>
#include <ctime>
#include <deque>

#include "toolkit/internal.h"

namespace {

std::deque<QueuedEvent> queue;
QueuedEvent current;
int posting_off = 0;

bool take_next() {
    if (queue.empty()) return false;
    current = queue.front();
    queue.pop_front();
    return true;
}

long elapsed_ms(const timeval& start) {
    timeval now;
    gettimeofday(&now, nullptr);
    return (now.tv_sec - start.tv_sec) * 1000L + (now.tv_usec - start.tv_usec) / 1000L;
}

}  // namespace

void event_post(EventKind kind, ObjectId gadget, ObjectId window, int type) {
    if (posting_off > 0) return;
    if (!queue.empty()) {
        const QueuedEvent& newest = queue.back();
        // A burst of identical events costs one queue entry.
        if (newest.kind == kind && newest.gadget == gadget && newest.window == window && newest.type == type) return;
    }
    queue.push_back({kind, gadget, window, type});
}

QueuedEvent event_peek() { return queue.empty() ? QueuedEvent{} : queue.front(); }

void event_posting_off() { ++posting_off; }
void event_posting_on() {
    if (posting_off > 0) --posting_off;
}

EventKind event_wait() { return event_wait_timeout(-1); }

EventKind event_wait_timeout(int milliseconds) {
    current = QueuedEvent{};
    if (take_next()) return current.kind;
    bool iterated = false;
    if (milliseconds < 0) {
        gtk_main_iteration();
        iterated = true;
    } else if (milliseconds == 0) {
        if (gtk_events_pending()) {
            gtk_main_iteration_do(FALSE);
            iterated = true;
        }
    } else {
        timeval start;
        gettimeofday(&start, nullptr);
        const timespec pause{0, 2000000};
        while (!gtk_events_pending()) {
            nanosleep(&pause, nullptr);
            if (elapsed_ms(start) > milliseconds) break;
        }
        if (gtk_events_pending()) {
            gtk_main_iteration_do(FALSE);
            iterated = true;
        }
    }
    if (take_next()) return current.kind;
    return iterated ? NothingToReport : NoEvent;
}

ObjectId event_gadget() { return current.gadget; }
ObjectId event_window() { return current.window; }
int event_type() { return current.type; }

namespace tk {

void events_init() {
    queue.clear();
    current = QueuedEvent{};
    posting_off = 0;
}

void events_drop_window(ObjectId window) {
    std::erase_if(queue, [window](const QueuedEvent& event) { return event.window == window; });
}

std::size_t events_queued() { return queue.size(); }

}  // namespace tk
