#include "input/position_list.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <unistd.h>

#include "core/epd.h"
#include "core/fairy_men.h"
#include "core/fen.h"
#include "core/text.h"
#include "input/input_source.h"

namespace chess::input {

namespace {

constexpr std::size_t chunk_bytes = 64 * 1024;

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && is_blank(text.front())) text.remove_prefix(1);
    while (!text.empty() && is_blank(text.back())) text.remove_suffix(1);
    return text;
}

}  // namespace

std::string entry_message(const ListEntry& entry) {
    // A picture is one entry: no line to name.
    std::string text = entry.source + ":" + (entry.line > 0 ? std::to_string(entry.line) + ":" : "");
    if (entry.column > 0) text += std::to_string(entry.column) + ":";
    // A message may quote a piece of the line, which need not be UTF-8.
    return text + " " + valid_utf8(entry.error, Controls::Blank);
}

LineReader::LineReader(int fd, std::size_t max_line)
    : read_([fd](char* to, std::size_t size) { return ::read(fd, to, size); }),
      max_line_(max_line),
      buffer_(chunk_bytes) {}

LineReader::LineReader(InputSource& source, std::size_t max_line)
    : read_([&source](char* to, std::size_t size) { return source.read(to, size); }),
      max_line_(max_line),
      buffer_(chunk_bytes) {}

bool LineReader::fill() {
    // Keeps the unread part at the front; grows the buffer only up to one
    // chunk beyond the longest line accepted.
    if (start_ > 0) {
        std::memmove(buffer_.data(), buffer_.data() + start_, end_ - start_);
        end_ -= start_;
        start_ = 0;
    }
    if (end_ == buffer_.size()) buffer_.resize(buffer_.size() + chunk_bytes);
    while (true) {
        const ssize_t got = read_(buffer_.data() + end_, buffer_.size() - end_);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            errno_ = errno;
            return false;
        }
        if (got == 0) eof_ = true;
        end_ += static_cast<std::size_t>(got);
        return true;
    }
}

LineReader::Status LineReader::finish(std::size_t stop, std::size_t next_start, bool too_long, std::string& line) {
    ++line_number_;
    const std::size_t from = start_;
    start_ = next_start;
    if (too_long) return Status::TooLong;
    std::string_view text(buffer_.data() + from, stop - from);
    if (text.size() > max_line_) return Status::TooLong;
    if (line_number_ == 1 && text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
    line.assign(text);
    return Status::Line;
}

LineReader::Status LineReader::next(std::string& line) {
    line.clear();
    bool too_long = false;
    std::size_t searched = start_;
    while (true) {
        const char* const data = buffer_.data();
        const char* const mark =
            std::find_if(data + searched, data + end_, [](char c) { return c == '\n' || c == '\r'; });
        const auto stop = static_cast<std::size_t>(mark - data);
        // A CR last of what is held: an LF read next belongs to it.
        const bool open_cr = stop < end_ && *mark == '\r' && stop + 1 == end_ && !eof_;
        if (stop < end_ && !open_cr) {
            const bool crlf = *mark == '\r' && stop + 1 < end_ && data[stop + 1] == '\n';
            return finish(stop, stop + (crlf ? 2 : 1), too_long, line);
        }
        if (stop == end_ && eof_) {
            if (end_ > start_ || too_long) return finish(end_, end_, too_long, line);
            return Status::End;
        }
        // One byte more than the limit for the CR of a CRLF line end.
        if (end_ - start_ > max_line_ + 1) {
            // Drop what is held of the long line (but an open CR) and read
            // on to its end.
            too_long = true;
            start_ = open_cr ? end_ - 1 : end_;
        }
        const std::size_t offset = (open_cr ? stop : end_) - start_;
        if (!fill()) return Status::Failed;
        searched = start_ + offset;
    }
}

bool read_list_line(std::string_view text, ListEntry& entry) {
    const std::string_view line = trimmed(text);
    if (line.empty() || line.front() == '#') return false;
    if (looks_like_epd(line)) {
        const EpdResult epd = read_epd(line);
        if (!epd.ok) {
            entry.error = epd.error;
            entry.column = static_cast<std::size_t>(line.data() - text.data()) + epd.error_offset + 1;
            return true;
        }
        entry.position = epd.position;
        if (const EpdOperation* looks = epd.find("looks")) {
            std::string error;
            if (looks->operands.size() != 1 || !read_looks_field(looks->operands[0], entry.position, error)) {
                entry.error = "looks: " + (error.empty() ? "one operand, such as c2:2,d4:n" : error);
                return true;
            }
        }
        entry.ok = true;
        entry.caption = valid_utf8(trimmed(epd.caption()), Controls::Blank);
        entry.best_moves = epd.best_moves();
        entry.variation = epd.predicted_variation();
        entry.comment = epd.text_of("c1");
        entry.operations = epd.operations;
        return true;
    }
    const FenResult fen = read_fen(line);
    if (!fen.ok) {
        entry.error = fen.error;
        entry.column = static_cast<std::size_t>(line.data() - text.data()) + fen.error_offset + 1;
        return true;
    }
    entry.ok = true;
    entry.position = fen.position;
    entry.caption = valid_utf8(fen.rest, Controls::Blank);
    return true;
}

namespace {

bool read_lines(LineReader& reader, const std::string& source, const std::function<void(ListEntry& entry)>& take,
                std::string& error) {
    std::string line;
    // A "#looks" comment's field and line, for the FEN line after it.
    std::string looks;
    long looks_line = 0;
    while (true) {
        const LineReader::Status status = reader.next(line);
        if (status == LineReader::Status::End) return true;
        if (status == LineReader::Status::Failed) {
            error = source + ": " + std::strerror(reader.errno_value());
            return false;
        }
        ListEntry entry;
        entry.source = source;
        entry.line = reader.line_number();
        if (status == LineReader::Status::TooLong) {
            entry.error = "line longer than " + std::to_string(max_line_bytes) + " bytes, skipped";
            take(entry);
            continue;
        }
        // A NUL is no text: a file of another encoding, or damaged.
        if (const std::size_t nul = line.find('\0'); nul != std::string::npos) {
            entry.error = "a NUL byte";
            entry.column = nul + 1;
            take(entry);
            continue;
        }
        if (line.starts_with(looks_comment)) {
            looks = trimmed(std::string_view(line).substr(looks_comment.size()));
            looks_line = entry.line;
            continue;
        }
        if (!read_list_line(line, entry)) continue;
        if (!looks.empty() && entry.ok) {
            std::string error;
            if (!read_looks_field(looks, entry.position, error)) {
                entry.ok = false;
                entry.error = "looks: " + error;
                entry.line = looks_line;
            }
        }
        looks.clear();
        take(entry);
    }
}

}  // namespace

bool read_position_list(int fd, const std::string& source, const std::function<void(ListEntry& entry)>& take,
                        std::string& error) {
    LineReader reader(fd);
    return read_lines(reader, source, take, error);
}

bool read_position_list(InputSource& input, const std::function<void(ListEntry& entry)>& take, std::string& error) {
    LineReader reader(input);
    return read_lines(reader, input.name(), take, error);
}

}  // namespace chess::input
