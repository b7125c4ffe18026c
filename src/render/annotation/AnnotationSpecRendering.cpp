#include "render/annotation/AnnotationSpecRendering.h"

#include "render/ImageDecoder.h"
#include "render/annotation/ImageCompositor.h"
#include "render/annotation/PangoTextEngine.h"

namespace tessarin::AnnotationSpecRendering {

Image renderToImage(std::span<const uint8_t> specData, const std::filesystem::path& imagePath) {
    const AnnotationSpec spec = AnnotationSpec::decode(specData);
    DecodeResult decoded = decodeImageFile(imagePath);
    if (!decoded) throw AnnotationSpecError::imageLoadFailed(imagePath.string());
    Image image = std::move(*decoded);
    const auto text = std::make_shared<PangoTextEngine>();
    const Size size{double(image.width()), double(image.height())};
    const auto annotations = spec.annotations(size, text);
    if (!ImageCompositor::compositeInPlace(image, annotations, {0, 0, size.width, size.height}, *text)) {
        throw AnnotationSpecError::renderFailed();
    }
    return image;
}

}  // namespace tessarin::AnnotationSpecRendering
