#include "toolkit/images.h"

// Placeholder until the image store lands.
void image_init() {}
void image_shutdown() {}
