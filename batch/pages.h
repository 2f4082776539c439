// diagram_batch's pages: diagrams many to a page (--layout), with their
// numbers, marks and flips, and the answer key after them.
#pragma once

#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "batch/diagram_output.h"
#include "core/annotations.h"
#include "core/position.h"
#include "core/problem.h"
#include "render/book.h"

namespace batch {

// One diagram of the run.
struct BookItem {
    chess::Position position;
    std::string caption;
    chess::Annotations marks;
    std::string solution;
    // A chess problem's heading and footer; null for other items.
    std::shared_ptr<const chess::Problem> problem;
    int number = 0;  // in the set, from 1
    // Among all lines and games of the input that hold, or should hold, a
    // position, from 1: single diagrams' files are named by it.
    std::size_t place = 0;
};

// --style: how a diagram is printed round the board. By item: a problem as
// problem columns print it (its heading, stipulation and count), any other
// item with its caption. Problem: every item so, an item that is no problem
// with its caption as the heading. Plain: every item with its caption.
enum class PrintStyle { ByItem, Problem, Plain };

struct PageRun {
    int columns = 0;  // 0: one diagram a file
    int rows = 0;
    chess::render::Paper paper = chess::render::Paper::A4;
    chess::render::DiagramStyle style;
    PrintStyle print = PrintStyle::ByItem;
    bool solutions = false;
    // --size: the diagrams' width on the page; 0: as large as the cell.
    double diagram_cm = 0;
};

// Draws one item alone with the run's style into path, with the vector
// pieces prepare_drawing made.
bool write_styled_diagram(const BookItem& item, const PageRun& run, const DrawSettings& draw, const std::string& path,
                          std::string& error);

// The items as pages, handed in one at a time and never held: a PDF book
// goes to `path`; the other formats give one file a page, page_path(n) for
// page n. The answer key's lines wait in a temporary file until finish().
// False, with the reason, when a page cannot be written: nothing is
// replaced (raster sheets excepted: pages already saved stay).
class ItemPages {
public:
    ItemPages(const PageRun& run, const DrawSettings& draw, std::string path,
               std::function<std::string(int page)> page_path);
    ~ItemPages();
    ItemPages(const ItemPages&) = delete;
    ItemPages& operator=(const ItemPages&) = delete;

    bool add(const BookItem& item, std::string& error);
    // Asked between the answer key's pages and before the book is put in
    // place: true leaves every old file whole (render::BookWriter::set_stop).
    void set_stop(std::function<bool()> stop) { stop_ = std::move(stop); }
    // The last page, the answer key, and the book committed.
    bool finish(std::string& error);
    int pages() const { return pages_; }

private:
    struct Book;
    struct Sheets;
    bool keep_solution(const BookItem& item, std::string& error);
    bool save_sheet(std::string& error);
    bool write_key(const std::function<bool(chess::render::KeyEntry&)>& next, std::string& error);

    PageRun run_;
    DrawSettings draw_;
    std::string path_;
    std::function<std::string(int)> page_path_;
    std::function<bool()> stop_;
    Book* book_ = nullptr;
    const chess::render::Renderer* renderer_ = nullptr;
    Sheets* sheets_ = nullptr;
    std::FILE* key_ = nullptr;
    int pages_ = 0;
};

}  // namespace batch
