// The kinds of file a diagram or a page of diagrams is written as, and
// the JPEG quality they are written at.
#pragma once

#include <optional>
#include <string_view>

namespace chess::render {

enum class Format { Jpeg, Png, Svg, Pdf };

// The file name extension written for a format, without the dot.
const char* extension_of(Format format);
// "jpeg" (or "jpg"), "png", "svg", "pdf", in any case.
std::optional<Format> format_named(std::string_view name);
// The format a file name's extension stands for.
std::optional<Format> format_of_path(std::string_view path);

// On the picture store's scale of 0 to 10: at 9 the hatching's one-pixel
// lines still print clean, in files half the size they are at 10 (about
// 200 KB for 6 cm at 300 dpi).
constexpr int jpeg_quality = 9;

}  // namespace chess::render
