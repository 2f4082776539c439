// make_icon SVG_FILE PNG_FILE [PNG_SIZE]
//
// Draws the suite's desktop icon: a framed corner of a diagram board, four
// by four squares, with a black pawn standing on it. One description of the
// shapes is written twice, as a scalable SVG picture and rasterised with
// cairo into a PNG picture of PNG_SIZE x PNG_SIZE pixels (16 to 512, default
// 48), so the two always show the same icon.
//
// Exit status 0 when both files are written, else 1 with one line on
// standard error. Needs no display.

#include <cairo.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

// The shapes are laid out on a 48 x 48 canvas, the icon's design size.
constexpr double canvas = 48;
constexpr int default_size = 48;
constexpr int min_size = 16;
constexpr int max_size = 512;

struct Rgb {
    int red, green, blue;
    std::string hex() const {
        char text[8];
        std::snprintf(text, sizeof text, "#%02x%02x%02x", red, green, blue);
        return text;
    }
};

constexpr Rgb ink{0x1a, 0x1a, 0x1a};
constexpr Rgb paper{0xff, 0xff, 0xff};
constexpr Rgb light_square{0xf4, 0xf1, 0xe8};
constexpr Rgb dark_square{0x8c, 0x96, 0xa0};

// An outline made of straight and cubic pieces, closed at its end.
struct Path {
    struct Step {
        char kind;  // 'M' move, 'L' line, 'C' cubic curve
        double values[6];
    };
    std::vector<Step> steps;

    Path& move(double x, double y) { return add({'M', {x, y}}); }
    Path& line(double x, double y) { return add({'L', {x, y}}); }
    Path& curve(double x1, double y1, double x2, double y2, double x, double y) {
        return add({'C', {x1, y1, x2, y2, x, y}});
    }
    Path& add(Step step) {
        steps.push_back(step);
        return *this;
    }
};

struct Shape {
    enum Kind { Rectangle, Circle, Outline } kind = Rectangle;
    double x = 0, y = 0, width = 0, height = 0;  // rectangle; circle centre x, y and radius in width
    Path path;
    Rgb fill = ink;
    // The outline is also stroked in the fill colour this wide, round-joined
    // (0: filled only). Halos are shapes grown this way.
    double stroke = 0;
};

Shape rectangle(double x, double y, double width, double height, Rgb fill) {
    Shape shape;
    shape.x = x;
    shape.y = y;
    shape.width = width;
    shape.height = height;
    shape.fill = fill;
    return shape;
}

// The pawn: a round head over a collar, a flared body and a broad foot.
std::vector<Shape> pawn() {
    Shape head;
    head.kind = Shape::Circle;
    head.x = 24;
    head.y = 15.5;
    head.width = 5.2;
    Shape collar = rectangle(18.6, 21.2, 10.8, 2.6, ink);
    Shape body;
    body.kind = Shape::Outline;
    body.path.move(20.6, 23.4)
        .curve(20.4, 28.5, 18.2, 32.5, 15.6, 35.4)
        .line(32.4, 35.4)
        .curve(29.8, 32.5, 27.6, 28.5, 27.4, 23.4);
    Shape foot = rectangle(13.4, 35.0, 21.2, 4.6, ink);
    return {head, collar, body, foot};
}

// The whole icon, back to front.
std::vector<Shape> icon_shapes() {
    std::vector<Shape> shapes;
    shapes.push_back(rectangle(3, 3, 42, 42, ink));      // frame
    shapes.push_back(rectangle(5, 5, 38, 38, paper));    // inner border
    constexpr double board = 6, square = 9;
    for (int column = 0; column < 4; ++column) {
        for (int row = 0; row < 4; ++row) {
            Rgb colour = (column + row) % 2 == 0 ? light_square : dark_square;
            shapes.push_back(rectangle(board + column * square, board + row * square, square, square, colour));
        }
    }
    // A white halo keeps the pawn readable on the dark squares. All halos go
    // under all of its parts, so that no halo cuts into a neighbouring part.
    constexpr double halo = 2.4;
    std::vector<Shape> piece = pawn();
    for (Shape shape : piece) {
        shape.fill = paper;
        shape.stroke = 2 * halo;
        shapes.push_back(shape);
    }
    shapes.insert(shapes.end(), piece.begin(), piece.end());
    return shapes;
}

// ---- SVG ----

std::string number(double value) {
    std::ostringstream text;
    text.imbue(std::locale::classic());
    text << std::round(value * 100) / 100;
    return text.str();
}

