#include "render/annotation/PangoTextEngine.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <string>
#include <vector>

namespace tessarin {
namespace {

bool drawable(double fontSize) { return std::isfinite(fontSize) && fontSize > 0; }

// The text cut to the byte cap (at a character boundary) and split where
// Pango starts a new paragraph: \n, \r\n or \r.
std::vector<std::string_view> paragraphs(std::string_view text) {
    if (text.size() > PangoTextEngine::kMaxTextBytes) {
        size_t cut = PangoTextEngine::kMaxTextBytes;
        while (cut > 0 && (uint8_t(text[cut]) & 0xC0) == 0x80) --cut;
        text = text.substr(0, cut);
    }
    std::vector<std::string_view> result;
    size_t start = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\n' && text[i] != '\r') continue;
        result.push_back(text.substr(start, i - start));
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
        start = i + 1;
    }
    result.push_back(text.substr(start));
    return result;
}

}  // namespace

PangoTextEngine::PangoTextEngine() : options_(cairo_font_options_create()) {
    cairo_font_options_set_hint_metrics(options_.get(), CAIRO_HINT_METRICS_OFF);
    cairo_font_options_set_hint_style(options_.get(), CAIRO_HINT_STYLE_NONE);
    cairo_font_options_set_antialias(options_.get(), CAIRO_ANTIALIAS_GRAY);
    context_.reset(pango_font_map_create_context(pango_cairo_font_map_get_default()));
    pango_cairo_context_set_font_options(context_.get(), options_.get());
}

// Pango wraps a word wider than the line by reshaping it character by
// character, which costs far more than the square of its length. Offering
// a break (a zero-width space) every 32 characters of a long word keeps that
// search short; shorter words, and marks and joiners that must stay with the
// character before them, are left alone.
std::string withBreaksInLongWords(std::string_view text) {
    constexpr int kRun = 32;
    std::string out;
    out.reserve(text.size() + text.size() / 8);
    int run = 0;
    gunichar previous = 0;
    for (const char* p = text.data(); p < text.data() + text.size();) {
        const char* next = g_utf8_next_char(p);
        const gunichar c = g_utf8_get_char(p);
        if (g_unichar_isspace(c)) {
            run = 0;
        } else if (++run > kRun && !g_unichar_ismark(c) && !g_unichar_iszerowidth(c) && previous != 0x200D &&
                   !(c >= 0x1F1E6 && c <= 0x1F1FF)) {
            out += "\u200B";
            run = 1;
        }
        out.append(p, size_t(next - p));
        previous = c;
        p = next;
    }
    return out;
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
    // Invalid UTF-8 would make Pango complain on standard error; its valid parts are drawn instead.
    std::string valid(text);
    if (!g_utf8_validate(text.data(), gssize(text.size()), nullptr)) {
        std::unique_ptr<gchar, decltype(&g_free)> repaired(g_utf8_make_valid(text.data(), gssize(text.size())), &g_free);
        valid = repaired.get();
    }
    if (wrapWidth) valid = withBreaksInLongWords(valid);
    pango_layout_set_text(layout.get(), valid.data(), int(valid.size()));
    return layout;
}

Size PangoTextEngine::measure(std::string_view text, double fontSize, std::optional<double> wrapWidth, bool bold) const {
    if (!drawable(fontSize) || text.empty()) return {};
    Size size;
    for (const std::string_view paragraph : paragraphs(text)) {
        const PangoLayoutPtr l = layout(context_.get(), paragraph, fontSize, wrapWidth, bold);
        PangoRectangle logical;
        pango_layout_get_extents(l.get(), nullptr, &logical);
        size.width = std::max(size.width, double(logical.width) / PANGO_SCALE);
        size.height += double(logical.height) / PANGO_SCALE;
    }
    return size;
}

Rect PangoTextEngine::inkExtents(std::string_view text, double fontSize, std::optional<double> wrapWidth,
                                 bool bold) const {
    if (!drawable(fontSize) || text.empty()) return {};
    double x0 = INFINITY, y0 = INFINITY, x1 = -INFINITY, y1 = -INFINITY;
    double top = 0;
    for (const std::string_view paragraph : paragraphs(text)) {
        const PangoLayoutPtr l = layout(context_.get(), paragraph, fontSize, wrapWidth, bold);
        PangoRectangle ink, logical;
        pango_layout_get_extents(l.get(), &ink, &logical);
        if (ink.width > 0 && ink.height > 0) {
            x0 = std::min(x0, double(ink.x) / PANGO_SCALE);
            x1 = std::max(x1, double(ink.x + ink.width) / PANGO_SCALE);
            y0 = std::min(y0, top + double(ink.y) / PANGO_SCALE);
            y1 = std::max(y1, top + double(ink.y + ink.height) / PANGO_SCALE);
        }
        top += double(logical.height) / PANGO_SCALE;
    }
    if (!(x1 > x0) || !(y1 > y0)) return {};
    return {x0, y0, x1 - x0, y1 - y0};
}

void PangoTextEngine::draw(cairo_t* cr, std::string_view text, double fontSize, std::optional<double> wrapWidth,
                           bool bold) const {
    if (!drawable(fontSize) || text.empty()) return;
    cairo_set_font_options(cr, options_.get());
    PangoContextPtr context(pango_cairo_create_context(cr));
    pango_cairo_context_set_font_options(context.get(), options_.get());
    double x = 0, y = 0;
    cairo_get_current_point(cr, &x, &y);
    for (const std::string_view paragraph : paragraphs(text)) {
        const PangoLayoutPtr l = layout(context.get(), paragraph, fontSize, wrapWidth, bold);
        cairo_move_to(cr, x, y);
        pango_cairo_show_layout(cr, l.get());
        PangoRectangle logical;
        pango_layout_get_extents(l.get(), nullptr, &logical);
        y += double(logical.height) / PANGO_SCALE;
    }
    // Showing a layout moves the current point; the next shape must not start from it.
    cairo_new_path(cr);
}

}  // namespace tessarin
