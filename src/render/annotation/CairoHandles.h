#pragma once
// Owning handles for Cairo and Pango objects.

#include <cairo.h>
#include <glib-object.h>
#include <pango/pangocairo.h>

#include <memory>

namespace tessarin {

struct CairoSurfaceDeleter {
    void operator()(cairo_surface_t* s) const noexcept { cairo_surface_destroy(s); }
};
struct CairoDeleter {
    void operator()(cairo_t* c) const noexcept { cairo_destroy(c); }
};
struct CairoFontOptionsDeleter {
    void operator()(cairo_font_options_t* o) const noexcept { cairo_font_options_destroy(o); }
};
struct GObjectDeleter {
    void operator()(void* object) const noexcept { g_object_unref(object); }
};
struct PangoFontDescriptionDeleter {
    void operator()(PangoFontDescription* d) const noexcept { pango_font_description_free(d); }
};

using CairoSurfacePtr = std::unique_ptr<cairo_surface_t, CairoSurfaceDeleter>;
using CairoPtr = std::unique_ptr<cairo_t, CairoDeleter>;
using CairoFontOptionsPtr = std::unique_ptr<cairo_font_options_t, CairoFontOptionsDeleter>;
using PangoLayoutPtr = std::unique_ptr<PangoLayout, GObjectDeleter>;
using PangoContextPtr = std::unique_ptr<PangoContext, GObjectDeleter>;
using PangoFontDescriptionPtr = std::unique_ptr<PangoFontDescription, PangoFontDescriptionDeleter>;

// Shared, for cached mosaic images handed to several draws.
using SharedSurface = std::shared_ptr<cairo_surface_t>;
inline SharedSurface shareSurface(CairoSurfacePtr surface) {
    return SharedSurface(surface.release(), CairoSurfaceDeleter{});
}

}  // namespace tessarin
