// The whole load path: a file read through the registry into the image
// store, with both decoders registered as the programs do.
#include <gdk-pixbuf/gdk-pixbuf.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "pictures/codec_internal.h"
#include "pictures/codecs.h"
#include "pictures/images.h"

namespace {

// An in-memory file whose /proc path image_load can open.
struct MemoryFile {
    int fd = memfd_create("load_fuzzer", 0);
    std::string path = "/proc/self/fd/" + std::to_string(fd);
};

bool started() {
    codec_init();
    register_bmp_decoder();
    image_init();
    register_jpeg_decoder();
    register_jpeg_encoder();
    tk::load_pixel_limit = 1 << 22;
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static bool ready = started();
    static MemoryFile file;
    if (!ready || file.fd < 0) std::abort();
    if (ftruncate(file.fd, 0) != 0 || pwrite(file.fd, data, size, 0) != static_cast<ssize_t>(size)) std::abort();

    // A failed load must leave image 1 as it was.
    image_create(1, 3, 2);
    ImageHandle before = image_handle(1);
    std::intptr_t loaded = image_load(1, file.path);
    if (!loaded) {
        if (image_handle(1) != before || image_width(1) != 3) std::abort();
        return 0;
    }
    GdkPixbuf* buffer = image_handle(1);
    if (reinterpret_cast<ImageHandle>(loaded) != buffer || gdk_pixbuf_get_width(buffer) != image_width(1) ||
        gdk_pixbuf_get_height(buffer) != image_height(1) || gdk_pixbuf_get_rowstride(buffer) < 3 * image_width(1)) {
        std::abort();
    }
    image_free(1);
    return 0;
}
