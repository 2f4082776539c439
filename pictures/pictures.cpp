#include "pictures/pictures.h"

#include "pictures/internal.h"

void pictures_init() {
    codec_init();
    register_bmp_decoder();
    image_init();
}

void pictures_shutdown() {
    tk::drawing_set_current(nullptr);
    tk::fonts_release_all();
    image_shutdown();
}
