#include "composer/position_lists.h"

#include <cairo.h>
#include <fcntl.h>
#include <unistd.h>
#include <gdk-pixbuf/gdk-pixbuf.h>
#include <glib.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <memory>
#include <string_view>
#include <vector>

#include "input/position_list.h"
#include "composer/composer.h"
#include "core/fen.h"
#include "core/pgn.h"
#include "core/sheet_layout.h"
#include "render/diagram.h"
#include "render/output.h"

namespace composer {

// Pictures from cameras and other programs often end in capitals or in ".jpeg".
const char* const open_patterns =
    "Image JPG|*.jpg;*.JPG;*.jpeg;*.JPEG|Position list (FEN, EPD, PGN)|*.fen;*.epd;*.pgn;*.txt;*.FEN;*.EPD;*.PGN;*.TXT";

namespace {

// A diagram in the editor's proportions: 9 squares wide, 9.5 high.
constexpr int diagram_width_squares2 = 18, diagram_height_squares2 = 19;
constexpr std::size_t errors_shown = 5;

std::string valid_text(std::string_view text);

struct ListPosition {
    chess::Position position;
    std::string caption;
    chess::Annotations annotations;
};

// What became of one list.
struct Tally {
    int placed = 0;
    int left_out = 0;
    int bad = 0;
    std::vector<std::string> errors;  // the first few

    void bad_entry(const std::string& message) {
        ++bad;
        std::fprintf(stderr, "%s: %s\n", program_name, message.c_str());
        if (errors.size() < errors_shown) errors.push_back(message);
    }
};

// A modal message over the composer window (which has no title, nor have
// its messages); the same on standard error for logs.
void list_message(const std::string& text, const std::string& detail) {
    std::fprintf(stderr, "%s: %s %s\n", program_name, text.c_str(), detail.c_str());
    std::fflush(stderr);
    message_requester("", text, detail, composer_window);
}

const chess::render::Renderer* renderer(std::string& error) {
    // Made once: it checks the fonts and takes the glyph outlines.
    static std::unique_ptr<chess::render::Renderer> made;
    if (!made) made = chess::render::Renderer::create(error);
    return made.get();
}

chess::render::DiagramOptions options_of(const chess::Annotations& annotations) {
    chess::render::DiagramOptions options;
    options.marks = annotations;
    return options;
}

// Copies the surface's pixels into the sheet at (x, y), at most width x
// height of them, clipped to the sheet.
void copy_to_sheet(cairo_surface_t* surface, int x, int y, int width, int height) {
    GdkPixbuf* sheet = image_handle(sheet_image);
    if (!sheet) return;
    cairo_surface_flush(surface);
    const unsigned char* from = cairo_image_surface_get_data(surface);
    const int from_stride = cairo_image_surface_get_stride(surface);
    width = std::min({width, cairo_image_surface_get_width(surface), gdk_pixbuf_get_width(sheet) - x});
    height = std::min({height, cairo_image_surface_get_height(surface), gdk_pixbuf_get_height(sheet) - y});
    guchar* to = gdk_pixbuf_get_pixels(sheet);
    const int to_stride = gdk_pixbuf_get_rowstride(sheet), channels = gdk_pixbuf_get_n_channels(sheet);
    for (int row = 0; row < height; ++row) {
        const auto* in = reinterpret_cast<const std::uint32_t*>(from + row * from_stride);
        guchar* out = to + (y + row) * to_stride + x * channels;
        for (int column = 0; column < width; ++column, out += channels) {
            const std::uint32_t pixel = in[column];  // 0x00RRGGBB
            out[0] = static_cast<guchar>(pixel >> 16);
            out[1] = static_cast<guchar>(pixel >> 8);
            out[2] = static_cast<guchar>(pixel);
        }
    }
}

// The next free cell gets the position; false once the sheet is full.
bool place_position(const chess::render::Renderer& drawer, const ListPosition& item) {
    if (diagram_count >= capacity) return false;
    const DiagramPlace place = diagram_place(diagram_count + 1);
    chess::render::Diagram diagram{item.position, item.caption, options_of(item.annotations)};
    cairo_surface_t* surface = chess::render::rasterise(drawer, diagram, place.square);
    if (!surface) return false;
    ++diagram_count;
    copy_to_sheet(surface, place.x, place.y, place.width, place.height);
    cairo_surface_destroy(surface);
    return true;
}

bool is_pgn(const std::string& path) {
    const std::size_t dot = path.find_last_of('.');
    if (dot != std::string::npos) {
        std::string extension = path.substr(dot);
        for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (extension == ".pgn") return true;
    }
    // A game starts with its tags.
    std::ifstream in(path, std::ios::binary);
    for (int c; (c = in.get()) != EOF;) {
        if (c == '[') return true;
        if (!std::isspace(c) && c != 0xEF && c != 0xBB && c != 0xBF) return false;
    }
    return false;
}

// Reads the list, handing each position to `take` until it says no more fit;
// the rest are only counted. False, with the reason, when the file cannot
// be read.
bool read_pgn(const std::string& path, const std::function<bool(const ListPosition&)>& take, Tally& tally,
              std::string& error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = std::strerror(errno);
        return false;
    }
    chess::PgnReader reader(in);
    chess::PgnGame game;
    chess::PgnError game_error;
    ListPosition item;
    while (true) {
        const chess::PgnReader::Status status = reader.next(game, game_error);
        if (status == chess::PgnReader::Status::End) break;
        if (status == chess::PgnReader::Status::Error) {
            tally.bad_entry(path + ": " + game_error.message());
            continue;
        }
        item.position = game.position;
        item.caption = valid_text(game.caption);
        item.annotations = game.annotations;
        if (!take(item)) ++tally.left_out;
    }
    if (in.bad()) {
        error = "read error";
        return false;
    }
    return true;
}

// A text as valid UTF-8 without control characters, for captions and
// messages.
std::string valid_text(std::string_view text) {
    if (text.empty()) return std::string();  // its data may be null
    gchar* valid = g_utf8_make_valid(text.data(), static_cast<gssize>(text.size()));
    std::string out(valid);
    g_free(valid);
    for (char& c : out) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = ' ';
    }
    return out;
}

