#include "app/AgentMain.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
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
#include "core/preferences/WriteBehindStore.h"
#include "core/recording/TextRecognitionManager.h"
#include "ocr/TextRecognizerModule.h"
#include "platform/LazyScreenBackend.h"
#include "platform/PlatformFactory.h"

namespace tessarin {
namespace {

// A standard descriptor the caller closed (`>&-`) would be handed to the
// next file opened, and a result line would land inside an image. Hold each
// closed one with a descriptor that refuses writes, so output to it fails
// and is reported instead.
void holdClosedStandardDescriptors() {
    for (int fd = 0; fd <= 2; ++fd) {
        if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
        const int held = ::open("/dev/null", O_RDONLY | O_NOCTTY);
        if (held >= 0 && held != fd) {
            ::dup2(held, fd);
            ::close(held);
        }
    }
}

// The C++ stream and the C stream beneath it both flushed and error-free.
bool standardOutputDelivered() {
    std::cout.flush();
    return std::cout.good() && std::fflush(stdout) == 0 && !std::ferror(stdout);
}

}  // namespace

int runAgent(const std::string& programPath, const std::vector<std::string>& args) {
    holdClosedStandardDescriptors();
    configureLoggingFromEnvironment();
    // Before any other thread starts, and before the engine module loads.
    ocr::limitEngineThreads();
    // What the background executor's tasks use outlives it.
    ocr::ModuleTextRecognizer recognizer;
    LazyScreenBackend backend(makeScreenBackend);
    const auto preferences = openUserPreferences();
    EventLoop mainLoop;
    int status = 0;
    {
        ThreadPool background(2);
        // Commands that change a preference synchronize() before they report.
        WriteBehindStore defaults(preferences, background);
        ScreenCaptureService capture(backend, mainLoop, background);
        TextRecognitionManager textRecognition(recognizer, background, mainLoop);
        TessarinCLI cli{capture, defaults, mainLoop, std::cout, std::cerr, programPath,
                        CLISandbox::rootFromEnvironment(), &std::cin, annotationRendererFromModule(),
                        &textRecognition};
        cli.describeBackend = describeScreenBackend;
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
    if (!standardOutputDelivered() && status == 0) {
        std::cerr << R"({"error":"could not write the result to standard output"})" << std::endl;
        return 1;
    }
    return status;
}

}  // namespace tessarin
