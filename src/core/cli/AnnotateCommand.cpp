// annotate: a JSON shape spec drawn onto an image file. Needs no display.

#include <unistd.h>

#include <cerrno>
#include <optional>
#include <vector>

#include "core/capture/ExportManager.h"
#include "core/cli/CLIError.h"
#include "core/cli/CLISandbox.h"
#include "core/cli/CaptureCommandSupport.h"
#include "core/cli/Commands.h"
#include "core/annotation/AnnotationSpec.h"
#include "core/common/DurableFile.h"

namespace tessarin::Commands {
namespace {

constexpr size_t kMaxSpecBytes = AnnotationSpec::kMaxDocumentBytes;

// Reads at most one byte over the cap, so an endless stream (/dev/zero, a
// chatty pipe) ends as a too-large document instead of filling memory.
std::vector<uint8_t> readCapped(std::istream& stream) {
    std::vector<uint8_t> bytes;
    char chunk[1 << 16];
    while (bytes.size() <= kMaxSpecBytes && stream) {
        const size_t want = std::min(sizeof chunk, kMaxSpecBytes + 1 - bytes.size());
        stream.read(chunk, std::streamsize(want));
        bytes.insert(bytes.end(), chunk, chunk + stream.gcount());
    }
    return bytes;
}

std::optional<std::vector<uint8_t>> readCapped(int fd) {
    std::vector<uint8_t> bytes;
    uint8_t chunk[1 << 16];
    while (bytes.size() <= kMaxSpecBytes) {
        const size_t want = std::min(sizeof chunk, kMaxSpecBytes + 1 - bytes.size());
        const ssize_t n = ::read(fd, chunk, want);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return std::nullopt;
        if (n == 0) break;
        bytes.insert(bytes.end(), chunk, chunk + n);
    }
    return bytes;
}

std::vector<uint8_t> readShapes(TessarinCLI& cli, const std::string& value) {
    if (value == "-") {
        // A read error leaves what was read, usually nothing: the spec then fails to parse.
        return cli.in ? readCapped(*cli.in) : std::vector<uint8_t>{};
    }
    // Only regular files (a FIFO or device could block or never end), and
    // opened following no link, so the file read is the one judged.
    const auto file = openRegularFileNoFollow(CLISandbox::validated(cli.sandboxRoot, "shapes", value));
    if (!file) throw CLIError::readFailed(value);
    auto bytes = readCapped(file->get());
    if (!bytes) throw CLIError::readFailed(value);
    return std::move(bytes).value();
}

// The input image as this process sees it through its open descriptor: the
// drawing engine opens images by name, and this name cannot be redirected.
std::string descriptorPath(int fd) { return "/proc/self/fd/" + std::to_string(fd); }

void replaceAll(std::string& text, const std::string& from, const std::string& to) {
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
    }
}

}  // namespace

int runAnnotate(TessarinCLI& cli, const CLIArguments& args) {
    const auto in = args.value("in");
    if (!in) throw CLIError::missingFlag("--in");
    const auto out = args.value("out");
    if (!out) throw CLIError::missingFlag("--out");
    const auto input = CLISandbox::validated(cli.sandboxRoot, "in", *in);
    const auto output = CaptureCommandSupport::requireOutput(cli, args);

    const std::vector<uint8_t> spec = readShapes(cli, args.value("shapes").value_or("-"));
    if (!cli.renderAnnotationSpec) throw CLIError::badArguments("annotate is not available in this build");
    // An input that cannot be opened gets a name that cannot be either, so
    // the engine still checks the spec first and then reports the image.
    const auto inputFile = openRegularFileNoFollow(input);
    const std::string inputName = descriptorPath(inputFile ? inputFile->get() : -1);
    // Spec, image and write errors end the command with their own message,
    // passed whole (a type text may hold a NUL that what() would cut at).
    auto image = cli.renderAnnotationSpec(spec, inputName);
    if (!image) {
        std::string message = image.error();
        replaceAll(message, inputName, input.string());
        throw CLIError::badArguments(message);
    }
    try {
        ExportManager::writeResolvedImage(*image, output.location, output.format, output.asGiven);
    } catch (const ExportError& error) {
        throw CLIError::badArguments(error.description());
    }
    CaptureCommandSupport::emitResult(cli, output.asGiven, image->width(), image->height());
    return 0;
}

}  // namespace tessarin::Commands
