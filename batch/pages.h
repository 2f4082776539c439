// diagram_batch's pages: diagrams many to a page (--layout), with their
// numbers, marks and flips, and the answer key after them.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "batch/diagram_output.h"
#include "core/annotations.h"
#include "core/position.h"
#include "render/book.h"

namespace batch {

// One diagram of the run.
struct BookItem {
    chess::Position position;
    std::string caption;
    chess::Annotations marks;
    std::string solution;
    int number = 0;  // in the set, from 1
    // Among all lines and games of the input that hold, or should hold, a
    // position, from 1: single diagrams' files are named by it.
    std::size_t place = 0;
};

struct PageRun {
    int columns = 0;  // 0: one diagram a file
    int rows = 0;
    chess::render::Paper paper = chess::render::Paper::A4;
    chess::render::DiagramStyle style;
    bool solutions = false;
    // --size: the diagrams' width on the page; 0: as large as the cell.
    double diagram_cm = 0;
};

// Draws one item alone with the run's style into path, with the vector
// pieces prepare_drawing made.
bool write_styled_diagram(const BookItem& item, const PageRun& run, const DrawSettings& draw, const std::string& path,
                          std::string& error);

// The items as pages. A PDF book goes to `path`; the other formats give one
// file a page, page_path(n) for page n. step() after each diagram placed;
// false from it stops the run ("interrupted"), the book not written.
// False, with the reason, when a page cannot be written (nothing is left
// half-written); pages already written stay.
bool write_pages(const std::vector<BookItem>& items, const PageRun& run, const DrawSettings& draw,
                 const std::string& path, const std::function<std::string(int page)>& page_path,
                 const std::function<bool()>& step, int& pages, std::string& error);

}  // namespace batch
