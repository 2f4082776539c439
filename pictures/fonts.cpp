#include "pictures/fonts.h"

#include <pango/pango.h>

#include "pictures/internal.h"

namespace {

struct FontRecord {
    PangoFontDescription* description = nullptr;
    bool exists() const { return description != nullptr; }
};

void release_font(ObjectId, FontRecord& record) {
    pango_font_description_free(record.description);
    record.description = nullptr;
}

ObjectTable<FontRecord> fonts(release_font);

}  // namespace

std::intptr_t font_load(ObjectId id, const std::string& name, int size, int style) {
    PangoFontDescription* description = pango_font_description_from_string(name.c_str());
    if (!description) return 0;
    pango_font_description_set_size(description, size * PANGO_SCALE);
    if (style & 1) pango_font_description_set_weight(description, PANGO_WEIGHT_BOLD);
    if (style & 2) pango_font_description_set_style(description, PANGO_STYLE_ITALIC);
    bool generated = id == -1;
    FontRecord* record = fonts.acquire(id);
    if (!record) {
        pango_font_description_free(description);
        return 0;
    }
    record->description = description;
    return generated ? id : reinterpret_cast<std::intptr_t>(description);
}

FontHandle font_handle(ObjectId id) {
    FontRecord* record = fonts.find(id);
    return record ? record->description : nullptr;
}

namespace tk {
void fonts_release_all() { fonts.release_all(); }
}  // namespace tk
