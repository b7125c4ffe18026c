#include "core/annotation/AnnotationEditorRenderer.h"

#include <mutex>

#include "core/common/LoadableModule.h"

namespace tessarin {

Expected<AnnotationEditorRenderer*, std::string> loadAnnotationEditorRenderer() {
    static std::mutex lock;
    static AnnotationEditorRenderer* renderer = nullptr;
    std::lock_guard guard(lock);
    if (renderer) return renderer;
    auto entry = loadModuleFunction<AnnotationEditorRendererEntryPoint>("annotation", kAnnotationEditorRendererEntryPoint);
    if (!entry) return unexpected("annotation drawing is unavailable: " + entry.error());
    renderer = (*entry)();
    if (!renderer) return unexpected(std::string("annotation drawing is unavailable: the renderer did not start"));
    return renderer;
}

}  // namespace tessarin
