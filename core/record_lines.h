// The lines of the records kept in pictures (the diagram record, the piece
// set's mark): a first line naming the record and its version, then one
// key=value a line, keys of a-z, 0-9, '_' and '-'.
#pragma once

#include <string>
#include <string_view>

namespace chess {

class RecordLines {
public:
    // The lines after the first line of text.
    explicit RecordLines(std::string_view text);
    // The next line's key and value; false at the end of the text, or at a
    // line that is no key=value (error() then says why).
    bool next(std::string_view& key, std::string_view& value);
    // The number of the line last read, from 1 (the first line).
    int line() const { return line_; }
    // Empty unless next() stopped at a bad line.
    const std::string& error() const { return error_; }

private:
    std::string_view text_;
    std::size_t at_ = 0;
    int line_ = 1;
    std::string error_;
};

// A whole number from 1 to max, in digits without a leading zero.
bool read_record_number(std::string_view value, int max, int& number);

}  // namespace chess
