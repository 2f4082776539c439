#include "toolkit/images.h"

#include <gdk-pixbuf/gdk-pixbuf.h>

#include <optional>

#include "toolkit/codecs.h"

namespace {

struct ImageRecord {
    GdkPixbuf* buffer = nullptr;
    std::int16_t width = 0;
    std::int16_t height = 0;
    std::int16_t depth = 0;         // of the buffer: 24 or 32
    std::int16_t source_depth = 0;  // of the picture before it was stored
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
bool image_size_allowed(long long width, long long height) {
    return width > 0 && height > 0 && width <= max_image_side && height <= max_image_side &&
           width * height <= static_cast<long long>(max_image_pixels);
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

std::intptr_t image_create(ObjectId id, int width, int height, int depth) {
    if (!images) return 0;
    ObjectId requested = id;
    // The old picture goes first, so a failed creation leaves the id empty.
    ImageRecord* record = images->acquire(id);
    if (!record) return 0;
    bool alpha = (depth & ~ImageTransparent) == 32;
    GdkPixbuf* buffer = nullptr;
    if (tk::image_size_allowed(width, height)) {
        buffer = gdk_pixbuf_new(GDK_COLORSPACE_RGB, alpha, 8, width, height);
    }
    if (!buffer) {
        images->remove(id);
        return 0;
    }
    gdk_pixbuf_fill(buffer, (depth & ImageTransparent) ? 0x00000000u : 0x000000FFu);
    record->buffer = buffer;
    record->width = static_cast<std::int16_t>(width);
    record->height = static_cast<std::int16_t>(height);
    record->depth = record->source_depth = alpha ? 32 : 24;
    return creation_result(requested, id, buffer);
}

std::intptr_t image_load(ObjectId, const std::string&) { return 0; }

int image_save(ObjectId, const std::string&, FormatTag, int, int) { return 0; }

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

void image_free(ObjectId id) {
    ImageRecord* record = find_image(id);
    if (!record) return;
    release_image(id, *record);
    images->remove(id);
}
