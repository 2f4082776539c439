// What a PDF book adds after cairo's document, as an incremental update
// (a reader takes the last trailer's word): the document information with
// each diagram's record as an entry ChessDiagram1, ChessDiagram2, ..., and
// an outline entry for each diagram pointing at it. cairo 1.16 writes no
// information entries of our choosing, and would hold every outline entry in
// memory until the end; here they wait in an unlinked temporary file, so a
// book's memory does not grow with its diagrams. Only render/ includes it.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace chess::render {

class PdfUpdate {
public:
    PdfUpdate() = default;
    ~PdfUpdate();
    PdfUpdate(const PdfUpdate&) = delete;
    PdfUpdate& operator=(const PdfUpdate&) = delete;

    // cairo's output, on its way to the file.
    void saw(const unsigned char* data, std::size_t length);
    // A diagram on page `page` (from 1), its top-left corner at (x, y) in
    // PDF space (from the page's bottom). False when the spool cannot be
    // written.
    bool add(int page, double x, double y, std::string_view title, std::string_view record, std::string& error);
    // After cairo has finished the document: the update, through `write`.
    bool finish(const std::function<bool(const void* data, std::size_t size)>& write, std::string& error);

private:
    std::uint64_t length_ = 0;  // of cairo's document
    std::string tail_;          // its last bytes
    std::string before_xref_;   // those before its cross-reference table
    std::vector<long> page_objects_;
    std::FILE* spool_ = nullptr;
    long diagrams_ = 0;
};

}  // namespace chess::render
