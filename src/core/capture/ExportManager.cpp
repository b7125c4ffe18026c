#include "core/capture/ExportManager.h"

#include <cerrno>

#include "core/common/Log.h"
#include "core/common/PosixFiles.h"
#include "core/common/PathResolution.h"
#include "render/ByteSink.h"
#include "render/JpegEncoder.h"
#include "render/PngEncoder.h"

namespace tessarin {
namespace {

namespace fs = std::filesystem;

ExportError writeFailure(const fs::path& target, int error) {
    return ExportError::fileSystem("Cannot write " + target.string() + ": " + errnoText(error), error);
}

ExportError fileFailure(const fs::path& target, const FileFault& fault) {
    return ExportError::fileSystem("Cannot write " + target.string() + ": " + fault.reason, fault.errorNumber);
}

void encodeInto(const Image& image, ImageFormat format, const DurableFile& file, const FileSystemCalls& calls,
                const fs::path& target) {
    FdSink sink(file.fd(), calls.write);
    const EncodeResult result =
        format.kind == ImageFormat::Kind::png ? encodePng(image, sink) : encodeJpeg(image, format.quality, sink);
    if (result) return;
    switch (result.error().kind) {
        case EncodeError::Kind::sinkFailed: throw writeFailure(target, sink.error() != 0 ? sink.error() : EIO);
        case EncodeError::Kind::invalidImage: throw ExportError::cannotCreateImageFile();
        case EncodeError::Kind::encoderFailed: break;
    }
    logLine(LogLevel::error, LogCategory::storage, "encoding " + target.string() + " failed: " + result.error().message);
    throw ExportError::failedToWriteImage();
}

// Creates the file's temporary twin, lets `fill` write it and puts it in
// place; on any failure the target is as it was.
template <class Fill>
void writeResolved(const fs::path& resolved, const fs::path& shown, const FileSystemCalls& calls, Fill fill) {
    auto file = DurableFile::create(resolved, {}, calls);
    if (!file) {
        const FileFault& fault = file.error();
        if (fault.inFolder) {
            const fs::path folder = shown.has_parent_path() ? shown.parent_path() : resolved.parent_path();
            throw ExportError::fileSystem("Cannot create folder " + folder.string() + ": " + fault.reason,
                                          fault.errorNumber);
        }
        throw fileFailure(shown, fault);
    }
    fill(*file);
    if (const auto fault = file->commit()) throw fileFailure(shown, *fault);
}

}  // namespace

namespace ExportManager {

void writeImage(const Image& image, const fs::path& path, ImageFormat format) {
    writeImage(image, path, format, FileSystemCalls::system());
}

void writeImage(const Image& image, const fs::path& path, ImageFormat format, const FileSystemCalls& calls) {
    if (image.isEmpty()) throw ExportError::cannotCreateImageFile();
    const auto resolved = resolvePath(path);
    if (!resolved) throw writeFailure(path, resolved.error());
    writeResolvedImage(image, *resolved, format, path, calls);
}

void writeResolvedImage(const Image& image, const fs::path& resolved, ImageFormat format, const fs::path& shown,
                        const FileSystemCalls& calls) {
    if (image.isEmpty()) throw ExportError::cannotCreateImageFile();
    writeResolved(resolved, shown, calls, [&](const DurableFile& file) { encodeInto(image, format, file, calls, shown); });
}

void writeResolvedEncoded(std::span<const uint8_t> encoded, const fs::path& resolved, const fs::path& shown,
                          const FileSystemCalls& calls) {
    if (encoded.empty()) throw ExportError::cannotCreateImageFile();
    writeResolved(resolved, shown, calls, [&](const DurableFile& file) {
        FdSink sink(file.fd(), calls.write);
        if (!sink.write(encoded)) throw writeFailure(shown, sink.error() != 0 ? sink.error() : EIO);
    });
}

}  // namespace ExportManager

}  // namespace tessarin
