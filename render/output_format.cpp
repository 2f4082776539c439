#include "render/output_format.h"

#include "core/text.h"

namespace chess::render {

const char* extension_of(Format format) {
    switch (format) {
        case Format::Jpeg: return "jpg";
        case Format::Png: return "png";
        case Format::Svg: return "svg";
        case Format::Pdf: return "pdf";
    }
    return "";
}

std::optional<Format> format_named(std::string_view name) {
    const std::string word = ascii_lower(name);
    if (word == "jpeg" || word == "jpg") return Format::Jpeg;
    if (word == "png") return Format::Png;
    if (word == "svg") return Format::Svg;
    if (word == "pdf") return Format::Pdf;
    return std::nullopt;
}

std::optional<Format> format_of_path(std::string_view path) {
    const std::string_view::size_type slash = path.rfind('/');
    const std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
    const std::string_view::size_type dot = name.rfind('.');
    if (dot == std::string_view::npos || dot == 0) return std::nullopt;
    return format_named(name.substr(dot + 1));
}

}  // namespace chess::render