// One position a line, FEN (a caption may follow its six fields) or EPD
// (its c0, else its id, as the caption), read as diagram_batch reads lists:
// blank lines and lines starting with '#' hold none, overlong lines are
// refused without being held.
bool read_lines(const std::string& path, const std::function<bool(const ListPosition&)>& take, Tally& tally,
                std::string& error) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        error = std::strerror(errno);
        return false;
    }
    batch::LineReader reader(fd);
    std::string line;
    ListPosition item;
    bool ok = true;
    while (true) {
        const batch::LineReader::Status status = reader.next(line);
        if (status == batch::LineReader::Status::End) break;
        if (status == batch::LineReader::Status::Failed) {
            error = std::strerror(reader.errno_value());
            ok = false;
            break;
        }
        batch::ListEntry entry;
        entry.source = path;
        entry.line = reader.line_number();
        if (status == batch::LineReader::Status::TooLong) {
            entry.error = "line longer than " + std::to_string(batch::max_line_bytes) + " bytes, skipped";
        } else if (!batch::read_list_line(line, entry)) {
            continue;  // blank, or a comment
        }
        if (!entry.ok) {
            tally.bad_entry(batch::entry_message(entry));
            continue;
        }
        item.position = entry.position;
        item.caption = entry.caption;
        if (!take(item)) ++tally.left_out;
    }
    ::close(fd);
    return ok;
}

std::string positions_word(int n) {
    // 1 позиция, 2-4 позиции, 5-20 позиций, 21 позиция ...
    const int last = n % 10, last_two = n % 100;
    if (last == 1 && last_two != 11) return "позиция";
    if (last >= 2 && last <= 4 && (last_two < 12 || last_two > 14)) return "позиции";
    return "позиций";
}

}  // namespace

DiagramPlace diagram_place(int cell) {
    constexpr chess::SheetLayout sheet = chess::program_sheet(columns, rows, COMPOSER_MARGIN, COMPOSER_GAP);
    DiagramPlace place;
    sheet.fit(diagram_width_squares2 * 50, diagram_height_squares2 * 50, place.width, place.height);
    place.x = sheet.picture_x(cell, place.width);
    place.y = sheet.picture_y(cell, place.height);
    place.square = place.width * 2.0 / diagram_width_squares2;
    return place;
}

bool is_position_list(const std::string& path) {
    // A picture's name is kept to: its failure to load is what the user
    // needs to hear about, not a list's.
    const std::size_t dot = path.find_last_of("./");
    if (dot != std::string::npos && path[dot] == '.') {
        std::string extension = path.substr(dot);
        for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (extension == ".jpg" || extension == ".jpeg" || extension == ".bmp") return false;
    }
    std::ifstream in(path, std::ios::binary);
    char head[2] = {};
    if (!in.read(head, 2)) return in.gcount() > 0;  // a one-byte file is no picture either
    const bool jpeg = static_cast<unsigned char>(head[0]) == 0xFF && static_cast<unsigned char>(head[1]) == 0xD8;
    const bool bmp = head[0] == 'B' && head[1] == 'M';
    return !jpeg && !bmp;
}

void add_position_list(const std::string& path) {
    std::string error;
    const chess::render::Renderer* drawer = renderer(error);
    if (!drawer) {
        list_message("Не удалось нарисовать позиции из файла " + path, error);
        return;
    }
    Tally tally;
    auto take = [&](const ListPosition& item) {
        if (!place_position(*drawer, item)) return false;
        ++tally.placed;
        return true;
    };
    const bool read = is_pgn(path) ? read_pgn(path, take, tally, error) : read_lines(path, take, tally, error);
    // The view shows the new cells once told.
    if (tally.placed > 0) gadget_set_state(sheet_view, image_handle(sheet_image));

    std::string detail;
    if (!read) detail += "Файл прочитан не до конца: " + error + ".\n";
    if (tally.left_out > 0) {
        detail += "Не поместились на лист: " + std::to_string(tally.left_out) + " " + positions_word(tally.left_out) +
                  ".\n";
    }
    if (tally.bad > 0) {
        detail += "Пропущены записи с ошибками: " + std::to_string(tally.bad) + ".\n";
        for (const std::string& e : tally.errors) detail += e + "\n";
        if (tally.bad > static_cast<int>(tally.errors.size())) detail += "…\n";
    }
    if (detail.empty() && tally.placed > 0) return;
    if (!detail.empty() && detail.back() == '\n') detail.pop_back();
    const std::string text = tally.placed > 0 ? "Добавлено на лист: " + std::to_string(tally.placed) + " " +
                                                    positions_word(tally.placed) + " из файла " + path
                                              : "В файле " + path + " нет позиций, которые можно добавить";
    list_message(text, detail);
}

}  // namespace composer
