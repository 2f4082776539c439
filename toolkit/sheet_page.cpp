// A sheet on a page: the one drawing that prints, previews and saves a
// program's sheet as PDF, so that all three show the same.
#include <cairo-pdf.h>
#include <gtk/gtk.h>

#include <algorithm>
#include <cerrno>

#include "pictures/files.h"
#include "pictures/internal.h"
#include "toolkit/printing.h"

namespace {

// A4 in points, as the print dialog's first paper.
constexpr double a4_width = 210 / 25.4 * 72, a4_height = 297 / 25.4 * 72;

// The part of the sheet's pixels inside the box, placed where it lies.
void draw_pixels(cairo_t* cr, ImageHandle sheet, const SheetBox& box) {
    const int x = std::max(box.x, 0), y = std::max(box.y, 0);
    const int right = std::min(box.x + box.width, gdk_pixbuf_get_width(sheet));
    const int bottom = std::min(box.y + box.height, gdk_pixbuf_get_height(sheet));
    if (right <= x || bottom <= y) return;
    GdkPixbuf* part = gdk_pixbuf_new_subpixbuf(sheet, x, y, right - x, bottom - y);
    if (!part) return;
    // Only these pixels go into the page: a padded pattern would have cairo
    // embed a larger picture.
    gdk_cairo_set_source_pixbuf(cr, part, x, y);
    cairo_rectangle(cr, x, y, right - x, bottom - y);
    cairo_fill(cr);
    g_object_unref(part);
}

cairo_status_t write_to(void* closure, const unsigned char* data, unsigned int length) {
    return static_cast<ReplacingFile*>(closure)->write(data, length) ? CAIRO_STATUS_SUCCESS : CAIRO_STATUS_WRITE_ERROR;
}

}  // namespace

void draw_sheet_page(cairo_t* cr, double page_width, double page_height, ImageHandle sheet,
                     const std::vector<SheetCell>& cells) {
    if (!cr || !sheet) return;
    const int width = gdk_pixbuf_get_width(sheet), height = gdk_pixbuf_get_height(sheet);
    if (!(page_width > 0 && page_height > 0) || width <= 0 || height <= 0) return;
    // One scale for both directions, on the page's exact size rather than
    // its whole points: the side that limits fills the page.
    const double scale = std::min(page_width / width, page_height / height);
    cairo_save(cr);
    cairo_translate(cr, (page_width - width * scale) / 2, (page_height - height * scale) / 2);
    cairo_scale(cr, scale, scale);
    const bool drawn = std::any_of(cells.begin(), cells.end(), [](const SheetCell& c) { return bool(c.draw); });
    if (!drawn) {
        gdk_cairo_set_source_pixbuf(cr, sheet, 0, 0);
        cairo_rectangle(cr, 0, 0, width, height);
        cairo_fill(cr);
    }
    for (const SheetCell& cell : cells) {
        const SheetBox& b = cell.box;
        if (!drawn || b.width <= 0 || b.height <= 0) continue;
        cairo_save(cr);
        cairo_rectangle(cr, b.x, b.y, b.width, b.height);
        cairo_clip(cr);
        if (cell.draw) {
            cell.draw(cr, b);
        } else {
            draw_pixels(cr, sheet, b);
        }
        cairo_restore(cr);
    }
    cairo_restore(cr);
}

bool write_sheet_pdf(const std::string& path, ImageHandle sheet, const std::vector<SheetCell>& cells) {
    errno = 0;
    ReplacingFile file(path);
    if (!file.stream()) return false;
    cairo_surface_t* surface = cairo_pdf_surface_create_for_stream(write_to, &file, a4_width, a4_height);
    cairo_t* cr = cairo_create(surface);
    draw_sheet_page(cr, a4_width, a4_height, sheet, cells);
    cairo_show_page(cr);
    cairo_status_t status = cairo_status(cr);
    cairo_destroy(cr);
    cairo_surface_finish(surface);
    if (status == CAIRO_STATUS_SUCCESS) status = cairo_surface_status(surface);
    cairo_surface_destroy(surface);
    if (status != CAIRO_STATUS_SUCCESS && status != CAIRO_STATUS_WRITE_ERROR) {
        // The file is dropped unreplaced; a failed write has said why itself.
        tk::set_failure(status == CAIRO_STATUS_NO_MEMORY ? FailureKind::OutOfMemory : FailureKind::Other,
                        path + ": " + cairo_status_to_string(status));
        return false;
    }
    return status == CAIRO_STATUS_SUCCESS && file.commit();
}
