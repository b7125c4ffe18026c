#include "core/annotation/AnnotationLayers.h"

#include <algorithm>

#include "core/annotation/AnnotationTools.h"
#include "core/annotation/OtherAnnotations.h"

namespace tessarin {
namespace {

constexpr size_t kTitleCharacters = 24;

std::string trimmedSpaces(const std::string& line) {
    const auto first = line.find_first_not_of(" \t\r");
    if (first == std::string::npos) return {};
    return line.substr(first, line.find_last_not_of(" \t\r") - first + 1);
}

// The byte length of the first `count` UTF-8 code points of `text`.
size_t prefixBytes(const std::string& text, size_t count) {
    size_t bytes = 0;
    for (size_t seen = 0; bytes < text.size() && seen < count; ++seen) {
        ++bytes;
        while (bytes < text.size() && (uint8_t(text[bytes]) & 0xC0) == 0x80) ++bytes;
    }
    return bytes;
}

std::string firstTextLine(const std::string& text) {
    size_t start = 0;
    while (start <= text.size()) {
        const size_t end = std::min(text.find('\n', start), text.size());
        std::string line = trimmedSpaces(text.substr(start, end - start));
        if (!line.empty()) return line;
        start = end + 1;
    }
    return {};
}

std::string symbolName(AnnotationToolType tool) {
    switch (tool) {
        case AnnotationToolType::move: return "transform-move";
        case AnnotationToolType::arrow: return "draw-arrow";
        case AnnotationToolType::line: return "draw-line";
        case AnnotationToolType::number: return "draw-number";
        case AnnotationToolType::rectangle: return "draw-rectangle";
        case AnnotationToolType::circle: return "draw-ellipse";
        case AnnotationToolType::text: return "draw-text";
        case AnnotationToolType::freehand: return "draw-freehand";
        case AnnotationToolType::highlighter: return "draw-highlight";
        case AnnotationToolType::pixelate: return "view-pixelate";
    }
    return "draw-shape";
}

}  // namespace

namespace AnnotationLayers {

std::string title(const Annotation& annotation) {
    const std::string toolTitle(AnnotationTools::title(annotation.toolType()));
    if (const auto* badge = dynamic_cast<const NumberAnnotation*>(&annotation)) {
        return toolTitle + " " + std::to_string(badge->number);
    }
    if (const auto* text = dynamic_cast<const TextAnnotation*>(&annotation)) {
        const std::string line = firstTextLine(text->text);
        if (line.empty()) return toolTitle;
        const size_t cut = prefixBytes(line, kTitleCharacters);
        return cut < line.size() ? line.substr(0, cut) + "…" : line;
    }
    return toolTitle;
}

AnnotationLayerItem item(const Annotation& annotation) {
    return {annotation.id(), annotation.toolType(), symbolName(annotation.toolType()), title(annotation),
            annotation.isHidden()};
}

}  // namespace AnnotationLayers

namespace AnnotationLayerOrdering {

std::vector<AnnotationID> order(const std::vector<AnnotationID>& order, const std::set<AnnotationID>& moving,
                                AnnotationLayerPlacement placement) {
    const auto isMoving = [&](const AnnotationID& id) { return moving.count(id) > 0; };
    std::vector<AnnotationID> result = order;
    switch (placement) {
        case AnnotationLayerPlacement::front:
            std::stable_partition(result.begin(), result.end(), [&](const auto& id) { return !isMoving(id); });
            break;
        case AnnotationLayerPlacement::back:
            std::stable_partition(result.begin(), result.end(), isMoving);
            break;
        case AnnotationLayerPlacement::forward:
            // From the top down, so a selected block climbs as one.
            for (size_t i = result.size(); i-- > 1;) {
                if (isMoving(result[i - 1]) && !isMoving(result[i])) {
                    size_t start = i - 1;
                    while (start > 0 && isMoving(result[start - 1])) --start;
                    std::rotate(result.begin() + long(start), result.begin() + long(i), result.begin() + long(i) + 1);
                    i = start + 1;
                }
            }
            break;
        case AnnotationLayerPlacement::backward:
            for (size_t i = 0; i + 1 < result.size(); ++i) {
                if (!isMoving(result[i]) && isMoving(result[i + 1])) {
                    size_t end = i + 1;
                    while (end + 1 < result.size() && isMoving(result[end + 1])) ++end;
                    std::rotate(result.begin() + long(i), result.begin() + long(i) + 1, result.begin() + long(end) + 1);
                    i = end;
                }
            }
            break;
    }
    return result;
}

}  // namespace AnnotationLayerOrdering

namespace AnnotationDuplication {

std::vector<AnnotationPtr> copies(const std::vector<AnnotationPtr>& sources, const std::vector<AnnotationPtr>& existing,
                                  Point offset) {
    std::set<AnnotationID> taken;
    for (const auto& a : existing) taken.insert(a->id());
    std::vector<AnnotationPtr> result;
    for (const auto& source : sources) {
        AnnotationPtr copy = source->duplicate();
        while (taken.count(copy->id())) copy = source->duplicate();  // a collision is astronomically rare
        taken.insert(copy->id());
        copy->applyGeometry(copy->geometrySnapshot(), offset);
        result.push_back(std::move(copy));
    }
    return result;
}

}  // namespace AnnotationDuplication
}  // namespace tessarin
