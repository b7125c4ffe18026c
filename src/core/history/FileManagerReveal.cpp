#include "core/history/FileManagerReveal.h"

#include <memory>

#include "core/common/Log.h"
#include "core/history/CaptureHistoryWindowModel.h"

namespace tessarin {

std::string fileURI(const std::filesystem::path& absolutePath) {
    static constexpr char hex[] = "0123456789ABCDEF";
    std::string uri = "file://";
    for (const unsigned char byte : absolutePath.string()) {
        const bool plain = (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') || (byte >= '0' && byte <= '9') ||
                           byte == '-' || byte == '.' || byte == '_' || byte == '~' || byte == '/';
        if (plain) {
            uri += static_cast<char>(byte);
            continue;
        }
        uri += '%';
        uri += hex[byte >> 4];
        uri += hex[byte & 0x0F];
    }
    return uri;
}

void FileManagerReveal::reveal(const std::optional<std::filesystem::path>& file, Completion<RevealOutcome> done) {
    if (!file) {
        alerts_.showWarning(std::string(HistoryWindowText::imageOpenFailed),
                            std::string(HistoryWindowText::imageOpenFailedMessage));
        return done(RevealOutcome::fileMissing);
    }
    const std::filesystem::path path = *file;
    auto answer = std::make_shared<Completion<RevealOutcome>>(std::move(done));
    port_.showItems({fileURI(path)}, [this, path, answer](bool shown) {
        if (shown) return (*answer)(RevealOutcome::shownInFileManager);
        logLine(LogLevel::info, LogCategory::app, "history.reveal file_manager=unavailable fallback=open_folder");
        if (port_.openFolder(fileURI(path.parent_path()))) return (*answer)(RevealOutcome::openedFolder);
        alerts_.showWarning("Reveal Failed", "No file manager could show " + path.filename().string() + ".");
        (*answer)(RevealOutcome::failed);
    });
}

}  // namespace tessarin
