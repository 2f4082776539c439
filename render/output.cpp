#include "render/output.h"

#include <cairo-pdf.h>
#include <cairo-svg.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

namespace chess::render {

namespace {

// A file that replaces its target only when complete: the data goes to a
// temporary file in the target's folder, renamed over the target by
// commit(); dropped without commit, the temporary file is removed.
class OutputFile {
public:
    explicit OutputFile(const std::string& path) : path_(path) {
        if (path.empty() || path.find('\0') != std::string::npos || path.back() == '/') return;
        std::string::size_type slash = path.rfind('/');
        std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
        std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
        std::string pattern = folder + "." + name + ".XXXXXX";
        std::vector<char> buffer(pattern.begin(), pattern.end());
        buffer.push_back('\0');
        int fd = mkstemp(buffer.data());
        if (fd < 0) {
            error_ = std::strerror(errno);
            return;
        }
        temporary_ = buffer.data();
        // The mode a new file would have had.
        mode_t mask = umask(0);
        umask(mask);
        if (fchmod(fd, 0666 & ~mask) != 0 || !(stream_ = fdopen(fd, "wb"))) {
            error_ = std::strerror(errno);
            close(fd);
            discard();
        }
    }
    ~OutputFile() { discard(); }
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    bool open() const { return stream_ != nullptr; }
    bool write(const void* data, std::size_t size) {
        if (!stream_ || failed_) return false;
        if (size > 0 && std::fwrite(data, 1, size, stream_) != size) {
            failed_ = true;
            error_ = std::strerror(errno);
        }
        return !failed_;
    }
    bool commit() {
        if (!stream_) return false;
        bool ok = !failed_ && std::fflush(stream_) == 0 && !std::ferror(stream_);
        if (!ok && error_.empty()) error_ = std::strerror(errno);
        int closed = std::fclose(stream_);
        stream_ = nullptr;
        ok = ok && closed == 0;
        if (ok && std::rename(temporary_.c_str(), path_.c_str()) != 0) {
            ok = false;
            error_ = std::strerror(errno);
        }
        if (ok) temporary_.clear();
        discard();
        return ok;
    }
    // Why the file could not be written.
    std::string why() const { return "cannot write " + path_ + (error_.empty() ? "" : ": " + error_); }

private:
    void discard() {
        if (stream_) std::fclose(stream_);
        stream_ = nullptr;
        if (!temporary_.empty()) unlink(temporary_.c_str());
        temporary_.clear();
    }
    std::string path_, temporary_, error_;
    std::FILE* stream_ = nullptr;
    bool failed_ = false;
};

cairo_status_t write_to(void* closure, const unsigned char* data, unsigned int length) {
    return static_cast<OutputFile*>(closure)->write(data, length) ? CAIRO_STATUS_SUCCESS : CAIRO_STATUS_WRITE_ERROR;
}

enum class Vector { Pdf, Svg };

bool write_vector(Vector kind, const Renderer& renderer, const Diagram& diagram, double s, const std::string& path,
                  std::string& error) {
    if (!(s > 0) || !std::isfinite(s)) {
        error = "the square width must be positive";
        return false;
    }
    OutputFile file(path);
    if (!file.open()) {
        error = file.why();
        return false;
    }
    Size size = diagram_size(diagram.options, s);
    cairo_surface_t* surface = nullptr;
    if (kind == Vector::Pdf) {
        surface = cairo_pdf_surface_create_for_stream(write_to, &file, size.width, size.height);
    } else {
        surface = cairo_svg_surface_create_for_stream(write_to, &file, size.width, size.height);
        cairo_svg_surface_set_document_unit(surface, CAIRO_SVG_UNIT_PT);
    }
    cairo_t* cr = cairo_create(surface);
    renderer.draw(cr, diagram, s);
    cairo_show_page(cr);
    cairo_status_t status = cairo_status(cr);
    cairo_destroy(cr);
    cairo_surface_finish(surface);
    if (status == CAIRO_STATUS_SUCCESS) status = cairo_surface_status(surface);
    cairo_surface_destroy(surface);
    if (status != CAIRO_STATUS_SUCCESS || !file.commit()) {
        error = status == CAIRO_STATUS_WRITE_ERROR || status == CAIRO_STATUS_SUCCESS
                    ? file.why()
                    : "cannot draw " + path + ": " + cairo_status_to_string(status);
        return false;
    }
    return true;
}

}  // namespace

bool write_pdf(const Renderer& renderer, const Diagram& diagram, double square_points, const std::string& path,
               std::string& error) {
    return write_vector(Vector::Pdf, renderer, diagram, square_points, path, error);
}

bool write_svg(const Renderer& renderer, const Diagram& diagram, double square_points, const std::string& path,
               std::string& error) {
    return write_vector(Vector::Svg, renderer, diagram, square_points, path, error);
}

double square_pixels_for(double width_mm, double dpi) { return width_mm / 25.4 * dpi / 9; }

cairo_surface_t* rasterise(const Renderer& renderer, const Diagram& diagram, double s) {
    if (!(s > 0) || !std::isfinite(s)) return nullptr;
    Size size = diagram_size(diagram.options, s);
    // A hair's tolerance: 9 x 50.0 must stay 450 pixels.
    int width = static_cast<int>(std::ceil(size.width - 1e-6)), height = static_cast<int>(std::ceil(size.height - 1e-6));
    if (width <= 0 || height <= 0 || width > 32767 || height > 32767) return nullptr;
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
    if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(surface);
        return nullptr;
    }
    cairo_t* cr = cairo_create(surface);
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_paint(cr);
    renderer.draw(cr, diagram, s);
    cairo_destroy(cr);
    cairo_surface_flush(surface);
    return surface;
}

bool write_png(const Renderer& renderer, const Diagram& diagram, double square_pixels, const std::string& path,
               std::string& error) {
    cairo_surface_t* surface = rasterise(renderer, diagram, square_pixels);
    if (!surface) {
        error = "no picture of that size can be made";
        return false;
    }
    OutputFile file(path);
    bool ok = file.open() && cairo_surface_write_to_png_stream(surface, write_to, &file) == CAIRO_STATUS_SUCCESS &&
              file.commit();
    cairo_surface_destroy(surface);
    if (!ok) error = file.why();
    return ok;
}

}  // namespace chess::render
