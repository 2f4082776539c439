#include "render/page_writer.h"

#include <cairo-pdf.h>
#include <cairo-svg.h>
#include <png.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <string_view>
#include <vector>

#include "core/fen.h"
#include "pictures/codecs.h"
#include "pictures/files.h"
#include "render/output_internal.h"
#include "render/pdf_update.h"
#include "render/svg_paths.h"

namespace chess::render {

namespace {

// The picture's grey levels, one byte a pixel, rows packed: diagrams are
// drawn in black, white and the greys of antialiasing only.
std::vector<std::uint8_t> grey_of(cairo_surface_t* surface) {
    cairo_surface_flush(surface);
    const int width = cairo_image_surface_get_width(surface), height = cairo_image_surface_get_height(surface);
    const unsigned char* data = cairo_image_surface_get_data(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    std::vector<std::uint8_t> grey(static_cast<std::size_t>(width) * height);
    for (int row = 0; row < height; ++row) {
        const auto* p = reinterpret_cast<const std::uint32_t*>(data + static_cast<std::ptrdiff_t>(row) * stride);
        std::uint8_t* q = grey.data() + static_cast<std::size_t>(row) * width;
        for (int column = 0; column < width; ++column) {
            const std::uint32_t r = (p[column] >> 16) & 0xFF, g = (p[column] >> 8) & 0xFF, b = p[column] & 0xFF;
            q[column] = static_cast<std::uint8_t>((r * 299 + g * 587 + b * 114 + 500) / 1000);
        }
    }
    return grey;
}

void png_write_error(png_structp png, png_const_charp) { png_longjmp(png, 1); }
void png_warning_ignored(png_structp, png_const_charp) {}
void png_write_data(png_structp png, png_bytep data, png_size_t length) {
    if (!static_cast<ReplacingFile*>(png_get_io_ptr(png))->write(data, length)) png_error(png, "write");
}
void png_flush_nothing(png_structp) {}

// An 8-bit greyscale PNG (cairo writes RGB or ARGB only, three or four
// times the data for a picture with no colour in it), each record an iTXt
// chunk before the pixels, where a reader finds it without inflating them.
bool write_grey_png(const std::vector<std::uint8_t>& grey, int width, int height,
                    const std::vector<std::string>& records, ReplacingFile& file) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, png_write_error, png_warning_ignored);
    if (!png) return false;
    png_infop info = png_create_info_struct(png);
    if (!info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, info ? &info : nullptr);
        return false;
    }
    png_set_write_fn(png, &file, png_write_data, png_flush_nothing);
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8, PNG_COLOR_TYPE_GRAY,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    std::vector<png_text> texts(records.size());
    for (std::size_t i = 0; i < records.size(); ++i) {
        texts[i].compression = PNG_ITXT_COMPRESSION_NONE;
        texts[i].key = const_cast<char*>(png_record_keyword);
        texts[i].text = const_cast<char*>(records[i].c_str());
        texts[i].itxt_length = records[i].size();
        texts[i].lang = const_cast<char*>("");
        texts[i].lang_key = const_cast<char*>("");
    }
    if (!texts.empty()) png_set_text(png, info, texts.data(), static_cast<int>(texts.size()));
    // Measured on a 6 cm diagram at 300 dpi: rows unfiltered at zlib's
    // default level, 29 KB in 13 ms; level 9 saves 4 KB in five times the
    // time, and filters only add work to rows of black, white and runs.
    png_set_compression_level(png, 6);
    png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_NONE);
    png_write_info(png, info);
    for (int row = 0; row < height; ++row)
        png_write_row(png, grey.data() + static_cast<std::size_t>(row) * static_cast<std::size_t>(width));
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

// The records as comment segments after the encoder's JFIF header, where
// the editor's pictures keep theirs.
std::vector<std::uint8_t> with_comments(const std::vector<std::uint8_t>& jpeg, const std::vector<std::string>& records) {
    std::size_t at = 2;
    if (jpeg.size() >= 6 && jpeg[2] == 0xFF && jpeg[3] == 0xE0) at = 4 + (jpeg[4] << 8 | jpeg[5]);
    if (at > jpeg.size()) at = 2;
    std::vector<std::uint8_t> out(jpeg.begin(), jpeg.begin() + static_cast<std::ptrdiff_t>(at));
    for (const std::string& record : records) {
        const std::size_t length = record.size() + 2;
        out.insert(out.end(), {0xFF, 0xFE, static_cast<std::uint8_t>(length >> 8), static_cast<std::uint8_t>(length)});
        out.insert(out.end(), record.begin(), record.end());
    }
    out.insert(out.end(), jpeg.begin() + static_cast<std::ptrdiff_t>(at), jpeg.end());
    return out;
}

std::string xml_escaped(std::string_view text) {
    std::string out;
    for (char c : text) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            default: out += c;
        }
    }
    return out;
}

