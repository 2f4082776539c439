#include "render/svg_paths.h"

#include <array>
#include <charconv>
#include <cmath>
#include <algorithm>
#include <cstdlib>
#include <string_view>

#include "pictures/files.h"

namespace chess::render {

namespace {

// What opens the values written short in cairo's text, and what ends them:
// path data, the places of men and marks, and the moves of transforms
// (their first four numbers, which scale and turn, stay as they are).
struct Opening {
    std::string_view text;
    char end;
};
constexpr std::array<Opening, 4> openings = {{{" d=\"", '"'}, {" x=\"", '"'}, {" y=\"", '"'}, {"matrix(", ')'}}};
constexpr std::size_t path_data = 0, matrix = 3;

// Hundredths of a point.
constexpr double steps = 100;

// n hundredths as the fewest characters: "-1.5", ".25", "3".
void put_number(std::string& out, long n) {
    const bool negative = n < 0;
    const unsigned long a = static_cast<unsigned long>(negative ? -n : n);
    const unsigned long whole = a / 100, part = a % 100;
    // A number needs no space before it when its sign, or its point after
    // a number that has one already, ends the one before.
    std::string text = negative ? "-" : "";
    if (whole != 0 || part == 0) text += std::to_string(whole);
    if (part != 0) {
        text += '.';
        text += static_cast<char>('0' + part / 10);
        if (part % 10 != 0) text += static_cast<char>('0' + part % 10);
    }
    if (!out.empty() && text[0] != '-') {
        const char last = out.back();
        const bool after_number = (last >= '0' && last <= '9') || last == '.';
        bool point_before = false;
        for (std::size_t i = out.size(); i-- > 0 && ((out[i] >= '0' && out[i] <= '9') || out[i] == '.');) {
            if (out[i] == '.') point_before = true;
        }
        if (after_number && !(text[0] == '.' && point_before)) out += ' ';
    }
    out += text;
}

// A number to two decimals; the text unchanged when it is none.
std::string short_number(const std::string& text) {
    double value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || !(std::fabs(value) < 1e12)) return text;
    std::string out;
    put_number(out, std::lround(value * steps));
    return out;
}

// "a,b,c,d,e,f" with e and f written short.
std::string short_matrix(const std::string& text) {
    const std::size_t f = text.rfind(','), e = f == std::string::npos ? f : text.rfind(',', f - 1);
    if (e == std::string::npos || std::count(text.begin(), text.end(), ',') != 5) return text;
    return text.substr(0, e + 1) + short_number(text.substr(e + 1, f - e - 1)) + "," + short_number(text.substr(f + 1));
}

}  // namespace

std::string short_path_data(const std::string& data) {
    std::string out;
    out.reserve(data.size() / 2);
    long x = 0, y = 0, start_x = 0, start_y = 0;  // in hundredths
    char last = 0;
    const char* p = data.data();
    const char* const end = p + data.size();
    auto skip_blanks = [&] {
        while (p < end && *p == ' ') ++p;
    };
    auto read_point = [&](long& px, long& py) {
        for (long* v : {&px, &py}) {
            skip_blanks();
            double value = 0;
            const auto [next, error] = std::from_chars(p, end, value);
            if (error != std::errc() || !std::isfinite(value) || std::fabs(value) > 1e12) return false;
            p = next;
            *v = std::lround(value * steps);
        }
        return true;
    };
    std::size_t last_move = std::string::npos;  // where a move with nothing after it begins
    while (true) {
        skip_blanks();
        if (p == end) {
            // cairo ends a closed path with a move back to its start, which draws nothing.
            if (last_move != std::string::npos) out.resize(last_move);
            return out;
        }
        const char command = *p++;
        last_move = command == 'M' ? out.size() : std::string::npos;
        int points = 0;
        switch (command) {
            case 'M': case 'L': points = 1; break;
            case 'C': points = 3; break;
            case 'Z': points = 0; break;
            default: return data;
        }
        long end_x = x, end_y = y;
        long read[6] = {};
        for (int k = 0; k < points; ++k) {
            if (!read_point(read[2 * k], read[2 * k + 1])) return data;
            end_x = read[2 * k];
            end_y = read[2 * k + 1];
        }
        // A line along an axis as h or v, with its one number.
        char letter = static_cast<char>(command - 'A' + 'a');
        if (letter == 'l' && end_y == y) letter = 'h';
        else if (letter == 'l' && end_x == x) letter = 'v';
        // A move's letter is always written: points after it are lines.
        if (letter != last || letter == 'm' || letter == 'z') out += letter;
        last = letter;
        if (letter == 'h') {
            put_number(out, end_x - x);
        } else if (letter == 'v') {
            put_number(out, end_y - y);
        } else {
            for (int k = 0; k < points; ++k) {
                put_number(out, read[2 * k] - x);
                put_number(out, read[2 * k + 1] - y);
            }
        }
        if (command == 'Z') {
            end_x = start_x;
            end_y = start_y;
        }
        x = end_x;
        y = end_y;
        if (command == 'M') {
            start_x = x;
            start_y = y;
        }
    }
}

bool ShortSvgPaths::take(const unsigned char* data, unsigned int length) {
    const char* text = reinterpret_cast<const char*>(data);
    std::size_t passed = 0;  // the start of what goes on unchanged
    for (std::size_t i = 0; i < length; ++i) {
        const char c = text[i];
        if (inside_ >= 0) {
            const Opening& opening = openings[static_cast<std::size_t>(inside_)];
            if (c != opening.end) {
                held_ += c;
                continue;
            }
            const std::string written = (inside_ == path_data ? short_path_data(held_)
                                         : inside_ == matrix  ? short_matrix(held_)
                                                              : short_number(held_)) +
                                        c;
            inside_ = -1;
            if (!file_.write(written.data(), written.size())) return false;
            passed = i + 1;
            continue;
        }
        for (std::size_t k = 0; k < openings.size(); ++k) {
            const std::string_view opening = openings[k].text;
            matched_[k] = c == opening[matched_[k]] ? matched_[k] + 1 : c == opening[0] ? 1 : 0;
            if (matched_[k] < opening.size()) continue;
            matched_.fill(0);
            inside_ = static_cast<int>(k);
            held_.clear();
            if (!file_.write(text + passed, i + 1 - passed)) return false;
            passed = i + 1;
            break;
        }
    }
    if (inside_ < 0 && passed < length) return file_.write(text + passed, length - passed);
    return true;
}

cairo_status_t ShortSvgPaths::write(void* closure, const unsigned char* data, unsigned int length) {
    return static_cast<ShortSvgPaths*>(closure)->take(data, length) ? CAIRO_STATUS_SUCCESS : CAIRO_STATUS_WRITE_ERROR;
}

}  // namespace chess::render
