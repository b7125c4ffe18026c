#pragma once
// Showing a file in the file manager: ask the desktop's file manager to show
// and select the item (org.freedesktop.FileManager1.ShowItems on the session
// bus); when no file manager answers, open the folder that holds the file
// (xdg-open). The decisions live here; FileManagerPort makes the calls.

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "core/common/Executor.h"
#include "core/flow/CaptureFlowPorts.h"

namespace tessarin {

class FileManagerPort {
public:
    virtual ~FileManagerPort() = default;
    // ShowItems with file URIs; completes with whether a file manager took them.
    virtual void showItems(const std::vector<std::string>& uris, Completion<bool> done) = 0;
    // Opens a folder URI with the desktop's default application.
    virtual bool openFolder(const std::string& uri) = 0;
};

// "file://" and the absolute path, every byte but the unreserved ones and
// "/" percent-encoded (RFC 3986).
std::string fileURI(const std::filesystem::path& absolutePath);

enum class RevealOutcome { shownInFileManager, openedFolder, fileMissing, failed };
template <>
struct InterruptedResult<RevealOutcome> {
    static RevealOutcome make(std::string_view) { return RevealOutcome::failed; }
};

class FileManagerReveal {
public:
    FileManagerReveal(FileManagerPort& port, FlowAlerts& alerts) : port_(port), alerts_(alerts) {}

    // `file` is nothing when the item has no file left: the warning "Image
    // Open Failed" says so. A file manager that cannot show it leaves the
    // folder opening; when that fails too, a warning says so.
    void reveal(const std::optional<std::filesystem::path>& file, Completion<RevealOutcome> done);

private:
    FileManagerPort& port_;
    FlowAlerts& alerts_;
};

}  // namespace tessarin