cairo_status_t append_to(void* closure, const unsigned char* data, unsigned int length) {
    static_cast<std::string*>(closure)->append(reinterpret_cast<const char*>(data), length);
    return CAIRO_STATUS_SUCCESS;
}

// The PDF's one file, and the update that follows cairo's document.
struct PdfSink {
    std::unique_ptr<ReplacingFile> file;
    PdfUpdate update;
};

cairo_status_t write_pdf_to(void* closure, const unsigned char* data, unsigned int length) {
    auto* sink = static_cast<PdfSink*>(closure);
    sink->update.saw(data, length);
    return write_to(sink->file.get(), data, length);
}

}  // namespace

struct PageWriter::Output {
    Format format;
    std::string path;
    std::function<std::string(int)> page_path;
    cairo_surface_t* surface = nullptr;
    cairo_t* cr = nullptr;
    PdfSink pdf;
    double page_height = 0;  // of the open PDF page
    // The open page of another format: its records, and for SVG the
    // document and what its title and description say.
    std::vector<std::string> records;
    std::string svg, title, description;
    std::vector<std::unique_ptr<ReplacingFile>> waiting;
    bool failed = false;
    std::string error;  // why it failed, where the failing call could not say

    void drop_page() {
        if (cr) cairo_destroy(cr);
        if (surface) cairo_surface_destroy(surface);
        cr = nullptr;
        surface = nullptr;
    }
    ~Output() { drop_page(); }
};

PageWriter::PageWriter(Format format, std::string path, std::function<std::string(int)> page_path)
    : out_(std::make_unique<Output>()) {
    out_->format = format;
    out_->path = std::move(path);
    out_->page_path = std::move(page_path);
}

PageWriter::~PageWriter() = default;

cairo_t* PageWriter::begin_page(double width, double height, double pixels_per_unit, std::string& error) {
    Output& o = *out_;
    if (o.failed || o.cr) {
        error = "cannot write " + o.path;
        return nullptr;
    }
    auto failed = [&](const std::string& why) -> cairo_t* {
        error = why;
        o.failed = true;
        o.drop_page();
        return nullptr;
    };
    o.records.clear();
    o.title.clear();
    o.description.clear();
    if (o.format == Format::Pdf) {
        if (!o.surface) {
            errno = 0;
            o.pdf.file = std::make_unique<ReplacingFile>(o.path);
            if (!o.pdf.file->stream()) return failed(cannot_write(o.path, errno));
            o.surface = cairo_pdf_surface_create_for_stream(write_pdf_to, &o.pdf, width, height);
        } else {
            cairo_pdf_surface_set_size(o.surface, width, height);
        }
        o.page_height = height;
    } else if (o.format == Format::Svg) {
        o.svg.clear();
        o.surface = cairo_svg_surface_create_for_stream(append_to, &o.svg, width, height);
        cairo_svg_surface_set_document_unit(o.surface, CAIRO_SVG_UNIT_PT);
    } else {
        // A hair's tolerance: 9 x 50.0 must stay 450 pixels.
        const double w = std::ceil(width * pixels_per_unit - 1e-6), h = std::ceil(height * pixels_per_unit - 1e-6);
        if (!(w >= 1 && h >= 1 && w <= 32767 && h <= 32767)) return failed("no picture of that size can be made");
        o.surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, static_cast<int>(w), static_cast<int>(h));
    }
    o.cr = cairo_create(o.surface);
    if (cairo_status(o.cr) != CAIRO_STATUS_SUCCESS)
        return failed("cannot draw the page: " + std::string(cairo_status_to_string(cairo_status(o.cr))));
    if (o.format == Format::Png || o.format == Format::Jpeg) {
        cairo_set_source_rgb(o.cr, 1, 1, 1);
        cairo_paint(o.cr);
        cairo_scale(o.cr, pixels_per_unit, pixels_per_unit);
    }
    pixels_per_unit_ = pixels_per_unit;
    ++pages_;
    return o.cr;
}

void PageWriter::add_diagram(const DiagramRecord& record, const std::string& title, double x, double y) {
    Output& o = *out_;
    if (!o.cr) return;
    ++diagrams_;
    const std::string text = write_diagram_record(record);
    if (o.format != Format::Pdf) {
        o.records.push_back(text);
        if (!o.title.empty()) o.title += "; ";
        o.title += title;
        if (!o.description.empty()) o.description += '\n';
        o.description += "FEN " + write_fen(record.position);
        return;
    }
    std::string error;
    if (!o.pdf.update.add(pages_, x, o.page_height - y, title, text, error)) {
        o.error = error;
        o.failed = true;
    }
}

