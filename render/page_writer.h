// The one way the renderer's output reaches the disk: a single diagram or
// the pages of a book, in PDF, SVG, PNG or JPEG, each file carrying the
// diagram record (core/diagram_record.h) of every diagram drawn on it.
//
// Nothing replaces an existing file before commit(): a PDF is one file of
// all its pages; the other formats give one file a page, each made whole
// beside its target as its page ends and all of them put in place together
// by commit(). A failure or an interruption before then leaves every old
// file as it was.
//
// Where the records go: JPEG, a comment segment (COM) each, as the editor
// writes them; PNG, an iTXt chunk each with the keyword "chess-diagram";
// SVG, a <metadata> element each, with the FENs and captions in <title> and
// <desc> for screen readers; PDF, the document information entries
// ChessDiagram1, ChessDiagram2, ... in the order drawn (added as an
// incremental update after cairo's document: cairo 1.16 writes no entries
// of its own choosing), and an outline entry for each diagram, named by its
// number and caption.
#pragma once

#include <cairo.h>

#include <functional>
#include <memory>
#include <string>

#include "core/diagram_record.h"
#include "render/diagram.h"
#include "render/output_format.h"

namespace chess::render {

// The keyword of a PNG's record chunks, and the start of a PDF's record
// entries.
constexpr const char* png_record_keyword = "chess-diagram";
constexpr const char* pdf_record_key = "ChessDiagram";

class PageWriter {
public:
    // A PDF goes to `path`; a page of another format to page_path(n) for
    // page n (from 1), or to `path` when there is no page_path.
    PageWriter(Format format, std::string path, std::function<std::string(int page)> page_path = {});
    ~PageWriter();
    PageWriter(const PageWriter&) = delete;
    PageWriter& operator=(const PageWriter&) = delete;

    // A new page, width x height user units: points for PDF and SVG, and
    // `pixels_per_unit` pixels each for PNG and JPEG (1: units are pixels),
    // on white. The context to draw on, owned by the writer until
    // end_page(); null, with the reason, when the page cannot be made.
    cairo_t* begin_page(double width, double height, double pixels_per_unit, std::string& error);
    // A diagram drawn on the open page, its top-left corner at (x, y) in
    // user units: its record goes into the file, and a PDF's outline
    // gets `title`.
    void add_diagram(const DiagramRecord& record, const std::string& title, double x, double y);
    // The same for a diagram drawn at square width s: its record (the square
    // rounded to whole units: pixels for PNG and JPEG, points for PDF and
    // SVG), titled by its number (else its place in the file) and caption.
    void add_diagram(const Diagram& diagram, double s, double x, double y);
    // The open page finished: written into its file (PDF) or made as a
    // file of its own, waiting for commit().
    bool end_page(std::string& error);
    // Every file put in place; false, with the reason, when one cannot be.
    bool commit(std::string& error);

    // On the picture store's scale, 0 to 10; jpeg_quality unless set.
    void set_jpeg_quality(int quality) { jpeg_quality_ = quality; }

    int pages() const { return pages_; }
    int diagrams() const { return diagrams_; }

private:
    struct Output;
    std::unique_ptr<Output> out_;
    int pages_ = 0;
    int diagrams_ = 0;
    double pixels_per_unit_ = 1;
    int jpeg_quality_ = jpeg_quality;
};

}  // namespace chess::render
