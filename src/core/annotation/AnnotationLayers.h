#pragma once
// The layers panel's view of a document, layer ordering and duplication.

#include <set>
#include <string>
#include <vector>

#include "core/annotation/Annotation.h"

namespace tessarin {

struct AnnotationLayerItem {
    AnnotationID id;
    AnnotationToolType toolType;
    std::string symbolName;  // icon name
    std::string title;
    bool isHidden = false;
};

enum class AnnotationLayerPlacement { front, forward, backward, back };

namespace AnnotationLayers {

// The tool's title; "Number 3" for badges; a text's first non-blank line,
// trimmed and cut to 24 characters plus "…".
std::string title(const Annotation& annotation);
AnnotationLayerItem item(const Annotation& annotation);

}  // namespace AnnotationLayers

namespace AnnotationLayerOrdering {

// A new complete order of `order`. front and back move the `moving` ids to
// the top or the bottom, each group keeping its relative order; forward and
// backward move every run of moving ids past one staying neighbour.
std::vector<AnnotationID> order(const std::vector<AnnotationID>& order, const std::set<AnnotationID>& moving,
                                AnnotationLayerPlacement placement);

}  // namespace AnnotationLayerOrdering

namespace AnnotationDuplication {

// Copies of `sources` moved by `offset`. `existing` is the document's list;
// copies never share an id with it.
std::vector<AnnotationPtr> copies(const std::vector<AnnotationPtr>& sources, const std::vector<AnnotationPtr>& existing,
                                  Point offset);

}  // namespace AnnotationDuplication

}  // namespace tessarin
