#include "batch/pages.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "batch/vector_pieces.h"
#include "render/output.h"
#include "raster/piece_set_sheet.h"
#include "pictures/pictures.h"

namespace batch {

namespace render = chess::render;

namespace {

// The caption font prepare_drawing loads for a raster piece set.
constexpr ObjectId caption_font = 0;
// The answer key's pages beside raster sheets: JPEG, as the sheets.
constexpr int key_dpi = 150;

render::Diagram diagram_of(const BookItem& item, const PageRun& run) {
    return render::book_diagram(item.position, item.caption, item.marks, item.number, run.style);
}

// A scratch folder for the pictures' JPEG round trip, removed at the end.
class ScratchFolder {
public:
    ScratchFolder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "diagram_batch-XXXXXX").string();
        if (mkdtemp(pattern.data())) path_ = pattern + "/";
    }
    ~ScratchFolder() {
        std::error_code ignored;
        if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
    }
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

bool write_sheets(const std::vector<BookItem>& items, const PageRun& run, const DrawSettings& draw,
                  const std::function<std::string(int)>& page_path, const std::function<bool()>& step, int& pages,
                  std::string& error) {
    chess::SheetLayout layout;
    bool scaled = true;
    // Other grids: the composers' sheet with that many cells.
    if (!chess::raster::program_sheet_for(run.columns, run.rows, layout, scaled))
        layout = chess::program_sheet(run.columns, run.rows, 30, 20);
    ScratchFolder scratch;
    if (scratch.path().empty()) {
        error = "cannot make a scratch folder for the pictures";
        return false;
    }
    chess::raster::PieceSetSheet sheet(layout, scaled, scratch.path());
    int placed = 0;
    auto save = [&]() {
        const std::string path = page_path(++pages);
        if (!sheet.save(path)) {
            error = "cannot write " + path + ": " + last_failure().text;
            return false;
        }
        placed = 0;
        return true;
    };
    for (const BookItem& item : items) {
        if (placed == 0 && !sheet.start()) {
            error = "cannot make a sheet picture";
            return false;
        }
        // A marked diagram goes through its own file, marks drawn on it.
        const std::string marked = scratch.path() + "marked.jpg";
        std::string cause;
        const bool ok = item.marks.empty()
                            ? sheet.place(++placed, item.position, item.caption, font_handle(caption_font))
                            : write_diagram(item.position, item.caption, item.marks, draw, marked, cause) &&
                                  sheet.place_file(++placed, marked);
        if (!ok) {
            error = "cannot draw diagram " + std::to_string(item.number) + ": " + last_failure().text;
            return false;
        }
        if (step && !step()) {
            error = "interrupted";
            return false;
        }
        if (placed == layout.capacity() && !save()) return false;
    }
    if (placed > 0 && !save()) return false;
    if (!run.solutions) return true;
    // The answer key on pages of the paper asked for, as JPEG files.
    const render::Renderer* renderer = render::process_renderer(error);
    if (!renderer) return false;
    render::BookSettings settings;
    settings.paper = run.paper;
    settings.columns = run.columns;
    settings.rows = run.rows;
    settings.format = render::Format::Jpeg;
    settings.dpi = key_dpi;
    const int first = pages;
    render::BookWriter key(*renderer, settings, "", [&](int n) { return page_path(first + n); });
    for (const BookItem& item : items) key.add_solution({std::to_string(item.number), item.solution});
    if (!key.finish(error)) return false;
    pages += key.pages();
    return true;
}

}  // namespace

bool write_styled_diagram(const BookItem& item, const PageRun& run, const DrawSettings& draw, const std::string& path,
                          std::string& error) {
    return write_vector_diagram(diagram_of(item, run), draw.format, draw.size_cm, draw.dpi, path, error);
}

bool write_pages(const std::vector<BookItem>& items, const PageRun& run, const DrawSettings& draw,
                 const std::string& path, const std::function<std::string(int page)>& page_path,
                 const std::function<bool()>& step, int& pages, std::string& error) {
    pages = 0;
    if (!draw.pieces.empty()) return write_sheets(items, run, draw, page_path, step, pages, error);
    const render::Renderer* renderer = render::process_renderer(error);
    if (!renderer) return false;
    render::BookSettings settings;
    settings.paper = run.paper;
    settings.columns = run.columns;
    settings.rows = run.rows;
    settings.format = draw.format;
    settings.dpi = draw.dpi;
    settings.diagram_width = run.diagram_cm / 2.54 * 72;
    render::BookWriter book(*renderer, settings, path, page_path);
    for (const BookItem& item : items) {
        if (!book.add(diagram_of(item, run), error)) return false;
        if (renderer->caption_shortened(item.caption)) {
            std::fprintf(stderr, "%s: diagram %d: caption shortened to three lines\n", program, item.number);
        }
        if (run.solutions) book.add_solution({std::to_string(item.number), item.solution});
        if (step && !step()) {
            error = "interrupted";
            return false;
        }
    }
    const bool ok = book.finish(error);
    pages = book.pages();
    return ok;
}

}  // namespace batch
