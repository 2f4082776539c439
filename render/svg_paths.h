// cairo's SVG text on its way to the file, each path's data written short.
// cairo writes every point absolute, to six decimals: a diagram's men,
// bodies and hatching come to twice the bytes they need. Only render/ (and
// its tests) include it.
#pragma once

#include <cairo.h>

#include <array>
#include <string>

class ReplacingFile;

namespace chess::render {

// Points to a hundredth of a point (a seventieth of a 1200-dpi dot), moves
// relative to the last point, lines along an axis as h and v, a command
// letter only where it changes. Path data of another form than cairo's (M,
// L, C and Z with absolute points) passes unchanged.
std::string short_path_data(const std::string& data);

// A cairo stream writer (closure: this) that passes the text on to the file
// with every d="..." attribute written short, and the numbers that place
// things (x, y and a transform's move) to two decimals.
class ShortSvgPaths {
public:
    explicit ShortSvgPaths(ReplacingFile& file) : file_(file) {}
    static cairo_status_t write(void* closure, const unsigned char* data, unsigned int length);

private:
    bool take(const unsigned char* data, unsigned int length);

    ReplacingFile& file_;
    std::array<std::size_t, 4> matched_{};  // of the texts that open a value
    int inside_ = -1;                       // the value being held back until its end
    std::string held_;
};

}  // namespace chess::render
