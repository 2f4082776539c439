#include "batch/pages.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>

#include "batch/vector_pieces.h"
#include "input/input_source.h"
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
    render::Diagram d = render::book_diagram(item.position, item.caption, item.marks, item.number, run.style);
    if (run.print == PrintStyle::Plain) return d;
    if (item.problem) {
        d.problem = item.problem;
    } else if (run.print == PrintStyle::Problem) {
        auto problem = std::make_shared<chess::Problem>();
        problem->title = item.caption;
        d.problem = std::move(problem);
    }
    return d;
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

// The run's paper and grid, in a format and resolution.
render::BookSettings book_settings(const PageRun& run, render::Format format, int dpi) {
    render::BookSettings settings;
    settings.paper = run.paper;
    settings.columns = run.columns;
    settings.rows = run.rows;
    settings.format = format;
    settings.dpi = dpi;
    return settings;
}

}  // namespace

// Raster sheets: the editor's pictures, many to a JPEG page.
struct ItemPages::Sheets {
    chess::SheetLayout layout;
    bool scaled = true;
    ScratchFolder scratch;
    std::unique_ptr<chess::raster::PieceSetSheet> sheet;
    int placed = 0;
};

struct ItemPages::Book {
    explicit Book(const render::Renderer& renderer, const render::BookSettings& settings, const std::string& path,
                  std::function<std::string(int)> page_path)
        : writer(renderer, settings, path, std::move(page_path)) {}
    render::BookWriter writer;
};

bool write_styled_diagram(const BookItem& item, const PageRun& run, const DrawSettings& draw, const std::string& path,
                          std::string& error) {
    return write_vector_diagram(diagram_of(item, run), draw.format, draw.size_cm, draw.dpi, path, error);
}

ItemPages::ItemPages(const PageRun& run, const DrawSettings& draw, std::string path,
                       std::function<std::string(int page)> page_path)
    : run_(run), draw_(draw), path_(std::move(path)), page_path_(std::move(page_path)) {}

ItemPages::~ItemPages() {
    delete book_;
    delete sheets_;
    if (key_) std::fclose(key_);
}

bool ItemPages::keep_solution(const BookItem& item, std::string& error) {
    // One line a solution: the number, a tab, 'v' for a problem's solution
    // set as given or '-', a tab, the moves, a problem's line breaks and
    // backslashes escaped.
    if (!key_) {
        const int fd = chess::input::unlinked_temporary_file(error);
        if (fd < 0 || !(key_ = fdopen(fd, "w+"))) {
            if (fd >= 0) close(fd);
            error = "cannot keep the answer key: " + error;
            return false;
        }
    }
    std::string moves;
    for (char c : item.solution) moves += c == '\n' ? "\\n" : c == '\\' ? "\\\\" : std::string(1, c);
    if (std::fprintf(key_, "%d\t%c\t%s\n", item.number, item.problem ? 'v' : '-', moves.c_str()) < 0) {
        error = "cannot keep the answer key: " + std::string(std::strerror(errno));
        return false;
    }
    return true;
}

