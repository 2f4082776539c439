// Text as the programs show it: valid UTF-8 out of bytes from files and the
// clipboard, and file name extensions compared without regard to case.
#pragma once

#include <string>
#include <string_view>

namespace chess {

// What becomes of control characters (below U+0020, and U+007F).
enum class Controls { Keep, Blank };

// The text with every byte that does not start or continue a well-formed
// UTF-8 sequence (overlong forms, surrogates and code points beyond
// U+10FFFF included) replaced by U+FFFD; the longest well-formed beginning
// of a cut-off sequence is replaced as one character. Blank: control
// characters become blanks, for text shown on one line.
std::string valid_utf8(std::string_view text, Controls controls = Controls::Keep);

// The code point in UTF-8 at the end of out; a surrogate or a value beyond
// U+10FFFF, which no UTF-8 text holds, becomes U+FFFD.
void append_utf8(std::string& out, char32_t code);

// The text with ASCII capitals made small; other bytes unchanged.
std::string ascii_lower(std::string_view text);

// The extension of the path's last name, from its last dot, in lower case
// (".jpg" for "Photos/IMG.JPG"); empty when the name has no dot.
std::string lower_extension(std::string_view path);

}  // namespace chess
