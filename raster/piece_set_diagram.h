// The editor's diagram picture, drawn from a raster piece set: the picture
// the editor saves and `diagram_batch --pieces` writes, made by one routine
// so that both give the same pixels.
#pragma once

#include <string>

#include "core/position.h"
#include "pictures/pictures.h"

namespace chess::raster {

// The caption's font, as the editor loads it: the default family at 15 points.
constexpr const char* caption_font_family = "";
constexpr int caption_font_size = 15;

// Loads the 32 pictures "1.jpg" ... "32.jpg" of folder (ending in '/') into
// images 1 to 32. False when one of them does not load: last_failure() says
// why, and failed_picture which.
bool piece_set_load(const std::string& folder, int& failed_picture);
// The square size of the loaded set: the width of picture 1 (0 without one).
int piece_set_square_size();

// Whether the loaded pictures are the sizes of one set, as the diagram
// draws them: every square picture s x s, the strips 9s x s/2 and
// s/2 x 8s, s from picture 1 and at least smallest_square. False, with the
// picture that is wrong and why ("32 x 31 pixels, not 32 x 32").
constexpr int smallest_square = 8;
bool piece_set_check(int& wrong_picture, std::string& why);

// Draws the diagram picture of the position into image `image`, made anew at
// 9s x (9s + s/2): white, the caption centred under the board in `font`, the
// frame strips, then every square's picture from images 1 to 32. Requires
// the JPEG-free part of the store only; false when the picture cannot be made.
bool piece_set_diagram(ObjectId image, const chess::Position& position, const std::string& caption,
                       FontHandle font);

}  // namespace chess::raster
