#include "render/annotation/AnnotationRendererModule.h"

#include <exception>
#include <new>

#include "core/common/ModuleBarrier.h"
#include "render/annotation/AnnotationSpecRendering.h"
#include "render/annotation/CairoAnnotationEditorRenderer.h"

extern "C" __attribute__((visibility("default"))) void tessarin_render_annotation_spec(
    const uint8_t* spec, size_t specSize, const char* imagePath, tessarin::AnnotationRenderOutcome* outcome) {
    using namespace tessarin;
    static_assert(std::is_same_v<decltype(tessarin_render_annotation_spec), RenderAnnotationSpecEntryPoint>);
    // Nothing may leave the module (see core/common/ModuleBarrier.h): the
    // spec's own errors keep their text, anything else is caught last.
    const auto thrown = runBehindModuleBarrier([&] {
        try {
            outcome->image = AnnotationSpecRendering::renderToImage({spec, specSize}, imagePath);
        } catch (const AnnotationSpecError& error) {
            outcome->error = error.description();
        } catch (const std::bad_alloc&) {
            outcome->error = AnnotationSpecError::renderFailed().description();
        }
    });
    if (thrown) {
        outcome->image.reset();
        (void)runBehindModuleBarrier([&] { outcome->error = *thrown; });
    }
}

// The editor's renderer: made once, for the life of the process.
extern "C" __attribute__((visibility("default"))) tessarin::AnnotationEditorRenderer* tessarin_annotation_editor_renderer() {
    using namespace tessarin;
    static_assert(std::is_same_v<decltype(tessarin_annotation_editor_renderer), AnnotationEditorRendererEntryPoint>);
    static AnnotationEditorRenderer* renderer = nullptr;
    (void)runBehindModuleBarrier([&] {
        static const std::unique_ptr<AnnotationEditorRenderer> made = makeCairoAnnotationEditorRenderer();
        renderer = made.get();
    });
    return renderer;
}
