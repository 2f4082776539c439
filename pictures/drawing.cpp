#include "pictures/drawing.h"

#include <pango/pango.h>

#include <string>

#include "core/text.h"
#include "pictures/internal.h"

// The drawing session: the current target, and the operations that keep its
// colour caches and mode and forward to it. What an image target does is in
// image_target.cpp, how it writes pixels in pixel_writers.cpp.

namespace {

DrawTarget current = nullptr;
bool begun = false;

// The current target once begun: what the drawing operations act on.
DrawTarget session() { return begun ? current : nullptr; }

void use_front_colour(DrawTarget target, Colour colour) {
    if (colour == target->front_colour) return;
    target->front_colour = colour;
    target->set_front_colour(colour);
}

void use_back_colour(DrawTarget target, Colour colour) {
    if (colour == target->back_colour) return;
    target->back_colour = colour;
    target->set_back_colour(colour);
}

}  // namespace

namespace tk {

void drawing_set_current(DrawTarget target) {
    if (target == current) return;
    DrawTarget old = current;
    bool was_begun = begun;
    current = nullptr;
    begun = false;
    if (old) {
        if (was_begun) old->end();
        delete old;
    }
    current = target;
}

DrawTarget drawing_current() { return current; }

Box normalised_box(int x, int y, int width, int height) {
    Box box{x, y, width, height};
    if (box.width < 0) {
        box.x += box.width;
        box.width = -box.width;
    }
    if (box.height < 0) {
        box.y += box.height;
        box.height = -box.height;
    }
    return box;
}

void layout_text_size(PangoLayout* layout, const std::string& text, int& width, int& height) {
    // Pango takes no NUL inside a text, nor anything but UTF-8.
    const std::string utf8 = chess::valid_utf8(text.c_str());
    // Setting the same text again would throw away the layout's shaping.
    const char* current_text = pango_layout_get_text(layout);
    if (!current_text || utf8 != current_text) pango_layout_set_text(layout, utf8.data(), static_cast<int>(utf8.size()));
    int w = 0, h = 0;
    pango_layout_get_size(layout, &w, &h);
    width = w / PANGO_SCALE;
    height = h / PANGO_SCALE;
}

}  // namespace tk

// Only the current target can begin: any other (null, or one already
// replaced and freed) gives 0 and leaves no session.
int drawing_begin(DrawTarget target) {
    if (!target || target != current) {
        tk::drawing_set_current(nullptr);
        return 0;
    }
    if (begun) return 1;
    if (!target->begin()) {
        tk::drawing_set_current(nullptr);
        return 0;
    }
    begun = true;
    return 1;
}

void drawing_end() { tk::drawing_set_current(nullptr); }

void drawing_mode(unsigned mode) {
    if (DrawTarget target = session()) {
        target->mode = mode;
        target->set_mode(mode);
    }
}

void draw_box(int x, int y, int width, int height, Colour colour) {
    if (DrawTarget target = session()) {
        use_front_colour(target, colour);
        target->box(x, y, width, height);
    }
}

void draw_image(ImageHandle image, int x, int y) {
    if (DrawTarget target = session()) target->draw_image(image, x, y);
}

void drawing_font(FontHandle font) {
    if (DrawTarget target = session()) target->set_font(font);
}

int draw_text(int x, int y, const std::string& text, Colour front, Colour back) {
    DrawTarget target = session();
    if (!target) return 0;
    use_front_colour(target, front);
    use_back_colour(target, back);
    return target->draw_text(x, y, text);
}

int text_width(const std::string& text) {
    DrawTarget target = session();
    return target ? target->text_width(text) : 0;
}

Colour colour_rgb(int red, int green, int blue) {
    return static_cast<Colour>(red) + static_cast<Colour>(green) * 256u + static_cast<Colour>(blue) * 65536u;
}
