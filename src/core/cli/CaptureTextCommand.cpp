// capture-text: recognise the text of an image file, a screen region or an
// application window and print it as one JSON line.

#include <stdexcept>

#include "core/capture/ExportManager.h"
#include "core/cli/CLIError.h"
#include "core/cli/CLISandbox.h"
#include "core/cli/CaptureCommandSupport.h"
#include "core/cli/Commands.h"
#include "core/cli/GraphemeCount.h"
#include "core/cli/JsonWriter.h"
#include "core/common/DurableFile.h"
#include "core/recording/TextRecognitionManager.h"
#include "render/ImageDecoder.h"

namespace tessarin::Commands {
namespace {

using namespace CaptureCommandSupport;
namespace fs = std::filesystem;

// The capture service's own error, reported with its own text (no agent prefix).
[[noreturn]] void throwCaptureError(const char* message) {
    throw std::runtime_error(CaptureError::captureFailed(message).description());
}

Image decodedInput(TessarinCLI& cli, const std::string& value) {
    const auto file = openRegularFileNoFollow(CLISandbox::validated(cli.sandboxRoot, "in", value));
    if (!file) throwCaptureError(CaptureMessages::loadFailed);
    auto image = decodeOpenedImageFile(file->get(), value);
    if (image) return std::move(image).value();
    switch (image.error().kind) {
        case DecodeError::Kind::fileSystem:
        case DecodeError::Kind::unsupportedFormat: throwCaptureError(CaptureMessages::loadFailed);
        case DecodeError::Kind::corrupt:
        case DecodeError::Kind::tooLarge: break;
    }
    throwCaptureError(CaptureMessages::decodeFailed);
}

Image captured(TessarinCLI& cli, AsyncOperation<ImageResult> operation) {
    ImageResult image = cli.runAsyncOnMain<ImageResult>(std::move(operation));
    if (!image) throw CLIError::captureFailed(image.error().description());
    return std::move(image).value();
}

// --in, else --rect, else --app: the first one given is the source.
Image sourceImage(TessarinCLI& cli, const CLIArguments& args) {
    if (const auto in = args.value("in")) return decodedInput(cli, *in);
    if (args.value("rect")) {
        const RegionTarget target = regionTarget(cli, args);
        return captured(cli, regionCaptureOperation(cli, target.rect, target.display));
    }
    if (const auto app = args.value("app")) {
        const std::string title = args.value("window").value_or("");
        return captured(cli, [&cli, owner = *app, title](Completion<ImageResult> done) {
            cli.capture.captureWindow(owner, title, std::move(done));
        });
    }
    throw CLIError::badArguments("capture-text needs --in <png>, --rect x,y,w,h, or --app <name>");
}

void emitTextResult(TessarinCLI& cli, const std::string& text, const std::optional<fs::path>& path) {
    nlohmann::json result = {{"chars", graphemeCount(text)}, {"text", text}};
    if (path) result["path"] = path->string();
    cli.out << JsonWriter::compact(result).value_or(text) << '\n';
}

}  // namespace

int runCaptureText(TessarinCLI& cli, const CLIArguments& args) {
    Image image = sourceImage(cli, args);

    // Examined only after the capture, as a copy of the image read.
    std::optional<fs::path> written;
    if (const auto out = args.value("out")) {
        written = validatedOutput(cli, *out);
        // This result names the resolved file, whose folders must be UTF-8 too.
        if (!JsonWriter::isValidUtf8(written->string())) {
            throw CLIError::badArguments("--out must be a UTF-8 file name (the JSON result could not name this file "
                                         "exactly)");
        }
        ExportManager::writeResolvedImage(image, *written, ImageFormat::forOutputPath(*out), *out);
    }

    const bool collapse = args.flag("no-linebreaks");
    if (cli.textRecognition == nullptr) {
        throw CLIError::captureFailed("text recognition failed: this build has no text recognition engine");
    }
    TextRecognitionManager& recognition = *cli.textRecognition;
    RecognizedText text = cli.runAsyncOnMain<RecognizedText>(
        [&recognition, image = std::move(image)](Completion<RecognizedText> done) mutable {
            recognition.extractFullText(std::move(image), std::move(done));
        });
    if (!text) throw CLIError::captureFailed("text recognition failed: " + text.error().description());
    emitTextResult(cli, collapse ? TextRecognitionManager::collapsingLinebreaks(*text) : *text, written);
    return 0;
}

}  // namespace tessarin::Commands
