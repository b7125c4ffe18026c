#pragma once
// One folder the application owns under its data folder,
// $XDG_DATA_HOME/io.tessarin.Tessarin/<name>/ ("History", "Pins"), with an
// index file "index.json" and sub-folders of images.
//
// The index is shared with other processes (the agent and the application),
// so it is changed only under an exclusive flock(2) on "index.json.lock":
// read, change, replace it whole (StoredFile.h: temporary file, fsync,
// rename, folder fsync). A crash at any point leaves the old index or the
// new one, whole. File names handed in are checked: a name with a path
// separator, "." or ".." is refused, so nothing outside a sub-folder is
// ever removed.

#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "core/capture/ExportManager.h"
#include "core/common/Expected.h"
#include "core/common/StoredFile.h"

namespace tessarin {

class CaptureArtifactDirectory {
public:
    static constexpr const char* indexFileName = "index.json";

    // <data home>/io.tessarin.Tessarin/<name>; data home is XDG_DATA_HOME
    // when absolute, else $HOME/.local/share. Fails without an absolute HOME.
    static Expected<std::filesystem::path, std::string> applicationSupportRoot(
        std::string_view name, const ExportManager::EnvironmentLookup& environment = ExportManager::processEnvironment());

    CaptureArtifactDirectory(std::filesystem::path root, std::vector<std::string> subfolders,
                             const FileSystemCalls& calls = FileSystemCalls::system())
        : root_(std::move(root)), subfolders_(std::move(subfolders)), calls_(&calls) {}

    const std::filesystem::path& root() const { return root_; }
    std::filesystem::path indexPath() const { return root_ / indexFileName; }
    std::filesystem::path lockPath() const { return root_ / "index.json.lock"; }
    std::filesystem::path folder(std::string_view subfolder) const { return root_ / subfolder; }

    // Creates the folder and its sub-folders; logs and returns false on failure.
    bool ensureDirectories() const;

    // What reading the index found; over `maxBytes` it is unusable.
    using IndexRead = FileRead;
    IndexRead readIndex(size_t maxBytes) const;

    // The index's read-change-write under the lock. `change` receives the
    // index as it is now and returns the new text, or nothing to leave it.
    // A failed read (I/O error) writes nothing. Returns whether the index
    // now holds what `change` returned; failures are logged.
    using IndexChange = std::function<std::optional<std::string>(const IndexRead& current)>;
    bool updateIndex(size_t maxBytes, const IndexChange& change) const;
    // Replaces the index with `text`.
    bool persist(const std::string& text) const;

    // Under the lock, moves an index judged unusable (`judged`, read with
    // `maxBytes`) to "index.json.corrupt-<UTC time>", only while it still
    // reads the same, so an index another process has just repaired is kept.
    // Returns the new path, or nothing when it was not moved.
    std::optional<std::filesystem::path> setIndexAside(const IndexRead& judged, size_t maxBytes,
                                                       const std::string& reason) const;
    // Whether an index set aside earlier is still waiting for a person.
    bool hasSetAsideIndex() const;

    static bool isSafeFileName(std::string_view name);
    // Deletes one file of a sub-folder; logs "remove failed at ..." on failure.
    void removeFile(std::string_view name, std::string_view subfolder) const;
    // Deletes every file of a sub-folder that is not in `referenced` and was
    // last modified at least `minimumAge` before `now` (younger files may
    // belong to a capture another process is still recording).
    void collectGarbage(std::string_view subfolder, const std::set<std::string, std::less<>>& referenced,
                        std::chrono::seconds minimumAge = std::chrono::seconds(0),
                        std::chrono::system_clock::time_point now = std::chrono::system_clock::now()) const;

private:
    std::filesystem::path root_;
    std::vector<std::string> subfolders_;
    const FileSystemCalls* calls_;
};

}  // namespace tessarin
