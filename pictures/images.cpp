#include "pictures/images.h"

#include <gdk-pixbuf/gdk-pixbuf.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <optional>
#include <vector>

#include "pictures/bmp.h"
#include "pictures/codec_internal.h"
#include "pictures/internal.h"

namespace {

struct ImageRecord {
    GdkPixbuf* buffer = nullptr;
    std::int16_t width = 0;
    std::int16_t height = 0;
    std::int16_t depth = 0;         // of the buffer: 24 or 32
    std::int16_t source_depth = 0;  // of the picture before it was stored
    std::vector<std::string> comments;  // written into JPEG files, a COM segment each
    bool exists() const { return buffer != nullptr; }
};

void release_image(ObjectId, ImageRecord& record) {
    g_object_unref(record.buffer);
    record = ImageRecord{};
}

std::optional<ObjectTable<ImageRecord>> images;

ImageRecord* find_image(ObjectId id) { return images ? images->find(id) : nullptr; }

// What a creating operation returns: the handle, or the new id for -1.
std::intptr_t creation_result(ObjectId requested, ObjectId id, GdkPixbuf* buffer) {
    return requested == -1 ? id : reinterpret_cast<std::intptr_t>(buffer);
}

}  // namespace

namespace tk {
bool image_size_allowed(long long width, long long height, long long pixel_limit) {
    return width > 0 && height > 0 && width <= max_image_side && height <= max_image_side &&
           width * height <= pixel_limit;
}
}  // namespace tk

void image_init() {
    if (images) {
        images->release_all();
        return;
    }
    images.emplace(release_image);
}

void image_shutdown() {
    if (images) images->release_all();
}

namespace {
// An RGB or RGBA pixbuf with the stride gdk_pixbuf_new would give it, its
// pixels all zero when asked (calloc, which skips the work for fresh pages).
GdkPixbuf* new_pixbuf(int width, int height, bool alpha, bool zeroed) {
    const std::size_t stride = (static_cast<std::size_t>(width) * (alpha ? 4 : 3) + 3) & ~std::size_t{3};
    guchar* pixels = static_cast<guchar*>(zeroed ? g_try_malloc0_n(static_cast<gsize>(height), stride)
                                                 : g_try_malloc_n(static_cast<gsize>(height), stride));
    if (!pixels) return nullptr;
    auto release = [](guchar* data, gpointer) { g_free(data); };
    GdkPixbuf* buffer = gdk_pixbuf_new_from_data(pixels, GDK_COLORSPACE_RGB, alpha, 8, width, height,
                                                 static_cast<int>(stride), release, nullptr);
    if (!buffer) g_free(pixels);
    return buffer;
}
}  // namespace

std::intptr_t image_create(ObjectId id, int width, int height, int depth) {
    if (!images) return 0;
    ObjectId requested = id;
    // The old picture goes first, so a failed creation leaves the id empty.
    ImageRecord* record = images->acquire(id);
    if (!record) return 0;
    bool alpha = (depth & ~ImageTransparent) == 32;
    // Black, and transparent only when asked. The pixels are allocated here
    // so that the clearing happens once: gdk_pixbuf_new promises no content,
    // and the editor creates a new diagram picture for every render.
    const bool zeroed = !alpha || (depth & ImageTransparent);
    GdkPixbuf* buffer = tk::image_size_allowed(width, height) ? new_pixbuf(width, height, alpha, zeroed) : nullptr;
    if (!buffer) {
        images->remove(id);
        return 0;
    }
    if (!zeroed) gdk_pixbuf_fill(buffer, 0x000000FFu);
    record->buffer = buffer;
    record->width = static_cast<std::int16_t>(width);
    record->height = static_cast<std::int16_t>(height);
    record->depth = record->source_depth = alpha ? 32 : 24;
    return creation_result(requested, id, buffer);
}

