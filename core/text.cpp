#include "core/text.h"

namespace chess {

namespace {

const char replacement[] = "\xEF\xBF\xBD";  // U+FFFD

bool continuation(unsigned char c) { return (c & 0xC0) == 0x80; }

}  // namespace

std::string valid_utf8(std::string_view text, Controls controls) {
    std::string out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x80) {
            const bool control = c < 0x20 || c == 0x7F;
            out += control && controls == Controls::Blank ? ' ' : static_cast<char>(c);
            ++i;
            continue;
        }
        // The length of the sequence a lead byte starts, and the range its
        // second byte must lie in (which rules out overlong forms,
        // surrogates and code points beyond U+10FFFF).
        std::size_t length = 0;
        unsigned char low = 0x80, high = 0xBF;
        if (c >= 0xC2 && c <= 0xDF) {
            length = 2;
        } else if (c >= 0xE0 && c <= 0xEF) {
            length = 3;
            if (c == 0xE0) low = 0xA0;
            if (c == 0xED) high = 0x9F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            length = 4;
            if (c == 0xF0) low = 0x90;
            if (c == 0xF4) high = 0x8F;
        }
        if (length == 0) {
            out += replacement;
            ++i;
            continue;
        }
        std::size_t n = 1;
        while (n < length && i + n < text.size()) {
            const auto next = static_cast<unsigned char>(text[i + n]);
            const bool fits = n == 1 ? (next >= low && next <= high) : continuation(next);
            if (!fits) break;
            ++n;
        }
        if (n == length) {
            out.append(text.substr(i, n));
        } else {
            out += replacement;
        }
        i += n;
    }
    return out;
}

std::string ascii_lower(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}

std::string lower_extension(std::string_view path) {
    const std::size_t dot = path.find_last_of("./");
    if (dot == std::string_view::npos || path[dot] != '.') return {};
    return ascii_lower(path.substr(dot));
}

void append_utf8(std::string& out, char32_t code) {
    if ((code >= 0xD800 && code < 0xE000) || code > 0x10FFFF) code = 0xFFFD;
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | code >> 6);
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | code >> 12);
        out += static_cast<char>(0x80 | (code >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | code >> 18);
        out += static_cast<char>(0x80 | (code >> 12 & 0x3F));
        out += static_cast<char>(0x80 | (code >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

}  // namespace chess
