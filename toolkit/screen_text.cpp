// Text on pictures as the screen draws it.
#include <gdk/gdk.h>

#include <memory>

#include "pictures/drawing.h"
#include "toolkit/internal.h"

namespace {

struct FontOptionsFree {
    void operator()(cairo_font_options_t* options) const { cairo_font_options_destroy(options); }
};
using FontOptions = std::unique_ptr<cairo_font_options_t, FontOptionsFree>;

// X resources are read once per display, so they are asked for once per screen.
GdkScreen* root_options_screen = nullptr;
FontOptions root_options;
// What the last session was handed; valid until the next.
FontOptions session_options;

}  // namespace

namespace tk {

bool screen_text_settings(::TextSettings& settings) {
    GdkScreen* screen = gdk_screen_get_default();
    if (!screen) return false;
    if (screen != root_options_screen || !root_options) {
        cairo_t* cr = gdk_cairo_create(gdk_screen_get_root_window(screen));
        root_options.reset(cairo_font_options_create());
        cairo_surface_get_font_options(cairo_get_target(cr), root_options.get());
        cairo_destroy(cr);
        root_options_screen = screen;
    }
    session_options.reset(cairo_font_options_copy(root_options.get()));
    if (const cairo_font_options_t* own = gdk_screen_get_font_options(screen))
        cairo_font_options_merge(session_options.get(), own);
    settings.options = session_options.get();
    settings.resolution = gdk_screen_get_resolution(screen);
    return true;
}

}  // namespace tk
