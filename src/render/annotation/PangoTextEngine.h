#pragma once
// Text measured and drawn with Pango in the desktop's default sans face
// (fontconfig's "sans") at medium weight (500), or bold for badge numbers.
// Sizes are in drawing units: one unit per image pixel. Measuring and
// drawing share font options (no metric hinting), so a measured box is the
// box the text is drawn in.
//
// Each paragraph is laid out on its own and the paragraphs are stacked:
// Pango's cost grows with the square of the lines in one layout, and a
// layout per paragraph gives the same lines.

#include <optional>
#include <string_view>

#include "core/annotation/OtherAnnotations.h"
#include "render/annotation/CairoHandles.h"

namespace tessarin {

class PangoTextEngine final : public TextMeasurer {
public:
    // Font sizes are kept within this range when measuring and drawing; a
    // non-positive or non-finite size measures and draws nothing.
    static constexpr double kMaxFontSize = 4096;
    // Text beyond this many bytes is neither measured nor drawn: a wall of
    // text larger than any annotation, and a bound on the time one takes.
    static constexpr size_t kMaxTextBytes = size_t{16} << 10;

    PangoTextEngine();
    Size measure(std::string_view text, double fontSize, std::optional<double> wrapWidth,
                 bool bold = false) const override;
    // What the drawn glyphs cover, relative to the layout's top-left corner
    // in a y-down space. It can reach past the measured box: overhanging
    // glyphs, stacked marks, a character wider than the wrap width. Empty
    // when nothing would be drawn.
    Rect inkExtents(std::string_view text, double fontSize, std::optional<double> wrapWidth, bool bold) const;
    // Draws with the layout's top-left corner at the current point of a
    // y-down user space, and leaves no path or current point behind.
    void draw(cairo_t* cr, std::string_view text, double fontSize, std::optional<double> wrapWidth, bool bold) const;

private:
    PangoLayoutPtr layout(PangoContext* context, std::string_view text, double fontSize,
                          std::optional<double> wrapWidth, bool bold) const;
    CairoFontOptionsPtr options_;
    PangoContextPtr context_;
};

}  // namespace tessarin
