// Drawing sessions: boxes, pictures and text on an image or the printer page.
#pragma once

#include "toolkit/objects.h"

enum DrawMode : unsigned {
    TextNoBackground = 1,
    XorColour = 2,
    Outline = 4,
    AlphaOnly = 8,
    BlendColour = 16,
    BlendKeepAlpha = 32,
    GradientFill = 64,
    PixelCallback = 128,
    WriteAlpha = 256,
};

// What a session draws on. Each kind of target implements these operations;
// the drawing_ and draw_ functions below only keep the colour caches and
// forward to the current target.
class DrawingTarget {
public:
    virtual ~DrawingTarget() = default;
    virtual void set_back_colour(Colour colour) = 0;
    virtual void box(int x, int y, int width, int height) = 0;
    // -1 (as a handle) means the target's default font.
    virtual void set_font(FontHandle font) = 0;
    virtual void set_mode(unsigned mode) = 0;
    virtual void draw_image(ImageHandle image, int x, int y) = 0;
    // Returns x after the text.
    virtual int draw_text(int x, int y, const std::string& text) = 0;
    virtual void set_front_colour(Colour colour) = 0;
    virtual bool begin() = 0;
    virtual void end() = 0;
    virtual int text_width(const std::string& text) = 0;

    int width = 0;
    int height = 0;
    // The colours last sent to the target; a change to the same colour is skipped.
    Colour front_colour = 0;
    Colour back_colour = 0;
    unsigned mode = 0;
};
using DrawTarget = DrawingTarget*;

// The font handle that stands for a target's default font.
inline FontHandle default_font() { return reinterpret_cast<FontHandle>(std::intptr_t{-1}); }

// A new target for an image, current at once; 0 when the id names no image.
DrawTarget image_target(ObjectId id);
// Begins the session; 0 (and no session) for a null target or a failed begin.
int drawing_begin(DrawTarget target);
void drawing_end();
void drawing_mode(unsigned mode);
void draw_box(int x, int y, int width, int height, Colour colour);
void draw_image(ImageHandle image, int x, int y);
void drawing_font(FontHandle font);
int draw_text(int x, int y, const std::string& text, Colour front, Colour back);
int text_width(const std::string& text);
Colour colour_rgb(int red, int green, int blue);

namespace tk {
// Makes target the current session (a session still current is ended first).
void drawing_set_current(DrawTarget target);
DrawTarget drawing_current();
}  // namespace tk
