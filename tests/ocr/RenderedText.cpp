#include "RenderedText.h"

#include <pango/pangocairo.h>

#include <algorithm>
#include <cctype>
#include <memory>
#include <stdexcept>
#include <vector>

#include "support/TokenAccuracy.h"

namespace tessarin::testing {
namespace {

// Owns a C handle: `destroy` runs when the pointer goes.
template <auto destroy>
struct Deleter {
    template <class T>
    void operator()(T* handle) const { destroy(handle); }
};
using Surface = std::unique_ptr<cairo_surface_t, Deleter<cairo_surface_destroy>>;
using Context = std::unique_ptr<cairo_t, Deleter<cairo_destroy>>;

void setColour(cairo_t* context, uint32_t rgb) {
    cairo_set_source_rgb(context, (rgb >> 16 & 0xff) / 255.0, (rgb >> 8 & 0xff) / 255.0, (rgb & 0xff) / 255.0);
}

// Words split at white space; each Han character (a three-byte UTF-8
// sequence led by 0xe3 to 0xe9) is a word of its own.
std::vector<std::string> words(const std::string& text) {
    std::vector<std::string> result(1);
    for (size_t i = 0; i < text.size(); ++i) {
        const auto lead = static_cast<unsigned char>(text[i]);
        if (lead >= 0xe3 && lead <= 0xe9 && i + 2 < text.size()) {
            result.push_back(text.substr(i, 3));
            result.emplace_back();
            i += 2;
        } else if (std::isspace(lead)) {
            result.emplace_back();
        } else {
            result.back() += text[i];
        }
    }
    std::erase(result, std::string());
    return result;
}

}  // namespace

Image renderedText(const std::string& text, const std::string& font, uint32_t foreground, uint32_t background) {
    constexpr int kMargin = 10;
    const Surface probe(cairo_image_surface_create(CAIRO_FORMAT_RGB24, 1, 1));
    const Context probeContext(cairo_create(probe.get()));
    const std::unique_ptr<PangoLayout, Deleter<g_object_unref>> layout(pango_cairo_create_layout(probeContext.get()));
    const std::unique_ptr<PangoFontDescription, Deleter<pango_font_description_free>> description(
        pango_font_description_from_string(font.c_str()));
    pango_layout_set_font_description(layout.get(), description.get());
    pango_layout_set_text(layout.get(), text.c_str(), -1);
    int width = 0, height = 0;
    pango_layout_get_pixel_size(layout.get(), &width, &height);

    const Surface surface(cairo_image_surface_create(CAIRO_FORMAT_RGB24, width + 2 * kMargin, height + 2 * kMargin));
    const Context context(cairo_create(surface.get()));
    setColour(context.get(), background);
    cairo_paint(context.get());
    setColour(context.get(), foreground);
    cairo_move_to(context.get(), kMargin, kMargin);
    pango_cairo_update_layout(context.get(), layout.get());
    pango_cairo_show_layout(context.get(), layout.get());
    cairo_surface_flush(surface.get());
    if (cairo_status(context.get()) != CAIRO_STATUS_SUCCESS) throw std::runtime_error("text rendering failed");

    const int stride = cairo_image_surface_get_stride(surface.get());
    const uint8_t* pixels = cairo_image_surface_get_data(surface.get());
    auto image = Image::allocate(uint32_t(width + 2 * kMargin), uint32_t(height + 2 * kMargin));
    if (!image) throw std::runtime_error("no image");
    for (uint32_t y = 0; y < image->height(); ++y) {
        const auto* in = reinterpret_cast<const uint32_t*>(pixels + ptrdiff_t(y) * stride);
        uint8_t* out = image->row(y);
        for (uint32_t x = 0; x < image->width(); ++x, out += 4) {
            *out = uint8_t(in[x] >> 16), out[1] = uint8_t(in[x] >> 8), out[2] = uint8_t(in[x]), out[3] = 255;
        }
    }
    return std::move(*image);
}

double wordAccuracy(const std::string& expected, const std::string& actual) {
    return tokenEditAccuracy(words(expected), words(actual));
}

}  // namespace tessarin::testing
