// The printer page as a drawing target: the picture store's drawing
// operations on the open page of the print job, in points with the origin at
// the page's top-left corner.
#include "toolkit/printing.h"

#include <gtk/gtk.h>
#include <pango/pangocairo.h>

#include <algorithm>
#include <climits>

#include "pictures/drawing.h"
#include "pictures/internal.h"
#include "toolkit/internal.h"

namespace {

class PrinterTarget : public DrawingTarget {
public:
    PrinterTarget(int page_width, int page_height) {
        width = page_width;
        height = page_height;
        // Nothing has been sent yet, so the first colour always is.
        front_colour = 0xFFFFFFFF;
        back_colour = 0xFFFFFFFF;
    }
    ~PrinterTarget() override { release(); }

    bool begun() const { return begun_; }

    bool begin() override {
        cairo_t* page = tk::printer_page();
        if (!page) return false;
        layout_ = pango_cairo_create_layout(page);
        PangoContext* context = pango_layout_get_context(layout_);
        // One point per unit, so that a font's size in points is its size on
        // the page; unhinted, so that text measures the same on every page.
        pango_cairo_context_set_resolution(context, 72.0);
        cairo_font_options_t* options = cairo_font_options_create();
        cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
        cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_NONE);
        pango_cairo_context_set_font_options(context, options);
        cairo_font_options_destroy(options);
        pango_layout_context_changed(layout_);
        if (const PangoFontDescription* font = pango_layout_get_font_description(layout_)) {
            default_font_ = pango_font_description_copy(font);
        }
        set_font(default_font());
        begun_ = true;
        return true;
    }

    void end() override {
        begun_ = false;
        release();
    }

    // Only remembered: the colours go to the page with the shape that uses
    // them, since a picture replaces cairo's source.
    void set_front_colour(Colour colour) override { front_ = colour; }
    void set_back_colour(Colour colour) override { back_ = colour; }
    // The mode is read from the base when drawing; no bit needs preparing.
    void set_mode(unsigned) override {}

    void set_font(FontHandle font) override {
        if (layout_) pango_layout_set_font_description(layout_, font == default_font() ? default_font_ : font);
    }

    void box(int x, int y, int box_width, int box_height) override {
        cairo_t* cr = tk::printer_page();
        if (!cr) return;
        tk::Box b = tk::normalised_box(x, y, box_width, box_height);
        cairo_save(cr);
        use_colour(cr, front_);
        cairo_rectangle(cr, static_cast<double>(b.x), static_cast<double>(b.y), static_cast<double>(b.width),
                        static_cast<double>(b.height));
        if (mode & Outline) {
            // The line of a PostScript page, which cairo would draw twice as wide.
            cairo_set_line_width(cr, 1.0);
            cairo_stroke(cr);
        } else {
            cairo_fill(cr);
        }
        cairo_restore(cr);
    }

    void draw_image(ImageHandle image, int x, int y) override {
        if (image) draw_scaled(image, x, y, gdk_pixbuf_get_width(image), gdk_pixbuf_get_height(image));
    }

    void draw_scaled(ImageHandle image, int x, int y, int to_width, int to_height) {
        cairo_t* cr = tk::printer_page();
        if (!cr || !image || to_width <= 0 || to_height <= 0) return;
        int w = gdk_pixbuf_get_width(image), h = gdk_pixbuf_get_height(image);
        if (w <= 0 || h <= 0) return;
        cairo_save(cr);
        cairo_translate(cr, x, y);
        cairo_scale(cr, static_cast<double>(to_width) / w, static_cast<double>(to_height) / h);
        gdk_cairo_set_source_pixbuf(cr, image, 0, 0);
        cairo_rectangle(cr, 0, 0, w, h);
        cairo_fill(cr);
        cairo_restore(cr);
    }

    int draw_text(int x, int y, const std::string& text) override {
        if (text.empty() || !layout_) return x;
        cairo_t* cr = tk::printer_page();
        if (cr) pango_cairo_update_layout(cr, layout_);
        int w = 0, h = 0;
        tk::layout_text_size(layout_, text, w, h);
        if (cr) {
            cairo_save(cr);
            if (!(mode & TextNoBackground)) {
                use_colour(cr, back_);
                cairo_rectangle(cr, x, y, w, h);
                cairo_fill(cr);
            }
            use_colour(cr, front_);
            cairo_move_to(cr, x, y);
            pango_cairo_show_layout(cr, layout_);
            cairo_restore(cr);
        }
        return static_cast<int>(std::clamp<long long>(x + 0LL + w, INT_MIN, INT_MAX));
    }

    int text_width(const std::string& text) override {
        if (text.empty() || !layout_) return 0;
        if (cairo_t* page = tk::printer_page()) pango_cairo_update_layout(page, layout_);
        int w = 0, h = 0;
        tk::layout_text_size(layout_, text, w, h);
        return w;
    }

private:
    static void use_colour(cairo_t* cr, Colour colour) {
        cairo_set_source_rgb(cr, (colour & 0xFF) / 255.0, (colour >> 8 & 0xFF) / 255.0, (colour >> 16 & 0xFF) / 255.0);
    }

    void release() {
        if (layout_) g_object_unref(layout_);
        if (default_font_) pango_font_description_free(default_font_);
        layout_ = nullptr;
        default_font_ = nullptr;
    }

    bool begun_ = false;
    Colour front_ = 0;
    Colour back_ = 0;
    PangoLayout* layout_ = nullptr;
    PangoFontDescription* default_font_ = nullptr;
};

PrinterTarget* printer_session() { return dynamic_cast<PrinterTarget*>(tk::drawing_current()); }

}  // namespace

namespace tk {

void end_printer_session() {
    if (printer_session()) tk::drawing_set_current(nullptr);
}

}  // namespace tk

DrawTarget printer_target() {
    tk::drawing_set_current(nullptr);
    if (!tk::printer_page()) return nullptr;
    DrawTarget target = new PrinterTarget(printer_page_width(), printer_page_height());
    tk::drawing_set_current(target);
    return target;
}

void printer_draw_image(ImageHandle image, int x, int y, int width, int height) {
    PrinterTarget* target = printer_session();
    if (target && target->begun()) target->draw_scaled(image, x, y, width, height);
}

void print_fitted_page(const std::string& job_name, ImageHandle image, const std::vector<SheetCell>& cells) {
    if (printing_begin(job_name) != 1) return;
    if (cairo_t* cr = tk::printer_page()) {
        double page_width = 0, page_height = 0;
        tk::printer_page_size(page_width, page_height);
        draw_sheet_page(cr, page_width, page_height, image, cells);
    }
    printing_end();
}
