#pragma once
// The number a badge shows: its text, font size and measured box, centred
// on the badge's centre. Shared by the painter and the drawn bounds so both
// place the digits alike.

#include <algorithm>
#include <string>

#include "core/annotation/OtherAnnotations.h"
#include "render/annotation/PangoTextEngine.h"

namespace tessarin {

struct BadgeDigits {
    std::string text;
    double fontSize = 0;
    Size measured;
    Point topLeft;  // of the measured box, in drawing space (y up)

    static double fontFactor(size_t characters) {
        if (characters <= 1) return 0.52;
        if (characters == 2) return 0.44;
        return 0.36;
    }

    static BadgeDigits of(const NumberAnnotation& badge, const PangoTextEngine& engine) {
        BadgeDigits d;
        d.text = std::to_string(badge.number);
        d.fontSize = std::max(badge.size * fontFactor(d.text.size()), 10.0);
        d.measured = engine.measure(d.text, d.fontSize, std::nullopt, true);
        d.topLeft = {badge.center.x - d.measured.width / 2, badge.center.y + d.measured.height / 2};
        return d;
    }
};

}  // namespace tessarin
