#include "toolkit/codecs.h"

// Placeholder until the codecs land.
void codec_init() {}
int register_bmp_decoder() { return 1; }
