#include "core/cli/CaptureCommandSupport.h"

#include <charconv>
#include <cmath>
#include <limits>

#include "core/capture/ExportManager.h"
#include "core/cli/CLIError.h"
#include "core/cli/CLISandbox.h"
#include "core/cli/JsonWriter.h"

namespace tessarin::CaptureCommandSupport {
namespace {

constexpr const char* kRectFormatMessage = "--rect must be x,y,w,h (top-left image pixels)";

std::string trimmed(const std::string& piece) {
    const auto first = piece.find_first_not_of(" \t");
    if (first == std::string::npos) return {};
    const auto last = piece.find_last_not_of(" \t");
    return piece.substr(first, last - first + 1);
}

enum class PieceKind { number, notANumber, nonFinite };

// A decimal or hexadecimal floating-point number with an optional sign and
// nothing around it. Infinity, NaN and values too large for a double are
// recognised so they can be refused rather than dropped.
PieceKind parsePiece(const std::string& text, double& value) {
    std::string_view view(text);
    bool negative = false;
    if (!view.empty() && (view[0] == '+' || view[0] == '-')) {
        negative = view[0] == '-';
        view.remove_prefix(1);
    }
    if (view.empty() || view[0] == '+' || view[0] == '-') return PieceKind::notANumber;
    auto format = std::chars_format::general;
    if (view.size() > 2 && view[0] == '0' && (view[1] == 'x' || view[1] == 'X')) {
        view.remove_prefix(2);
        format = std::chars_format::hex;
    }
    const auto [end, error] = std::from_chars(view.data(), view.data() + view.size(), value, format);
    if (end != view.data() + view.size()) return PieceKind::notANumber;
    if (error == std::errc::result_out_of_range) return PieceKind::nonFinite;
    if (error != std::errc()) return PieceKind::notANumber;
    if (negative) value = -value;
    return std::isfinite(value) ? PieceKind::number : PieceKind::nonFinite;
}

// --display or --display-id: absent, or a number; anything else is refused.
std::optional<int64_t> displayFlag(const CLIArguments& args, const std::string& name, const char* what) {
    const auto text = args.value(name);
    const bool bare = args.switchGiven(name);
    if (!text && !bare) return std::nullopt;
    // A value that is no number must not quietly choose the first display:
    // that captures a screen nobody asked for.
    const auto number = text ? parseStrictInteger(*text) : std::nullopt;
    if (!number) {
        throw CLIError::badArguments("--" + name + " must be " + what + " (see `tessarin list-targets`), not \"" +
                                     text.value_or("") + "\"");
    }
    return number;
}

}  // namespace

OutputTarget requireOutput(TessarinCLI& cli, const CLIArguments& args) {
    const auto out = args.value("out");
    if (!out) throw CLIError::missingFlag("--out");
    return {*out, validatedOutput(cli, *out), ImageFormat::forOutputPath(*out)};
}

std::filesystem::path validatedOutput(TessarinCLI& cli, const std::string& value) {
    // The result line names the file; JSON strings are Unicode, so a name
    // that is not UTF-8 could only be reported as some other name.
    if (!JsonWriter::isValidUtf8(value)) {
        throw CLIError::badArguments("--out must be a UTF-8 file name (the JSON result could not name this file exactly)");
    }
    return CLISandbox::validated(cli.sandboxRoot, "out", value);
}

CaptureTarget::Display displayChoice(const CLIArguments& args, CaptureTarget::Display fallback) {
    const auto id = displayFlag(args, "display-id", "a display id");
    const auto index = displayFlag(args, "display", "a display index");
    if (id) {
        if (*id < 0 || *id > int64_t{std::numeric_limits<uint32_t>::max()}) {
            // No display can carry this id.
            throw CLIError::badArguments("--display-id " + std::to_string(*id) +
                                         " not found (see `tessarin list-targets`)");
        }
        return CaptureTarget::ByID{uint32_t(*id)};
    }
    if (index) return CaptureTarget::ByIndex{*index};
    return fallback;
}

std::string displayNotFoundMessage(const CaptureTarget::Display& display, size_t connectedCount) {
    if (const auto* byID = std::get_if<CaptureTarget::ByID>(&display))
        return "--display-id " + std::to_string(byID->displayID) + " not found (see `tessarin list-targets`)";
    if (const auto* byIndex = std::get_if<CaptureTarget::ByIndex>(&display))
        return "--display " + std::to_string(byIndex->index) + " out of range (0..<" + std::to_string(connectedCount) +
               ")";
    return "no display found";
}

DisplayDescription requireDisplay(TessarinCLI& cli, const CaptureTarget::Display& display) {
    auto displays = cli.capture.displays();
    if (!displays) throw CLIError::captureFailed(displays.error().description());
    auto found = CaptureTarget::explicitScreen(display, *displays);
    if (!found) throw CLIError::badArguments(displayNotFoundMessage(display, displays->size()));
    return *found;
}

CaptureTarget::PixelRect parseRect(const std::string& value) {
    std::vector<double> numbers;
    size_t start = 0;
    while (start <= value.size()) {
        const size_t comma = std::min(value.find(',', start), value.size());
        const std::string piece = trimmed(value.substr(start, comma - start));
        start = comma + 1;
        if (piece.empty()) continue;
        double number = 0;
        switch (parsePiece(piece, number)) {
            case PieceKind::number: numbers.push_back(number); break;
            case PieceKind::notANumber: break;  // dropped
            case PieceKind::nonFinite: throw CLIError::badArguments(kRectFormatMessage);
        }
    }
    if (numbers.size() != 4) throw CLIError::badArguments(kRectFormatMessage);
    return {numbers[0], numbers[1], numbers[2], numbers[3]};
}

RegionTarget regionTarget(TessarinCLI& cli, const CLIArguments& args) {
    const auto rect = args.value("rect");
    if (!rect) throw CLIError::missingFlag("--rect");
    const auto pixels = parseRect(*rect);
    const auto display = requireDisplay(cli, displayChoice(args, CaptureTarget::ByIndex{0}));
    const auto selection = CaptureTarget::selection(pixels, display);
    if (!selection) throw CLIError::badArguments("--rect must have a positive width and height");
    return {selection->rect, display};
}

CaptureOutcome writtenCapture(TessarinCLI& cli, const OutputTarget& output, AsyncOperation<ImageResult> operation) {
    ImageResult image = cli.runAsyncOnMain<ImageResult>(std::move(operation));
    if (!image) return {false, 0, 0, image.error().description()};
    try {
        ExportManager::writeResolvedImage(*image, output.location, output.format, output.asGiven);
    } catch (const ExportError& error) {
        return {false, 0, 0, error.description()};
    }
    return {true, image->width(), image->height(), {}};
}

CaptureOutcome writtenDisplayCapture(TessarinCLI& cli, const OutputTarget& output, std::optional<uint32_t> displayID) {
    // Only a PNG file can take the platform's PNG as it is.
    if (output.format.kind != ImageFormat::Kind::png) {
        return writtenCapture(cli, output, [&cli, displayID](Completion<ImageResult> done) {
            if (displayID) return cli.capture.captureDisplay(*displayID, std::move(done));
            cli.capture.captureDisplayUnderCursor(std::move(done));
        });
    }
    FileCaptureResult capture = cli.runAsyncOnMain<FileCaptureResult>([&cli, displayID](Completion<FileCaptureResult> done) {
        cli.capture.captureDisplayForFile(displayID, std::move(done));
    });
    if (!capture) return {false, 0, 0, capture.error().description()};
    try {
        if (const auto* png = std::get_if<EncodedPNG>(&*capture)) {
            ExportManager::writeResolvedEncoded(png->bytes, output.location, output.asGiven);
        } else {
            ExportManager::writeResolvedImage(std::get<Image>(*capture), output.location, output.format, output.asGiven);
        }
    } catch (const ExportError& error) {
        return {false, 0, 0, error.description()};
    }
    return {true, widthOf(*capture), heightOf(*capture), {}};
}

AsyncOperation<ImageResult> regionCaptureOperation(TessarinCLI& cli, const Rect& rect, const DisplayDescription& display) {
    return [&cli, rect, display](Completion<ImageResult> done) mutable {
        cli.capture.prepareRegionCapture(
            display, [&cli, rect, done = std::move(done)](Expected<ScreenCaptureRegionContext, CaptureError> context) mutable {
                if (!context) {
                    done(unexpected(context.error()));
                    return;
                }
                cli.capture.captureRegion(rect, *context, std::move(done));
            });
    };
}

void emitResult(TessarinCLI& cli, const std::string& path, int64_t width, int64_t height) {
    const nlohmann::json result = {
        {"bbox", {0, 0, width, height}}, {"height", height}, {"path", path}, {"width", width}};
    cli.out << JsonWriter::compact(result).value_or(path) << '\n';
}

}  // namespace tessarin::CaptureCommandSupport
