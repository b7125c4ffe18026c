#pragma once
// The lines of text recognised in the image being edited, in drawing space,
// for the highlighter to snap to. Filled once recognition has run (it may
// never: then nothing snaps).

#include <optional>
#include <vector>

#include "core/common/Geometry.h"

namespace tessarin {

class AnnotationTextLines {
public:
    void set(std::vector<Rect> lines) { lines_ = std::move(lines); }
    bool empty() const { return lines_.empty(); }

    // The line under `point`: its box grown by a quarter of its height
    // above and below (a highlighter press lands near the text, not always
    // on it); of several, the one whose middle is nearest.
    std::optional<Rect> lineAt(Point point) const;

    // Boxes normalised to the image (0..1, origin at the lower left, as
    // recognition reports them) placed over `imageDrawRect`.
    static std::vector<Rect> fromNormalized(const std::vector<Rect>& boxes, const Rect& imageDrawRect);

private:
    std::vector<Rect> lines_;
};

}  // namespace tessarin
