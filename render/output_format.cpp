#include "render/output_format.h"

namespace chess::render {

namespace {

char lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool same_word(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

}  // namespace

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
    if (same_word(name, "jpeg") || same_word(name, "jpg")) return Format::Jpeg;
    if (same_word(name, "png")) return Format::Png;
    if (same_word(name, "svg")) return Format::Svg;
    if (same_word(name, "pdf")) return Format::Pdf;
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
