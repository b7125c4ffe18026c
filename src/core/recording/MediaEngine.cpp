#include "core/recording/MediaEngine.h"

#include <mutex>

#include "core/common/LoadableModule.h"

namespace tessarin {

Expected<MediaEngine*, std::string> loadMediaEngine(const std::string& modulePath) {
    static std::mutex lock;
    static MediaEngine* engine = nullptr;
    std::lock_guard guard(lock);
    if (engine) return engine;
    auto create = functionFrom<MediaEngine*()>(modulePath.empty()
                                                   ? loadModuleSymbol(kMediaModuleName, kMediaModuleEntryPoint)
                                                   : loadModuleSymbolFromFile(modulePath, kMediaModuleEntryPoint));
    if (!create) return unexpected("the media engine could not be loaded (" + create.error() + ")");
    engine = (*create)();
    if (!engine) return unexpected(std::string("the media engine did not start"));
    return engine;
}

MovieEncoderFactory movieEncoderFactory(MediaEngine& engine) {
    return [&engine](int fd, const MovieSettings& settings, std::optional<RecordingError>& error) {
        return engine.makeMovieEncoder(fd, settings, error);
    };
}

}  // namespace tessarin
