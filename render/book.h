// Pages of diagrams for print: a grid of columns by rows on A4 or Letter,
// every diagram of a page the same size, centred in its cell; then, if
// asked, the answer key: each diagram's number and solution set in columns,
// flowing over as many pages as it needs.
//
// A PDF book is one file of many pages, written while the diagrams arrive
// (nothing but the answer key's short lines and the diagrams' records is
// kept, and the key's lines may come from elsewhere at the end); SVG, PNG
// and JPEG give one file per page. Everything goes through one PageWriter
// (render/page_writer.h): no file is replaced before finish() has drawn the
// last page, the answer key's included, and then all of them are.
#pragma once

#include <cairo.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/annotations.h"
#include "core/sheet_layout.h"
#include "render/diagram.h"
#include "render/output_format.h"

namespace chess::render {

class PageWriter;

enum class Paper { A4, Letter };
// "a4" or "letter", in any case.
bool paper_named(const std::string& name, Paper& paper);
// Width and height in points.
void paper_size(Paper paper, double& width, double& height);

// The grids a page takes: 1 to 6 columns by 1 to 8 rows.
constexpr int max_columns = 6;
constexpr int max_rows = 8;
// "CxR" (e.g. "3x4"): false when it is not a grid a page takes.
bool read_grid(const std::string& text, int& columns, int& rows);

// The page's cells in points: margins of 15 mm that every printer keeps
// clear, 5 mm between cells.
PageLayout page_layout(Paper paper, int columns, int rows);

// The square width at which a diagram drawn with these options fills a
// cell of the layout in one direction, keeping its proportions.
double page_square(const PageLayout& layout, const DiagramOptions& options);

// When a diagram is seen from Black's side: never, always, or where Black
// is to move (a book's "Black to play" shown from the mover's side).
enum class Flip { Never, Always, BlackToMove };

// What a run prints round every diagram.
struct DiagramStyle {
    bool numbers = false;
    bool coordinates = false;
    bool side_to_move = false;
    Flip flip = Flip::Never;
};

// The diagram of a position as a book prints it: its number in the set (if
// numbers are asked for), its caption, its marks from the data ([%csl] and
// [%cal], or an EPD c1), and seen from the side the style asks.
Diagram book_diagram(const Position& position, const std::string& caption, const Annotations& marks, int number,
                     const DiagramStyle& style);

struct BookSettings {
    Paper paper = Paper::A4;
    int columns = 3;
    int rows = 4;
    Format format = Format::Pdf;
    int dpi = 300;  // PNG and JPEG pages
    // The diagrams' width in points, centred in their cells; 0: as large as
    // a cell lets them be. Never larger than that.
    double diagram_width = 0;
};

// One line of the answer key.
struct KeyEntry {
    std::string number;
    std::string solution;
    // A problem's solution as a solver gives it: its lines and indentation
    // kept, in a monospace font.
    bool verbatim = false;
};

class BookWriter {
public:
    // A PDF book goes to `path`; the other formats' pages to the paths that
    // page_path gives for page 1, 2, ...
    BookWriter(const Renderer& renderer, const BookSettings& settings, std::string path,
               std::function<std::string(int page)> page_path = {});
    ~BookWriter();
    BookWriter(const BookWriter&) = delete;
    BookWriter& operator=(const BookWriter&) = delete;

    // The next diagram in the next cell; a page is written once full. Its
    // square width is that of the page (page_square of its options), so
    // diagrams with the same options are the same size, unless a caption
    // of several lines makes it taller than the cell: it is then drawn
    // smaller to fit. False, with the
    // reason in error, when a page cannot be written: the book is lost.
    bool add(const Diagram& diagram, std::string& error);
    // An answer key line, set after the diagrams.
    void add_solution(KeyEntry entry) { key_.push_back(std::move(entry)); }
    // Or the answer key's lines from `next` (false: no more), taken one at a
    // time by finish(): a long key need not be held in memory.
    void set_key(std::function<bool(KeyEntry& entry)> next) { key_source_ = std::move(next); }
    // Asked between two of the answer key's pages and before the files are
    // put in place: true stops the book there, every old file left whole.
    void set_stop(std::function<bool()> stop) { stop_ = std::move(stop); }
    // The last page of diagrams, the answer key, and every file put in
    // place together. False, with the reason, when a page cannot be written
    // or the stop was asked for ("interrupted"); then nothing is replaced.
    bool finish(std::string& error);

    int pages() const { return pages_; }
    int diagrams() const { return placed_total_; }
    const PageLayout& layout() const { return layout_; }

private:
    bool open_page(std::string& error);
    bool close_page(std::string& error);
    bool write_key(std::string& error);
    bool stopped(std::string& error);

    const Renderer& renderer_;
    BookSettings settings_;
    PageLayout layout_;
    std::string path_;
    std::function<std::string(int)> page_path_;
    std::vector<KeyEntry> key_;
    std::function<bool(KeyEntry&)> key_source_;
    std::function<bool()> stop_;
    std::unique_ptr<PageWriter> out_;
    cairo_t* cr_ = nullptr;  // of the open page
    int placed_ = 0;  // on the open page
    int placed_total_ = 0;
    int pages_ = 0;
    bool failed_ = false;
};

}  // namespace chess::render
