#pragma once
// The key-value store on disk: one JSON object document, by default
// $XDG_CONFIG_HOME/io.tessarin.Tessarin/preferences.json.
//
// The agent and the desktop application are separate processes writing the
// same file, so a write never replaces the file from this process's cached
// copy. Each write takes an exclusive flock(2) on the sibling
// "preferences.json.lock", reads the file again, applies only this process's
// changed keys and replaces the file whole (StoredFile.h: temporary file,
// fsync, rename, folder fsync). Readers need no lock: they only ever see a
// whole old or a whole new file. A preferences.json that is a link (kept
// with a person's dotfiles) is written through and stays a link.
//
// A file that cannot be read as a JSON object (bad JSON, not UTF-8, over the
// size cap, nested too deep, not a regular file, no read permission) reads as
// empty, is logged, and is moved aside to
// "preferences.json.corrupt-<UTC time>" so a person can still recover it;
// the next write starts a fresh document. A file that could not be read for
// a passing reason (out of descriptors, I/O error) is left alone and writes
// fail rather than replace it.

#include <filesystem>
#include <memory>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "core/common/DurableFile.h"
#include "core/common/Expected.h"
#include "core/preferences/KeyValueStore.h"
#include "core/common/XdgBaseFolders.h"

namespace tessarin {

class JsonFileStore final : public KeyValueStore {
public:
    static constexpr const char* fileName = "preferences.json";

    using EnvironmentLookup = tessarin::EnvironmentLookup;

    // $XDG_CONFIG_HOME/io.tessarin.Tessarin/preferences.json; an unset, empty
    // or relative XDG_CONFIG_HOME means $HOME/.config. Fails when HOME is
    // needed and is not an absolute path.
    static Expected<std::filesystem::path, std::string> defaultPath(const EnvironmentLookup& environment);
    static Expected<std::filesystem::path, std::string> defaultPath();

    // Reads the file at once; a missing file or folder is an empty store and
    // nothing is created until the first write.
    explicit JsonFileStore(std::filesystem::path file, const FileSystemCalls& calls = FileSystemCalls::system());
    ~JsonFileStore() override;

    JsonFileStore(const JsonFileStore&) = delete;
    JsonFileStore& operator=(const JsonFileStore&) = delete;

    std::optional<nlohmann::json> object(const std::string& key) const override;
    bool set(const std::string& key, const nlohmann::json& value) override;
    bool remove(const std::string& key) override;
    // One locked read-merge-write for all the changes.
    bool apply(const KeyValueChanges& changes) override;
    std::optional<nlohmann::json> reload(const std::string& key) override;
    bool synchronize() override;

    const std::filesystem::path& path() const { return file_; }
    std::filesystem::path lockPath() const;

private:
    // Changes of this process not yet on disk.
    using Changes = KeyValueChanges;
    enum class WriteResult { written, failed, refused };

    // The file as it is now, moving a corrupt one aside; nothing when it
    // could not be read for a passing reason.
    std::optional<nlohmann::json> readForUse();
    WriteResult writePending();

    std::filesystem::path file_;
    const FileSystemCalls* calls_;
    mutable std::mutex mutex_;
    nlohmann::json document_ = nlohmann::json::object();
    Changes pending_;
};

// The preferences of this user (defaultPath()); without a home folder, a
// store in memory, and the reason logged: the program runs, remembering
// nothing.
std::shared_ptr<KeyValueStore> openUserPreferences();

}  // namespace tessarin