namespace {

struct DescriptorCloser {
    void operator()(const int* fd) const { close(*fd); }
};

// The whole content of a plain file that could hold a picture; false, with
// the failure recorded, when there is none.
bool read_picture_file(const std::string& path, std::vector<std::uint8_t>& content) {
    // Without O_NONBLOCK a pipe with no writer would block the open; the
    // flag changes nothing for the plain files that are read.
    int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        tk::set_errno_failure(path, errno);
        return false;
    }
    std::unique_ptr<int, DescriptorCloser> closer(&fd);
    struct stat status {};
    if (fstat(fd, &status) != 0) {
        tk::set_errno_failure(path, errno);
        return false;
    }
    if (!S_ISREG(status.st_mode)) {
        tk::set_not_a_file_failure(path, status.st_mode);
        return false;
    }
    auto too_large = [&](long long size) {
        tk::set_failure(FailureKind::TooLarge, path + ": the file is too large to hold a picture (" +
                                                   std::to_string(size) + " bytes, at most " +
                                                   std::to_string(tk::max_picture_file_size) + ")");
        return false;
    };
    if (status.st_size > tk::max_picture_file_size) return too_large(status.st_size);
    try {
        // One byte beyond the known size shows whether the file has grown.
        content.resize(static_cast<std::size_t>(status.st_size) + 1);
        std::size_t used = 0;
        for (;;) {
            ssize_t got = read(fd, content.data() + used, content.size() - used);
            if (got < 0 && errno == EINTR) continue;
            if (got < 0) {
                tk::set_errno_failure(path, errno);
                return false;
            }
            if (got == 0) break;
            used += static_cast<std::size_t>(got);
            if (used == content.size()) {
                if (used > static_cast<std::size_t>(tk::max_picture_file_size)) {
                    return too_large(static_cast<long long>(used));
                }
                content.resize(std::min(2 * used, static_cast<std::size_t>(tk::max_picture_file_size) + 1));
            }
        }
        content.resize(used);
    } catch (const std::bad_alloc&) {
        tk::set_failure(FailureKind::OutOfMemory, path + ": out of memory");
        return false;
    }
    return true;
}

void free_pixels(guchar* pixels, gpointer) { g_free(pixels); }

// A copy of RGBA pixels composited over white, rows padded to 4 bytes; null
// when memory runs out. Freed with g_free.
std::uint8_t* composite_over_white(GdkPixbuf* buffer, std::size_t& stride) {
    int width = gdk_pixbuf_get_width(buffer), height = gdk_pixbuf_get_height(buffer);
    int source_stride = gdk_pixbuf_get_rowstride(buffer);
    const guchar* source = gdk_pixbuf_get_pixels(buffer);
    stride = (3 * static_cast<std::size_t>(width) + 3) / 4 * 4;
    auto* copy = static_cast<std::uint8_t*>(g_try_malloc(stride * static_cast<std::size_t>(height)));
    if (!copy) return nullptr;
    for (int y = 0; y < height; ++y) {
        const guchar* in = source + static_cast<std::size_t>(y) * source_stride;
        std::uint8_t* out = copy + static_cast<std::size_t>(y) * stride;
        for (int x = 0; x < width; ++x, in += 4, out += 3) {
            for (int c = 0; c < 3; ++c) out[c] = tk::over_white(in[c], in[3]);
        }
    }
    return copy;
}

}  // namespace

std::intptr_t image_load(ObjectId id, const std::string& path) {
    if (!images) {
        tk::set_failure(FailureKind::Other, path + ": the image store is not started");
        return 0;
    }
    // A zero byte would cut the name short and load another file.
    if (path.find('\0') != std::string::npos) {
        tk::set_failure(FailureKind::Other, "the file name contains a zero byte");
        return 0;
    }
    tk::DecodedPicture picture;
    {
        std::vector<std::uint8_t> content;
        if (!read_picture_file(path, content)) return 0;
        if (!tk::decode_picture(content, picture)) {
            tk::set_failure(picture.failure, path + ": " + picture.reason);
            return 0;
        }
    }
    GdkPixbuf* buffer = gdk_pixbuf_new_from_data(picture.pixels, GDK_COLORSPACE_RGB, FALSE, 8, picture.width,
                                                 picture.height, static_cast<int>(picture.stride), free_pixels,
                                                 nullptr);
    if (!buffer) {
        g_free(picture.pixels);
        tk::set_failure(FailureKind::OutOfMemory, path + ": out of memory");
        return 0;
    }
    // Only now, with the new picture whole, does the old one go.
    ObjectId requested = id;
    ImageRecord* record = images->acquire(id);
    if (!record) {
        g_object_unref(buffer);
        tk::set_failure(FailureKind::OutOfMemory, path + ": out of memory");
        return 0;
    }
    record->buffer = buffer;
    record->width = static_cast<std::int16_t>(picture.width);
    record->height = static_cast<std::int16_t>(picture.height);
    record->depth = 24;
    record->source_depth = static_cast<std::int16_t>(picture.source_depth);
    tk::clear_failure();
    return creation_result(requested, id, buffer);
}

