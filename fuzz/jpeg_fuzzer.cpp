// The JPEG decoder on arbitrary bytes.
#include <glib.h>

#include <cstddef>
#include <cstdint>

#include "pictures/jpeg.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    tk::DecodedPicture picture;
    // A lower pixel limit keeps every input quick; the checks are the same.
    if (tk::decode_picture(tk::jpeg_decoder, tk::Bytes(data, size), picture, 1 << 22)) {
        // Touch the last byte of the picture: the whole buffer must be there.
        volatile std::uint8_t last = picture.pixels[picture.stride * static_cast<std::size_t>(picture.height) - 1];
        (void)last;
        g_free(picture.pixels);
    }
    return 0;
}
