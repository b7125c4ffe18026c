#include "app/AgentMain.h"

#include <iostream>
#include <memory>

#include "app/EngineModules.h"
#include "core/capture/ScreenCaptureService.h"
#include "core/cli/CLISandbox.h"
#include "core/cli/TessarinCLI.h"
#include "core/common/EventLoop.h"
#include "core/common/Log.h"
#include "core/common/ThreadPool.h"
#include "core/preferences/JsonFileStore.h"
#include "core/recording/TextRecognitionManager.h"
#include "ocr/TextRecognizerModule.h"
#include "platform/LazyScreenBackend.h"
#include "platform/PlatformFactory.h"

namespace tessarin {
namespace {

std::unique_ptr<KeyValueStore> openPreferences() {
    auto path = JsonFileStore::defaultPath();
    if (path) return std::make_unique<JsonFileStore>(*path);
    // Without a home folder the command still runs; it just remembers nothing.
    logLine(LogLevel::error, LogCategory::storage, "preferences unavailable: " + path.error());
    return std::make_unique<InMemoryKeyValueStore>();
}

}  // namespace

int runAgent(const std::string& programPath, const std::vector<std::string>& args) {
    configureLoggingFromEnvironment();
    // Before any other thread starts, and before the engine module loads.
    ocr::limitEngineThreads();
    // What the background executor's tasks use outlives it.
    ocr::ModuleTextRecognizer recognizer;
    LazyScreenBackend backend(makeScreenBackend);
    const auto preferences = openPreferences();
    EventLoop mainLoop;
    int status = 0;
    {
        ThreadPool background(2);
        ScreenCaptureService capture(backend, mainLoop, background);
        TextRecognitionManager textRecognition(recognizer, background, mainLoop);
        TessarinCLI cli{capture, *preferences, mainLoop, std::cout, std::cerr, programPath,
                        CLISandbox::rootFromEnvironment(), &std::cin, annotationRendererFromModule(),
                        &textRecognition};
        status = cli.run(args);
        // The services stop first (what is in flight completes as cancelled),
        // then the background executor finishes its tasks, then the main
        // executor runs the continuations they posted, while every service
        // still exists.
        textRecognition.shutdown();
        capture.shutdown();
        background.shutdown();
        mainLoop.drain();
    }
    std::cout.flush();
    return status;
}

}  // namespace tessarin