void PageWriter::add_diagram(const Diagram& diagram, double s, double x, double y) {
    DiagramRecord record;
    record.position = diagram.position;
    record.caption = diagram.caption;
    record.annotations = diagram.options.marks;
    const double units = out_->format == Format::Png || out_->format == Format::Jpeg ? s * pixels_per_unit_ : s;
    record.square = static_cast<int>(std::clamp(std::lround(units), 1L, long{diagram_record_max_square}));
    std::string title = diagram.options.number.empty() ? std::to_string(diagrams_ + 1) : diagram.options.number;
    if (!diagram.caption.empty()) title += ". " + diagram.caption;
    add_diagram(record, title, x, y);
}

bool PageWriter::end_page(std::string& error) {
    Output& o = *out_;
    if (!o.cr) return false;
    cairo_status_t status = cairo_status(o.cr);
    if (o.format == Format::Pdf) {
        cairo_show_page(o.cr);
        if (status == CAIRO_STATUS_SUCCESS) status = cairo_status(o.cr);
        cairo_destroy(o.cr);
        o.cr = nullptr;
        if (status != CAIRO_STATUS_SUCCESS) {
            error = "cannot write " + o.path + ": " + cairo_status_to_string(status);
            o.failed = true;
            return false;
        }
        if (o.failed) error = "cannot write " + o.path + ": " + o.error;
        return !o.failed;
    }
    const std::string page = o.page_path ? o.page_path(pages_) : o.path;
    errno = 0;
    auto file = std::make_unique<ReplacingFile>(page);
    bool ok = status == CAIRO_STATUS_SUCCESS && file->stream();
    if (o.format == Format::Svg) {
        cairo_show_page(o.cr);
        cairo_destroy(o.cr);
        o.cr = nullptr;
        cairo_surface_finish(o.surface);
        ok = ok && cairo_surface_status(o.surface) == CAIRO_STATUS_SUCCESS;
        // After the opening <svg> tag, which cairo ends with its first '>'.
        const std::size_t open = o.svg.find("<svg");
        const std::size_t end = open == std::string::npos ? open : o.svg.find('>', open);
        ok = ok && end != std::string::npos;
        if (ok) {
            std::string head = "\n<title>" + xml_escaped(o.title) + "</title>\n<desc>" +
                               xml_escaped(o.description) + "</desc>\n";
            for (const std::string& record : o.records) head += "<metadata>" + xml_escaped(record) + "</metadata>\n";
            o.svg.insert(end + 1, head);
            // Path data written short on its way to the file.
            ShortSvgPaths short_paths(*file);
            ok = ShortSvgPaths::write(&short_paths, reinterpret_cast<const unsigned char*>(o.svg.data()),
                                      static_cast<unsigned int>(o.svg.size())) == CAIRO_STATUS_SUCCESS;
        }
        o.svg.clear();
    } else {
        cairo_surface_flush(o.surface);
        const int width = cairo_image_surface_get_width(o.surface), height = cairo_image_surface_get_height(o.surface);
        const std::vector<std::uint8_t> grey = grey_of(o.surface);
        o.drop_page();
        if (o.format == Format::Png) {
            ok = ok && write_grey_png(grey, width, height, o.records, *file);
        } else {
            const std::vector<std::uint8_t> jpeg =
                encode_jpeg(grey.data(), width, height, static_cast<std::size_t>(width), 8, jpeg_quality_);
            ok = ok && !jpeg.empty();
            if (ok) {
                const std::vector<std::uint8_t> commented = with_comments(jpeg, o.records);
                ok = file->write(commented.data(), commented.size());
            }
        }
    }
    o.drop_page();
    ok = ok && file->close();
    if (!ok) {
        error = cannot_write(page, errno);
        o.failed = true;
        return false;
    }
    o.waiting.push_back(std::move(file));
    return true;
}

bool PageWriter::commit(std::string& error) {
    Output& o = *out_;
    if (o.failed || o.cr) {
        error = "cannot write " + o.path + (o.error.empty() ? "" : ": " + o.error);
        return false;
    }
    if (o.format == Format::Pdf && o.surface) {
        cairo_surface_finish(o.surface);
        const cairo_status_t status = cairo_surface_status(o.surface);
        cairo_surface_destroy(o.surface);
        o.surface = nullptr;
        if (status != CAIRO_STATUS_SUCCESS) {
            error = "cannot write " + o.path + ": " + cairo_status_to_string(status);
            return false;
        }
        errno = 0;
        std::string why;
        ReplacingFile& file = *o.pdf.file;
        if (!o.pdf.update.finish([&](const void* data, std::size_t size) { return file.write(data, size); }, why)) {
            error = "cannot write " + o.path + ": " + why;
            return false;
        }
        if (!file.commit()) {
            error = cannot_write(o.path, errno);
            return false;
        }
        return true;
    }
    for (std::size_t i = 0; i < o.waiting.size(); ++i) {
        errno = 0;
        if (!o.waiting[i]->commit()) {
            error = cannot_write(o.page_path ? o.page_path(static_cast<int>(i) + 1) : o.path, errno);
            return false;
        }
    }
    o.waiting.clear();
    return true;
}

}  // namespace chess::render
