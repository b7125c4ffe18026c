#include "app/EngineModules.h"

#include "core/common/LoadableModule.h"
#include "render/annotation/AnnotationRendererModule.h"

namespace tessarin {

TessarinCLI::AnnotationSpecRenderer annotationRendererFromModule() {
    return [](std::span<const uint8_t> spec, const std::filesystem::path& imagePath) -> Expected<Image, std::string> {
        auto render =
            loadModuleFunction<RenderAnnotationSpecEntryPoint>(kAnnotationModule, kRenderAnnotationSpecEntryPoint);
        if (!render) return unexpected("annotation drawing is unavailable: " + render.error());
        AnnotationRenderOutcome outcome;
        (*render)(spec.data(), spec.size(), imagePath.c_str(), &outcome);
        if (!outcome.image) return unexpected(std::move(outcome.error));
        return std::move(*outcome.image);
    };
}

}  // namespace tessarin
