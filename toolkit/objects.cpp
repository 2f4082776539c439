#include "toolkit/objects.h"

#include <gtk/gtk.h>

#include "toolkit/codecs.h"
#include "toolkit/drawing.h"
#include "toolkit/events.h"
#include "toolkit/gadgets.h"
#include "toolkit/printing.h"
#include "toolkit/requesters.h"

namespace {
bool gtk_started = false;
bool ready = false;
}  // namespace

int toolkit_init(int argc, char** argv) {
    if (!gtk_started) {
        if (!gtk_init_check(argv ? &argc : nullptr, argv ? &argv : nullptr)) return 0;
        gtk_started = true;
    }
    codec_init();
    register_bmp_decoder();
    image_init();
    tk::printer_init();
    tk::events_init();
    tk::gadgets_init();
    tk::requesters_init();
    ready = true;
    return 1;
}

void toolkit_shutdown() {
    if (!ready) return;
    tk::drawing_set_current(nullptr);
    tk::printer_shutdown();
    image_shutdown();
    tk::gadgets_shutdown();
    ready = false;
}

namespace tk {
bool toolkit_ready() { return ready; }
void process_pending() {
    while (gtk_events_pending()) gtk_main_iteration_do(FALSE);
}
}  // namespace tk
