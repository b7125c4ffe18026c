#pragma once
// The agent's bridges to the engines that live in loadable modules: each
// loads its module the first time it is used.

#include "core/cli/TessarinCLI.h"

namespace tessarin {

TessarinCLI::AnnotationSpecRenderer annotationRendererFromModule();

}  // namespace tessarin
