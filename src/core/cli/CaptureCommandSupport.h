#pragma once
// Pieces the capture commands share: the display flags, the region flag,
// writing the captured image, and the result line.

#include <filesystem>
#include <string>
#include <variant>

#include "core/capture/CaptureTarget.h"
#include "core/capture/HeadlessCaptureProvider.h"
#include "core/cli/TessarinCLI.h"
#include "core/common/ImageFormat.h"

namespace tessarin::CaptureCommandSupport {

struct CaptureOutcome {
    bool succeeded = false;
    int64_t width = 0;
    int64_t height = 0;
    std::string reason;  // when it failed
};

// --out, required, with its sandboxed location.
struct OutputTarget {
    std::string asGiven;
    std::filesystem::path location;
    ImageFormat format;
};
OutputTarget requireOutput(TessarinCLI& cli, const CLIArguments& args);
// An --out value checked (UTF-8, sandbox) and resolved.
std::filesystem::path validatedOutput(TessarinCLI& cli, const std::string& value);

// --display-id, else --display, else `fallback`.
CaptureTarget::Display displayChoice(const CLIArguments& args, CaptureTarget::Display fallback);
std::string displayNotFoundMessage(const CaptureTarget::Display& display, size_t connectedCount);
// The named display, or throws the display-not-found (or capture) error.
DisplayDescription requireDisplay(TessarinCLI& cli, const CaptureTarget::Display& display);

// --rect on its display: the rectangle in global points and the display.
struct RegionTarget {
    Rect rect;
    DisplayDescription display;
};
RegionTarget regionTarget(TessarinCLI& cli, const CLIArguments& args);

// The four numbers of a --rect value, or throws the x,y,w,h message.
CaptureTarget::PixelRect parseRect(const std::string& value);

// Runs the image operation on the main loop and writes what it produced.
CaptureOutcome writtenCapture(TessarinCLI& cli, const OutputTarget& output, AsyncOperation<ImageResult> operation);
// The whole display with `displayID` (the one under the pointer when none)
// at `output`. A PNG the platform already encoded of exactly that display is
// written as it is.
CaptureOutcome writtenDisplayCapture(TessarinCLI& cli, const OutputTarget& output, std::optional<uint32_t> displayID);
AsyncOperation<ImageResult> regionCaptureOperation(TessarinCLI& cli, const Rect& rect, const DisplayDescription& display);

void emitResult(TessarinCLI& cli, const std::string& path, int64_t width, int64_t height);

}  // namespace tessarin::CaptureCommandSupport
