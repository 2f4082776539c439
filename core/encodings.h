// Telling UTF-8 from the single-byte encodings older files are written in,
// and converting those to UTF-8.
#pragma once

#include <string>
#include <string_view>

namespace chess {

// Whether the text is well-formed UTF-8: no stray continuation byte, no
// sequence cut short, no overlong form, no surrogate, nothing past U+10FFFF.
bool is_valid_utf8(std::string_view text);

// The text read as Windows-1252 (Latin-1 with printable characters in
// 0x80-0x9F, such as the euro sign and curly quotes), in UTF-8. The five
// bytes that encoding leaves undefined are taken as the Latin-1 control
// characters of the same value, so that no byte is lost.
std::string windows_1252_to_utf8(std::string_view text);

}  // namespace chess
