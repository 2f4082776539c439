// The codecs of the picture store: which of them image_load and image_save
// use, and JPEG output for pictures made elsewhere. BMP decoding and the BMP
// writer are built in; the programs enable the JPEG codecs they need.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Switches every codec off (image_save's BMP writer stays).
void codec_init();
// Switch one codec on for image_load (decoders) or image_save (the encoder);
// 1, also when it was on already.
int register_bmp_decoder();
int register_jpeg_decoder();
int register_jpeg_encoder();

// Writes width x height R, G, B rows, top-down and stride bytes apart, as a
// JPEG file of quality 0..10 (as image_save takes it), whatever is
// registered, with comment (when not empty) as its comment segment. 1 on
// success; on failure the file is not touched and last_failure() tells why.
int write_jpeg_file(const std::string& path, const std::uint8_t* pixels, int width, int height, std::size_t stride,
                    int quality, const std::string& comment = std::string());
// The same from grey rows, one byte a pixel, as a one-component (greyscale)
// file.
int write_grey_jpeg_file(const std::string& path, const std::uint8_t* pixels, int width, int height,
                         std::size_t stride, int quality);
// The same rows (depth 24: R, G, B; depth 8: grey) encoded into memory,
// for writers that put the file in place themselves. Empty on failure, and
// last_failure() tells why.
std::vector<std::uint8_t> encode_jpeg(const std::uint8_t* pixels, int width, int height, std::size_t stride,
                                      int depth, int quality);
