// annotate: a JSON shape spec drawn onto an image file. Needs no display.

#include <sys/stat.h>

#include <fstream>
#include <vector>

#include "core/capture/ExportManager.h"
#include "core/cli/CLIError.h"
#include "core/cli/CLISandbox.h"
#include "core/cli/CaptureCommandSupport.h"
#include "core/cli/Commands.h"
#include "core/annotation/AnnotationSpec.h"

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

std::vector<uint8_t> readShapes(TessarinCLI& cli, const std::string& value) {
    if (value == "-") {
        // A read error leaves what was read, usually nothing: the spec then fails to parse.
        return cli.in ? readCapped(*cli.in) : std::vector<uint8_t>{};
    }
    const auto path = CLISandbox::validated(cli.sandboxRoot, "shapes", value);
    // Only regular files: a FIFO or device could block or never end.
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) throw CLIError::readFailed(value);
    std::ifstream file(path, std::ios::binary);
    if (!file) throw CLIError::readFailed(value);
    std::vector<uint8_t> bytes = readCapped(file);
    if (file.bad()) throw CLIError::readFailed(value);
    return bytes;
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
    // Spec, image and write errors end the command with their own message,
    // passed whole (a type text may hold a NUL that what() would cut at).
    auto image = cli.renderAnnotationSpec(spec, input);
    if (!image) throw CLIError::badArguments(image.error());
    try {
        ExportManager::writeImage(*image, output.location, output.format);
    } catch (const ExportError& error) {
        throw CLIError::badArguments(error.description());
    }
    CaptureCommandSupport::emitResult(cli, output.asGiven, image->width(), image->height());
    return 0;
}

}  // namespace tessarin::Commands