std::string svg_path_data(const Path& path) {
    std::string data;
    for (const Path::Step& step : path.steps) {
        int count = step.kind == 'C' ? 6 : 2;
        data += step.kind;
        for (int i = 0; i < count; ++i) data += (i ? " " : "") + number(step.values[i]);
    }
    return data + "Z";
}

std::string svg_element(const Shape& shape) {
    std::string paint = "fill=\"" + shape.fill.hex() + "\"";
    if (shape.stroke > 0) {
        paint += " stroke=\"" + shape.fill.hex() + "\" stroke-width=\"" + number(shape.stroke) +
                 "\" stroke-linejoin=\"round\"";
    }
    switch (shape.kind) {
    case Shape::Rectangle:
        return "<rect x=\"" + number(shape.x) + "\" y=\"" + number(shape.y) + "\" width=\"" + number(shape.width) +
               "\" height=\"" + number(shape.height) + "\" " + paint + "/>";
    case Shape::Circle:
        return "<circle cx=\"" + number(shape.x) + "\" cy=\"" + number(shape.y) + "\" r=\"" + number(shape.width) +
               "\" " + paint + "/>";
    case Shape::Outline:
        break;
    }
    return "<path d=\"" + svg_path_data(shape.path) + "\" " + paint + "/>";
}

bool write_svg(const std::string& file, const std::vector<Shape>& shapes) {
    std::ostringstream svg;
    svg << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        << "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" << canvas << "\" height=\"" << canvas
        << "\" viewBox=\"0 0 " << canvas << ' ' << canvas << "\">\n";
    for (const Shape& shape : shapes) svg << "  " << svg_element(shape) << '\n';
    svg << "</svg>\n";
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out << svg.str();
    out.close();
    return static_cast<bool>(out);
}

// ---- PNG ----

void trace(cairo_t* cr, const Shape& shape) {
    switch (shape.kind) {
    case Shape::Rectangle:
        cairo_rectangle(cr, shape.x, shape.y, shape.width, shape.height);
        return;
    case Shape::Circle:
        cairo_new_sub_path(cr);
        cairo_arc(cr, shape.x, shape.y, shape.width, 0, 2 * M_PI);
        return;
    case Shape::Outline:
        break;
    }
    for (const Path::Step& step : shape.path.steps) {
        const double* v = step.values;
        if (step.kind == 'M') cairo_move_to(cr, v[0], v[1]);
        if (step.kind == 'L') cairo_line_to(cr, v[0], v[1]);
        if (step.kind == 'C') cairo_curve_to(cr, v[0], v[1], v[2], v[3], v[4], v[5]);
    }
    cairo_close_path(cr);
}

bool write_png(const std::string& file, const std::vector<Shape>& shapes, int size) {
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, size, size);
    cairo_t* cr = cairo_create(surface);
    cairo_scale(cr, size / canvas, size / canvas);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
    for (const Shape& shape : shapes) {
        trace(cr, shape);
        cairo_set_source_rgb(cr, shape.fill.red / 255.0, shape.fill.green / 255.0, shape.fill.blue / 255.0);
        if (shape.stroke > 0) {
            cairo_set_line_width(cr, shape.stroke);
            cairo_stroke_preserve(cr);
        }
        cairo_fill(cr);
    }
    bool drawn = cairo_status(cr) == CAIRO_STATUS_SUCCESS;
    cairo_destroy(cr);
    bool written = drawn && cairo_surface_write_to_png(surface, file.c_str()) == CAIRO_STATUS_SUCCESS;
    cairo_surface_destroy(surface);
    return written;
}

int parse_size(const std::string& text) {
    if (text.empty() || text.size() > 4) return -1;
    int value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return -1;
        value = value * 10 + (c - '0');
    }
    return value >= min_size && value <= max_size ? value : -1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3 || argc > 4 || argv[1][0] == '\0' || argv[2][0] == '\0') {
        std::fprintf(stderr, "usage: make_icon SVG_FILE PNG_FILE [PNG_SIZE]\n");
        return 1;
    }
    int size = default_size;
    if (argc == 4 && (size = parse_size(argv[3])) < 0) {
        std::fprintf(stderr, "make_icon: the size must be a whole number from %d to %d, not \"%s\"\n", min_size,
                     max_size, argv[3]);
        return 1;
    }
    std::vector<Shape> shapes = icon_shapes();
    if (!write_svg(argv[1], shapes)) {
        std::fprintf(stderr, "make_icon: cannot write %s\n", argv[1]);
        return 1;
    }
    if (!write_png(argv[2], shapes, size)) {
        std::fprintf(stderr, "make_icon: cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
