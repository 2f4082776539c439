// Internal to the picture store, and to the GTK toolkit right above it:
// failure records, the store's size limits, fonts, and the drawing session
// underneath drawing_begin (the toolkit's printer page is a target too).
#pragma once

#include <string>

#include "pictures/drawing.h"
#include "pictures/failure.h"

struct _PangoLayout;

namespace tk {

// Failure records for last_failure().
void set_failure(FailureKind kind, std::string text);
void clear_failure();
// The cause of an errno value in English, lower case ("permission denied"),
// whatever the locale: the record's text is not translated.
std::string errno_text(int error);
// Records "path: cause" under the kind of the errno value.
void set_errno_failure(const std::string& path, int error);
// What a path of this st_mode is instead of a plain file: "is a FIFO, not a
// file", "is a folder, not a file" and the like.
std::string not_a_file_text(unsigned mode);
// Records that path names a folder, a device or a pipe (mode: its st_mode).
void set_not_a_file_failure(const std::string& path, unsigned mode);

// The limits of images.h: sides, pixels, and the largest file read.
constexpr int max_image_side = 32767;
constexpr long long max_image_pixels = 1LL << 27;
constexpr long long max_picture_file_size = 5 * max_image_pixels;
bool image_size_allowed(long long width, long long height, long long pixel_limit = max_image_pixels);

void fonts_release_all();

// Makes target the current session (a session still current is ended first).
// The drawing operations act only once drawing_begin has begun it.
void drawing_set_current(DrawTarget target);
DrawTarget drawing_current();

// A box with negative sizes turned round: a negative width moves x left by
// it, likewise the height. Wide enough that no int argument overflows.
struct Box {
    long long x, y, width, height;
};
Box normalised_box(int x, int y, int width, int height);

// Puts the text on the layout; its logical size in whole pixels (Pango
// units / 1024, rounded toward zero).
void layout_text_size(_PangoLayout* layout, const std::string& text, int& width, int& height);

}  // namespace tk
