// The image store: numbered pictures in GdkPixbuf buffers.
#pragma once

#include "pictures/object_table.h"

// Format tags of image_save.
constexpr FormatTag FormatJPEG = 0x4745504A;  // "JPEG"
constexpr FormatTag FormatBMP = 0;            // the built-in BMP writer

// Depth flag of image_create: every pixel transparent black.
constexpr int ImageTransparent = 256;

// Every stored image is 1 to 32767 pixels on a side and at most 2^27 pixels
// in all: a resource limit, so that a few bytes of a file header cannot make
// the store allocate gigabytes. Creating, loading or rescaling to anything
// larger fails.
//
// image_load reads only plain files (a folder, a pipe or a device fails at
// once) of at most 640 MiB, five bytes for each of the 2^27 pixels the store
// accepts. The largest files of such a picture are a 32-bit BMP at four
// bytes a pixel and a JPEG of pure noise at the highest quality without
// chroma subsampling at some 4.1; a larger file holds no picture that could
// load, so it is not read at all.
//
// A failed load or save records why for last_failure() (failure.h); a
// successful one clears the record.

void image_init();
void image_shutdown();

// A new image, opaque black (depth 32: RGBA; + ImageTransparent: all bytes 0).
// Result: the ImageHandle as an integer, or the new id for -1; 0 on failure.
std::intptr_t image_create(ObjectId id, int width, int height, int depth = 24);
// The decoded picture as a 24-bit image; a failed load leaves the id as it was.
std::intptr_t image_load(ObjectId id, const std::string& path);
// 1 on success. quality 0..10 (x 10 for libjpeg); depth -1 takes the
// image's source depth (BMP writer only).
int image_save(ObjectId id, const std::string& path, FormatTag tag, int quality = 7, int depth = -1);
// Rescales in place (mode 0 bilinear, 1 nearest); the new handle, or 0 when
// nothing was done.
ImageHandle image_resize(ObjectId id, int width, int height, int mode = 0);
int image_width(ObjectId id);
int image_height(ObjectId id);
ImageHandle image_handle(ObjectId id);
void image_free(ObjectId id);
// A text kept with the image and written into its JPEG files as a comment
// segment (COM); the pixels are not touched. Creating or loading the id
// anew drops it. 0 when the id names no image or the text is longer than a
// comment segment holds (65533 bytes).
int image_set_comment(ObjectId id, const std::string& text);
// Another comment segment after those the image has: a page of diagrams
// carries the record of each. 0 as for image_set_comment, and for an empty
// text.
int image_add_comment(ObjectId id, const std::string& text);
// The first comment; empty when there is none.
std::string image_comment(ObjectId id);