bool ItemPages::add(const BookItem& item, std::string& error) {
    if (run_.solutions && !keep_solution(item, error)) return false;
    if (draw_.pieces.empty()) {
        if (!book_) {
            const render::Renderer* renderer = render::process_renderer(error);
            if (!renderer) return false;
            render::BookSettings settings = book_settings(run_, draw_.format, draw_.dpi);
            settings.diagram_width = run_.diagram_cm / 2.54 * 72;
            book_ = new Book(*renderer, settings, path_, page_path_);
            renderer_ = renderer;
        }
        const render::Diagram diagram = diagram_of(item, run_);
        if (!book_->writer.add(diagram, error)) return false;
        if (!diagram.problem && renderer_->caption_shortened(item.caption)) {
            std::fprintf(stderr, "%s: diagram %d: caption shortened to three lines\n", program, item.number);
        }
        return true;
    }
    if (!sheets_) {
        sheets_ = new Sheets;
        // Other grids: the composers' sheet with that many cells.
        if (!chess::raster::program_sheet_for(run_.columns, run_.rows, sheets_->layout, sheets_->scaled))
            sheets_->layout = chess::program_sheet(run_.columns, run_.rows, 30, 20);
        if (sheets_->scratch.path().empty()) {
            error = "cannot make a scratch folder for the pictures";
            return false;
        }
        sheets_->sheet = std::make_unique<chess::raster::PieceSetSheet>(sheets_->layout, sheets_->scaled,
                                                                        sheets_->scratch.path());
    }
    Sheets& s = *sheets_;
    if (s.placed == 0) {
        if (!s.sheet->start()) {
            error = "cannot make a sheet picture";
            return false;
        }
        image_set_comment(s.sheet->sheet_image(), std::string());
    }
    // A marked diagram goes through its own file, marks drawn on it.
    const std::string marked = s.scratch.path() + "marked.jpg";
    std::string cause;
    const bool placed = item.marks.empty()
                            ? s.sheet->place(++s.placed, item.position, item.caption, font_handle(caption_font))
                            : write_diagram(item.position, item.caption, item.marks, draw_, marked, cause) &&
                                  s.sheet->place_file(++s.placed, marked);
    if (!placed) {
        error = "cannot draw diagram " + std::to_string(item.number) + ": " + last_failure().text;
        return false;
    }
    // The page says which positions it shows, one record a diagram in order.
    image_add_comment(s.sheet->sheet_image(), pieces_record(item.position, item.caption, item.marks));
    if (s.placed == s.layout.capacity()) return save_sheet(error);
    return true;
}

bool ItemPages::save_sheet(std::string& error) {
    const std::string path = page_path_(++pages_);
    if (!sheets_->sheet->save(path)) {
        error = "cannot write " + path + ": " + last_failure().text;
        return false;
    }
    sheets_->placed = 0;
    return true;
}

bool ItemPages::finish(std::string& error) {
    // The key's lines as they were kept.
    std::string line;
    auto next = [&](render::KeyEntry& entry) {
        if (!key_) return false;
        char* text = nullptr;
        std::size_t size = 0;
        const ssize_t got = getline(&text, &size, key_);
        if (got > 0) line.assign(text, static_cast<std::size_t>(got - 1));
        std::free(text);
        if (got <= 0) return false;
        const std::size_t tab = line.find('\t');
        entry.number = line.substr(0, tab);
        entry.verbatim = line.compare(tab + 1, 1, "v") == 0;
        entry.solution.clear();
        for (std::size_t k = tab + 3; k < line.size(); ++k) {
            if (line[k] == '\\' && k + 1 < line.size()) {
                entry.solution += line[++k] == 'n' ? '\n' : line[k];
            } else {
                entry.solution += line[k];
            }
        }
        return true;
    };
    if (key_ && (std::fflush(key_) != 0 || std::fseek(key_, 0, SEEK_SET) != 0)) {
        error = "cannot read the answer key back: " + std::string(std::strerror(errno));
        return false;
    }
    if (sheets_) {
        if (sheets_->placed > 0 && !save_sheet(error)) return false;
        return !run_.solutions || write_key(next, error);
    }
    if (!book_) return true;
    if (run_.solutions) book_->writer.set_key(next);
    book_->writer.set_stop(stop_);
    const bool ok = book_->writer.finish(error);
    pages_ = book_->writer.pages();
    if (key_ && std::ferror(key_)) {
        error = "cannot read the answer key back";
        return false;
    }
    return ok;
}

bool ItemPages::write_key(const std::function<bool(render::KeyEntry&)>& next, std::string& error) {
    // The answer key beside raster sheets: on pages of the paper asked for,
    // as JPEG files.
    const render::Renderer* renderer = render::process_renderer(error);
    if (!renderer) return false;
    const render::BookSettings settings = book_settings(run_, render::Format::Jpeg, key_dpi);
    const int first = pages_;
    render::BookWriter key(*renderer, settings, "", [&](int n) { return page_path_(first + n); });
    key.set_key(next);
    key.set_stop(stop_);
    if (!key.finish(error)) return false;
    pages_ += key.pages();
    return true;
}

}  // namespace batch
