// Drawing sessions: boxes, pictures and text on an image or the printer page.
#pragma once

#include "pictures/object_table.h"

// Bits of drawing_mode; 0 at the start of every session. On an image target
// one rule decides how boxes, pictures and text write a pixel: XorColour
// first, then PixelCallback, WriteAlpha, AlphaOnly, the blends, the default.
// GradientFill only replaces the colour of boxes and text (opaque white).
// On an image with alpha the default and XorColour leave the alpha byte
// alone, WriteAlpha writes it too, AlphaOnly writes nothing else, BlendColour
// composites over it and updates it, BlendKeepAlpha keeps it. Pictures count
// as opaque unless they have alpha; text weighs what it writes by its glyph
// coverage (XorColour: a pixel more than half covered takes the front colour).
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
// the drawing_ and draw_ functions below only keep the colour caches and the
// mode and forward to the current target.
//
// A target is made with new by its creating function (image_target,
// printer_target), which makes it the current target (pictures/internal.h);
// from then on the session owns it. end() runs only after a successful
// begin(); a target that was never begun, or whose begin failed, is deleted
// without it, so its destructor must release whatever begin took.
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
    // Set by drawing_mode before set_mode is called.
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

struct _cairo_font_options;

// How text on pictures is rasterised: what a display hands in so that text
// in a picture looks as it does in its windows.
struct TextSettings {
    // Dots per inch: a font's points become pixels at this resolution.
    double resolution = 96.0;
    // Antialiasing, hinting and the like; null keeps fontconfig's own.
    const _cairo_font_options* options = nullptr;
};
// Fills in the settings for a drawing session about to begin; false when
// there are none (then fontconfig's apply). The pointer in the settings must
// stay valid until the next call.
using TextSettingsSource = bool (*)(TextSettings& settings);
// Installed by the display side at start-up; null (the default) without a display.
void set_text_settings_source(TextSettingsSource source);
