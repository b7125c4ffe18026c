#pragma once
// Random edit scripts for the canvas property tests: one random edit of
// the kinds an editor makes (add, insert, remove, move, restyle, hide,
// reorder, resize, fill, content), in place on an annotation list.

#include <random>
#include <string>
#include <vector>

#include "RandomAnnotations.h"
#include "core/annotation/OtherAnnotations.h"
#include "core/annotation/RectAnnotations.h"

namespace tessarin::test {

class EditScript {
public:
    EditScript(uint32_t seed, Size canvas, std::shared_ptr<const TextMeasurer> text)
        : random_(seed), shapes_(seed + 1, canvas, std::move(text)) {}

    std::string step(std::vector<AnnotationPtr>& doc) {
        const int op = doc.empty() ? 0 : below(10);
        switch (op) {
            case 0: doc.push_back(shapes_.of(kind())); return "add on top";
            case 1: doc.insert(doc.begin() + below(int(doc.size()) + 1), shapes_.of(kind())); return "insert";
            case 2: doc.erase(doc.begin() + below(int(doc.size()))); return "remove";
            case 3: {
                AnnotationPtr a = pick(doc);
                a->applyGeometry(a->geometrySnapshot(), {uniform(-40, 40), uniform(-40, 40)});
                return "move";
            }
            case 4: {
                AnnotationStyleChannels channels;
                channels.color = AnnotationColor{uniform(0, 1), uniform(0, 1), uniform(0, 1), 1};
                channels.metricValue = uniform(1, 30);
                pick(doc)->applyStyleChannels(channels);
                return "restyle";
            }
            case 5: {
                AnnotationPtr a = pick(doc);
                a->setHidden(!a->isHidden());
                return "hide or show";
            }
            case 6: {
                const size_t from = size_t(below(int(doc.size())));
                AnnotationPtr a = doc[from];
                doc.erase(doc.begin() + long(from));
                doc.insert(doc.begin() + below(int(doc.size()) + 1), a);
                return "reorder";
            }
            case 7: {
                pick(doc)->applyResizedRect({uniform(0, 150), uniform(0, 100), uniform(-60, 60), uniform(-60, 60)});
                return "resize";
            }
            case 8: {
                if (auto* shape = dynamic_cast<FillableShapeAnnotation*>(pick(doc).get())) shape->filled = !shape->filled;
                return "fill";
            }
            default: {
                AnnotationPtr a = pick(doc);
                if (auto* text = dynamic_cast<TextAnnotation*>(a.get())) text->text += "x";
                if (auto* badge = dynamic_cast<NumberAnnotation*>(a.get())) badge->number += 1;
                if (auto* mosaic = dynamic_cast<PixelateAnnotation*>(a.get())) {
                    mosaic->effect = AnnotationMosaicEffect(below(4));
                }
                return "content";
            }
        }
    }

private:
    int below(int n) { return std::uniform_int_distribution<int>(0, n - 1)(random_); }
    double uniform(double a, double b) { return std::uniform_real_distribution<double>(a, b)(random_); }
    RandomAnnotations::Kind kind() { return RandomAnnotations::Kind(below(int(RandomAnnotations::Kind::count))); }
    AnnotationPtr pick(const std::vector<AnnotationPtr>& doc) { return doc[size_t(below(int(doc.size())))]; }

    std::mt19937 random_;
    RandomAnnotations shapes_;
};

}  // namespace tessarin::test
