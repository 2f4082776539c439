// Numbered fonts: Pango font descriptions, a family and a size.
#pragma once

#include <cstdint>
#include <string>

#include "pictures/object_table.h"

// style: 1 bold, 2 italic. Result: the FontHandle, or the new id for -1, or
// 0 when the name gives no font description.
std::intptr_t font_load(ObjectId id, const std::string& name, int size, int style = 0);
FontHandle font_handle(ObjectId id);
