#include "render/annotation/PangoTextEngine.h"

#include <algorithm>
#include <climits>
#include <cmath>

namespace tessarin {
namespace {

bool drawable(double fontSize) { return std::isfinite(fontSize) && fontSize > 0; }

}  // namespace

PangoTextEngine::PangoTextEngine() : options_(cairo_font_options_create()) {
    cairo_font_options_set_hint_metrics(options_.get(), CAIRO_HINT_METRICS_OFF);
    cairo_font_options_set_hint_style(options_.get(), CAIRO_HINT_STYLE_NONE);
    cairo_font_options_set_antialias(options_.get(), CAIRO_ANTIALIAS_GRAY);
    context_.reset(pango_font_map_create_context(pango_cairo_font_map_get_default()));
    pango_cairo_context_set_font_options(context_.get(), options_.get());
}

PangoLayoutPtr PangoTextEngine::layout(PangoContext* context, std::string_view text, double fontSize,
                                       std::optional<double> wrapWidth, bool bold) const {
    PangoLayoutPtr layout(pango_layout_new(context));
    PangoFontDescriptionPtr font(pango_font_description_new());
    pango_font_description_set_family(font.get(), "sans");
    pango_font_description_set_weight(font.get(), bold ? PANGO_WEIGHT_BOLD : PANGO_WEIGHT_MEDIUM);
    pango_font_description_set_absolute_size(font.get(), std::min(fontSize, kMaxFontSize) * PANGO_SCALE);
    pango_layout_set_font_description(layout.get(), font.get());
    if (wrapWidth && std::isfinite(*wrapWidth)) {
        // Pango measures in 1/1024 units within an int; wider than that is unbounded anyway.
        const double units = std::clamp(*wrapWidth * PANGO_SCALE, 0.0, double(INT_MAX / 2));
        pango_layout_set_width(layout.get(), int(units));
        pango_layout_set_wrap(layout.get(), PANGO_WRAP_WORD_CHAR);
    }
    // Pango takes the length as an int; longer text is cut (and never reaches here from a 16 MiB spec).
    const auto length = gssize(std::min<size_t>(text.size(), INT_MAX / 2));
    if (g_utf8_validate(text.data(), length, nullptr)) {
        pango_layout_set_text(layout.get(), text.data(), int(length));
    } else {
        // Pango would complain on standard error; draw the valid parts instead.
        std::unique_ptr<gchar, decltype(&g_free)> valid(g_utf8_make_valid(text.data(), length), &g_free);
        pango_layout_set_text(layout.get(), valid.get(), -1);
    }
    return layout;
}

Size PangoTextEngine::measure(std::string_view text, double fontSize, std::optional<double> wrapWidth, bool bold) const {
    if (!drawable(fontSize) || text.empty()) return {};
    const PangoLayoutPtr l = layout(context_.get(), text, fontSize, wrapWidth, bold);
    PangoRectangle logical;
    pango_layout_get_extents(l.get(), nullptr, &logical);
    return {double(logical.width) / PANGO_SCALE, double(logical.height) / PANGO_SCALE};
}

void PangoTextEngine::draw(cairo_t* cr, std::string_view text, double fontSize, std::optional<double> wrapWidth,
                           bool bold) const {
    if (!drawable(fontSize) || text.empty()) return;
    cairo_set_font_options(cr, options_.get());
    PangoContextPtr context(pango_cairo_create_context(cr));
    pango_cairo_context_set_font_options(context.get(), options_.get());
    const PangoLayoutPtr l = layout(context.get(), text, fontSize, wrapWidth, bold);
    pango_cairo_show_layout(cr, l.get());
}

}  // namespace tessarin
