// The codec registry: decoders recognised by content, encoders by format tag.
#pragma once

#include "toolkit/images.h"

void codec_init();
int register_bmp_decoder();
int register_jpeg_decoder();
int register_jpeg_encoder();
