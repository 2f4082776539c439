// Internal to the picture store: the BMP codec, reader and writer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "pictures/codec_internal.h"

namespace tk {

// Uncompressed files of 1, 4, 8, 16, 24 and 32 bits a pixel and RLE8 ones.
extern const ImageDecoder bmp_decoder;

// The built-in BMP writer. pixels: channels 3 (RGB) or 4 (RGBA, composited
// over white); depth 1, 4 and 8 through a colour quantizer, 16 as 5-5-5, 24
// and 32 directly. Any other depth fails. 1 on success.
int write_bmp(const std::string& path, const std::uint8_t* pixels, int width, int height, std::size_t stride,
              int channels, int depth);

}  // namespace tk