namespace {
// An encoder's result, recorded: a failing one that gave no reason still
// leaves one.
int saved(int result, const std::string& path) {
    if (result) {
        tk::clear_failure();
    } else if (last_failure().kind == FailureKind::None) {
        tk::set_failure(FailureKind::Other, path + ": the picture could not be written");
    }
    return result;
}
}  // namespace

int image_save(ObjectId id, const std::string& path, FormatTag tag, int quality, int depth) {
    ImageRecord* record = find_image(id);
    if (path.empty()) {
        tk::set_failure(FailureKind::Other, "no file name to save the picture under");
        return 0;
    }
    if (!record) {
        tk::set_failure(FailureKind::Other, path + ": there is no picture " + std::to_string(id) + " to save");
        return 0;
    }
    GdkPixbuf* buffer = record->buffer;
    const guchar* pixels = gdk_pixbuf_get_pixels(buffer);
    std::size_t stride = static_cast<std::size_t>(gdk_pixbuf_get_rowstride(buffer));
    int channels = gdk_pixbuf_get_n_channels(buffer);
    int output_depth = depth < 0 ? record->source_depth : depth;
    // Encoders record their own failures; none is left from before.
    tk::clear_failure();
    if (tag == FormatBMP) {
        return saved(tk::write_bmp(path, pixels, record->width, record->height, stride, channels, output_depth), path);
    }
    const tk::ImageEncoder* encoder = tk::find_encoder(tag);
    if (!encoder) {
        char tag_text[16];
        std::snprintf(tag_text, sizeof tag_text, "0x%08X", static_cast<unsigned>(tag));
        tk::set_failure(FailureKind::Other, path + ": no encoder for the picture format " + tag_text);
        return 0;
    }
    const tk::EncodeComment comment(record->comments);
    if (record->depth == 24) {
        return saved(encoder->rgb(path, pixels, record->width, record->height, stride, 0, quality, output_depth), path);
    }
    if (record->depth != 32) {
        tk::set_failure(FailureKind::Other, path + ": a picture of depth " + std::to_string(record->depth) +
                                                " cannot be saved");
        return 0;
    }
    if (encoder->rgba) {
        return saved(encoder->rgba(path, pixels, record->width, record->height, stride, 0, quality, output_depth), path);
    }
    std::size_t copy_stride = 0;
    std::uint8_t* copy = composite_over_white(buffer, copy_stride);
    if (!copy) {
        tk::set_failure(FailureKind::OutOfMemory, path + ": out of memory");
        return 0;
    }
    int result = encoder->rgb(path, copy, record->width, record->height, copy_stride, 0, quality, output_depth);
    g_free(copy);
    return saved(result, path);
}

ImageHandle image_resize(ObjectId id, int width, int height, int mode) {
    ImageRecord* record = find_image(id);
    if (!record || (width == record->width && height == record->height)) return nullptr;
    if (!tk::image_size_allowed(width, height)) return nullptr;
    GdkPixbuf* scaled = gdk_pixbuf_scale_simple(record->buffer, width, height,
                                                mode == 1 ? GDK_INTERP_NEAREST : GDK_INTERP_BILINEAR);
    if (!scaled) return nullptr;
    g_object_unref(record->buffer);
    record->buffer = scaled;
    record->width = static_cast<std::int16_t>(width);
    record->height = static_cast<std::int16_t>(height);
    return scaled;
}

int image_width(ObjectId id) {
    ImageRecord* record = find_image(id);
    return record ? record->width : 0;
}

int image_height(ObjectId id) {
    ImageRecord* record = find_image(id);
    return record ? record->height : 0;
}

ImageHandle image_handle(ObjectId id) {
    ImageRecord* record = find_image(id);
    return record ? record->buffer : nullptr;
}

int image_set_comment(ObjectId id, const std::string& text) {
    ImageRecord* record = find_image(id);
    if (!record || text.size() > tk::max_comment_bytes) return 0;
    record->comments.clear();
    if (!text.empty()) record->comments.push_back(text);
    return 1;
}

int image_add_comment(ObjectId id, const std::string& text) {
    ImageRecord* record = find_image(id);
    if (!record || text.empty() || text.size() > tk::max_comment_bytes) return 0;
    record->comments.push_back(text);
    return 1;
}

std::string image_comment(ObjectId id) {
    ImageRecord* record = find_image(id);
    return record && !record->comments.empty() ? record->comments.front() : std::string();
}

void image_free(ObjectId id) {
    ImageRecord* record = find_image(id);
    if (!record) return;
    release_image(id, *record);
    images->remove(id);
}
