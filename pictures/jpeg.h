// Internal to the picture store: the JPEG codec, through libjpeg 6b.
#pragma once

#include "pictures/codec_internal.h"

namespace tk {

// A progressive JPEG with more scans than this is refused: otherwise a small
// file can keep the decoder busy for minutes.
constexpr int max_jpeg_scans = 500;

// Baseline and progressive files, grey, RGB and CMYK (Adobe's inverted
// inks too); the decoder's memory is bounded by the picture's size.
extern const ImageDecoder jpeg_decoder;
// Writes baseline RGB files with the comment of a live EncodeComment.
extern const ImageEncoder jpeg_encoder;

}  // namespace tk
