#include "core/record_lines.h"

#include <charconv>

namespace chess {

namespace {

bool is_key_char(char c) { return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '-'; }

}  // namespace

RecordLines::RecordLines(std::string_view text) : text_(text) {
    const std::size_t first_end = text.find('\n');
    at_ = first_end == std::string_view::npos ? text.size() : first_end + 1;
}

bool RecordLines::next(std::string_view& key, std::string_view& value) {
    if (at_ >= text_.size() || !error_.empty()) return false;
    ++line_;
    std::size_t end = text_.find('\n', at_);
    if (end == std::string_view::npos) end = text_.size();
    const std::string_view entry = text_.substr(at_, end - at_);
    at_ = end + 1;
    const std::size_t equals = entry.find('=');
    if (equals == std::string_view::npos || equals == 0) {
        error_ = "a line without \"key=\"";
        return false;
    }
    key = entry.substr(0, equals);
    value = entry.substr(equals + 1);
    for (char c : key) {
        if (!is_key_char(c)) {
            error_ = "a key with a character other than a-z, 0-9, '_', '-'";
            return false;
        }
    }
    return true;
}

bool read_record_number(std::string_view value, int max, int& number) {
    if (value.empty() || value.size() > 9 || value[0] == '0') return false;
    auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), number);
    return error == std::errc() && end == value.data() + value.size() && number >= 1 && number <= max;
}

}  // namespace chess
