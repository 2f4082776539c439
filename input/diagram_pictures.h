// Diagram pictures as input: a picture saved by diagram_editor carries a
// diagram record (core/diagram_record.h) with its position, marks and
// caption, and becomes that position, drawn like any other.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "input/position_list.h"

namespace chess::input {

class InputSource;

// A picture's record is read from its header, which must lie within its
// first 16 MiB: a picture from a pipe is read from memory, no further.
constexpr std::size_t picture_head_bytes = 16 * 1024 * 1024;

// The picture's position (marks included) and caption as a list entry; not
// ok, with the reason, when it carries no record or a damaged one.
ListEntry read_diagram_picture(const std::string& path, const std::string& name);
// The same from an opened input, from its first byte, which stays held.
ListEntry read_diagram_picture(InputSource& input);

// The diagram pictures of a folder (files ending in .jpg or .jpeg, in any
// case) in the order of their names; false, with the reason, when the
// folder cannot be read.
bool diagram_pictures_in(const std::string& folder, std::vector<std::string>& paths, std::string& error);

}  // namespace chess::input
