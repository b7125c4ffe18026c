#pragma once
// The command-line agent: the context every command receives, the command
// table, and the dispatcher that turns one command line into output and an
// exit status.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <istream>
#include <optional>
#include <ostream>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/capture/HeadlessCaptureProvider.h"
#include "core/cli/CLIArguments.h"
#include "core/common/EventLoop.h"
#include "core/common/Expected.h"
#include "core/common/Image.h"
#include "platform/BackendDescription.h"

namespace tessarin {

class KeyValueStore;
class TextRecognitionManager;

struct TessarinCLI {
    HeadlessCaptureProvider& capture;
    KeyValueStore& defaults;  // the preference store shared with the desktop application
    EventLoop& loop;          // the main executor the agent pumps
    std::ostream& out;        // results only
    std::ostream& err;        // JSON error and warning lines only
    std::string programPath;  // the program as invoked (argv[0]); empty when unknown
    std::optional<std::string> sandboxRoot;  // TESSARIN_SANDBOX_ROOT when set and not empty
    std::istream* in = nullptr;              // standard input; none reads as empty

    // Draws a JSON shape spec onto the image file at `imagePath`: the
    // composited image, or the first spec, image or drawing error's message.
    // The agent loads the drawing engine only when annotate runs; unset, the
    // command reports that this build cannot annotate.
    using AnnotationSpecRenderer =
        std::function<Expected<Image, std::string>(std::span<const uint8_t> spec, const std::filesystem::path& imagePath)>;
    AnnotationSpecRenderer renderAnnotationSpec = nullptr;
    TextRecognitionManager* textRecognition = nullptr;  // capture-text; none in builds without an engine
    // doctor's account of the screen back end; unset, it reports X11's access lines alone.
    std::function<BackendDescription()> describeBackend = nullptr;

    using Handler = std::function<int(TessarinCLI&, const CLIArguments&)>;
    struct Subcommand {
        std::string name;
        std::vector<std::string> aliases;
        std::vector<std::string> usageLines;  // summary first, then flag lines
        Handler run;
    };

    static const std::vector<Subcommand>& subcommands();
    // The first row whose name or alias is exactly `word`.
    static const Subcommand* subcommand(std::string_view word);
    static bool isCommandWord(std::string_view word);
    // What the desktop passes the application: links such as tessarin://capture.
    static constexpr int kUnknownCommandStatus = 64;
    // True when these arguments (without the program path) are an agent
    // command line: anything but nothing at all or a tessarin: link. An
    // unknown word then ends with the usage text and kUnknownCommandStatus.
    static bool isAgentInvocation(const std::vector<std::string>& args);
    static std::string usageText();
    // The annotate shape spec's outline that ends the usage text.
    static const std::vector<std::string>& shapeSpecLines();

    // Runs one command line (args[0] is the command word) and returns the
    // exit status: 0 success, 1 failure, 64 unknown command.
    int run(const std::vector<std::string>& args);

    void fail(const std::string& message);
    // One {"warning": message} line on the error stream: the command still
    // succeeds, but something the user relies on did not happen.
    void warn(const std::string& message);
    std::optional<std::string> ignoredFlagsWarning(const CLIArguments& args) const;

    template <class T>
    T runAsyncOnMain(AsyncOperation<T> operation) {
        return tessarin::runAsyncOnMain<T>(loop, std::move(operation));
    }
};

}  // namespace tessarin
