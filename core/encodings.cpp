#include "core/encodings.h"

#include <cstdint>

#include "core/text.h"

namespace chess {

bool is_valid_utf8(std::string_view text) {
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const auto* end = p + text.size();
    while (p < end) {
        const unsigned c = *p;
        if (c < 0x80) {
            ++p;
            continue;
        }
        int length;
        std::uint32_t lowest;
        std::uint32_t code;
        if ((c & 0xE0) == 0xC0) {
            length = 2, lowest = 0x80, code = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            length = 3, lowest = 0x800, code = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0) {
            length = 4, lowest = 0x10000, code = c & 0x07;
        } else {
            return false;
        }
        if (end - p < length) return false;
        for (int i = 1; i < length; ++i) {
            if ((p[i] & 0xC0) != 0x80) return false;
            code = (code << 6) | (p[i] & 0x3F);
        }
        if (code < lowest || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return false;
        p += length;
    }
    return true;
}

std::string windows_1252_to_utf8(std::string_view text) {
    // 0x80 to 0x9F; 0 where the encoding defines nothing.
    static constexpr char16_t high[32] = {
        0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
        0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,
    };
    std::string out;
    out.reserve(text.size() + text.size() / 4);
    for (char byte : text) {
        const auto c = static_cast<unsigned char>(byte);
        char32_t code = c;
        if (c >= 0x80 && c < 0xA0 && high[c - 0x80]) code = high[c - 0x80];
        append_utf8(out, code);
    }
    return out;
}

}  // namespace chess
