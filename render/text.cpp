#include <pango/pangocairo.h>

#include "render/diagram_internal.h"

namespace chess::render {

namespace {

// The square text is broken into lines at: any, as nothing is hinted.
constexpr double reference_square = 100;

// The context text is measured in, made on first use.
PangoContext* measuring_context(Renderer::Fonts& fonts) {
    if (fonts.caption_context) return fonts.caption_context.get();
    fonts.caption_context.reset(pango_font_map_create_context(fonts.map.get()));
    PangoContext* context = fonts.caption_context.get();
    cairo_font_options_t* options = cairo_font_options_create();
    cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_NONE);
    cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
    pango_cairo_context_set_font_options(context, options);
    cairo_font_options_destroy(options);
    pango_context_set_round_glyph_positions(context, FALSE);
    fonts.caption_line = line_height(fonts, caption_style);
    return context;
}

Description reference_description(const TextStyle& style) {
    return description(style.family, style.share * reference_square, style.bold, style.italic);
}

}  // namespace

double line_height(Renderer::Fonts& fonts, const TextStyle& style) {
    Description d = reference_description(style);
    PangoFontMetrics* metrics = pango_context_get_metrics(measuring_context(fonts), d.get(), nullptr);
    const double height = (pango_font_metrics_get_ascent(metrics) + pango_font_metrics_get_descent(metrics)) /
                          static_cast<double>(PANGO_SCALE) / reference_square;
    pango_font_metrics_unref(metrics);
    return height;
}

TextLines break_text(Renderer::Fonts& fonts, const TextStyle& style, double width, int max_lines,
                     const std::string& text) {
    TextLines broken;
    if (text.empty()) return broken;
    const double limit = width * reference_square * PANGO_SCALE;
    std::unique_ptr<PangoLayout, GObjectFree> layout(pango_layout_new(measuring_context(fonts)));
    Description d = reference_description(style);
    pango_layout_set_font_description(layout.get(), d.get());
    pango_layout_set_width(layout.get(), static_cast<int>(limit));
    pango_layout_set_wrap(layout.get(), PANGO_WRAP_WORD);
    pango_layout_set_text(layout.get(), text.c_str(), -1);
    const std::string all = pango_layout_get_text(layout.get());
    const int count = pango_layout_get_line_count(layout.get());
    // The space a line was broken at would shift it off the centre.
    auto trimmed = [](std::string part) {
        while (!part.empty() && (part.back() == ' ' || part.back() == '\n' || part.back() == '\t')) part.pop_back();
        return part;
    };
    for (int k = 0; k < count && k < max_lines; ++k) {
        PangoLayoutLine* line = pango_layout_get_line_readonly(layout.get(), k);
        broken.lines.push_back(trimmed(all.substr(static_cast<std::size_t>(line->start_index),
                                                  static_cast<std::size_t>(line->length))));
    }
    broken.shortened = count > max_lines;
    if (!broken.shortened) return broken;
    // The last line: as much of the rest as fits before an ellipsis, cut
    // between characters. Written out as text, so that a PDF's text says
    // where the text was cut.
    const std::string rest = all.substr(static_cast<std::size_t>(
        pango_layout_get_line_readonly(layout.get(), max_lines - 1)->start_index));
    pango_layout_set_width(layout.get(), -1);
    std::vector<std::size_t> cuts;
    for (const char* p = rest.c_str(); *p; p = g_utf8_next_char(p)) cuts.push_back(static_cast<std::size_t>(p - rest.c_str()));
    auto shortened = [&](std::size_t k) { return trimmed(rest.substr(0, cuts[k])) + "\u2026"; };
    auto fits = [&](std::size_t k) {
        const std::string line = shortened(k);
        pango_layout_set_text(layout.get(), line.c_str(), -1);
        PangoRectangle logical;
        pango_layout_get_extents(layout.get(), nullptr, &logical);
        return logical.width <= limit;
    };
    std::size_t low = 0, high = cuts.size();  // fits(low); high does not
    while (high - low > 1) {
        const std::size_t middle = (low + high) / 2;
        (fits(middle) ? low : high) = middle;
    }
    broken.lines.back() = shortened(low);
    return broken;
}

std::unique_ptr<PangoLayout, GObjectFree> styled_layout(cairo_t* cr, PangoContext* context, const TextStyle& style,
                                                        double s, const std::string& text) {
    pango_cairo_update_context(cr, context);
    std::unique_ptr<PangoLayout, GObjectFree> layout(pango_layout_new(context));
    Description d = description(style.family, style.share * s, style.bold, style.italic);
    pango_layout_set_font_description(layout.get(), d.get());
    pango_layout_set_text(layout.get(), text.c_str(), -1);
    return layout;
}

}  // namespace chess::render
