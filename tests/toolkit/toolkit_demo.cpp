// A program written against the toolkit's public header alone: a window with
// a button and an image gadget, reporting every Gadget event on standard
// output until the window is closed.
#include <cstdio>

#include "toolkit/toolkit.h"

int main(int argc, char** argv) {
    if (!toolkit_init(argc, argv)) {
        std::fprintf(stderr, "toolkit_demo: cannot open the display\n");
        return 1;
    }
    window_open(0, 1, 1, 800, 620, "toolkit demo", 96);
    button_gadget(1, 20, 20, 150, 30, "Нажми");
    image_create(5, 60, 60);
    image_gadget(2, 200, 20, 60, 60, image_handle(5));
    std::printf("ready\n");
    std::fflush(stdout);
    for (;;) {
        EventKind kind = event_wait();
        if (kind == CloseWindow) break;
        if (kind == Gadget) {
            std::printf("gadget %ld type %d\n", static_cast<long>(event_gadget()), event_type());
            std::fflush(stdout);
        }
    }
    toolkit_shutdown();
    std::printf("closed\n");
    return 0;
}
