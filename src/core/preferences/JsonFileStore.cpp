#include "core/preferences/JsonFileStore.h"

#include <cstdlib>
#include <utility>

#include "core/common/AppInfo.h"
#include "core/common/Log.h"
#include "core/common/PathResolution.h"
#include "core/common/PosixFiles.h"
#include "core/common/StoredFile.h"
#include "core/common/XdgBaseFolders.h"
#include "core/preferences/PreferencesDocument.h"

namespace tessarin {
namespace fs = std::filesystem;
namespace {

// The folder and the file are the user's own: other users may read neither.
constexpr mode_t kFolderMode = 0700;
constexpr mode_t kFileMode = 0600;

void logStorageError(const std::string& message) { logLine(LogLevel::error, LogCategory::storage, message); }

// The file as read, and the document in it when it is one.
struct Contents {
    FileRead read;
    std::optional<nlohmann::json> document;  // a missing file is an empty document
    std::string problem;                     // why it cannot be used, when it cannot
};

Contents readContents(const fs::path& file, const FileSystemCalls& calls) {
    Contents contents{readCappedFile(file, PreferencesDocument::maxBytes, calls), std::nullopt, {}};
    switch (contents.read.kind) {
        case FileRead::Kind::missing: contents.document = nlohmann::json::object(); break;
        case FileRead::Kind::text:
            if (auto parsed = PreferencesDocument::parse(contents.read.text)) contents.document = std::move(parsed).value();
            else contents.problem = parsed.error();
            break;
        case FileRead::Kind::unusable: contents.problem = contents.read.reason; break;
        case FileRead::Kind::failed: break;
    }
    return contents;
}

// The document to build the next write on. Caller holds the lock. Nothing
// when the file is there but must not be replaced.
std::optional<nlohmann::json> readLocked(const fs::path& file, const FileSystemCalls& calls) {
    Contents contents = readContents(file, calls);
    if (contents.document) return std::move(contents.document);
    if (contents.read.kind == FileRead::Kind::failed) {
        logStorageError("preferences read failed at " + file.string() + ": " + contents.read.reason);
        return std::nullopt;
    }
    if (setAsideUnusableFile(file, contents.read, contents.problem, PreferencesDocument::maxBytes, calls)) {
        return nlohmann::json::object();
    }
    return std::nullopt;
}

// The lock file lives beside the file, so its folder must exist first.
std::optional<std::string> createFolder(const fs::path& file, const FileSystemCalls& calls) {
    const fs::path folder = file.has_parent_path() ? file.parent_path() : fs::path(".");
    const auto resolved = resolvePath(folder);
    if (!resolved) return "createDirectory failed at " + folder.string() + ": " + errnoText(resolved.error());
    const auto opened = openFolderNoFollow(*resolved, kFolderMode, calls);
    if (!opened) return "createDirectory failed at " + folder.string() + ": " + opened.error().reason;
    return std::nullopt;
}

}  // namespace

Expected<fs::path, std::string> JsonFileStore::defaultPath(const EnvironmentLookup& environment) {
    const auto base = configHome(environment);
    if (!base) return unexpected(base.error());
    return *base / AppInfo::appId / fileName;
}

Expected<fs::path, std::string> JsonFileStore::defaultPath() { return defaultPath(processEnvironment()); }

std::shared_ptr<KeyValueStore> openUserPreferences() {
    auto path = JsonFileStore::defaultPath();
    if (path) return std::make_shared<JsonFileStore>(*path);
    // Without a home folder the program still runs; it just remembers nothing.
    logLine(LogLevel::error, LogCategory::storage, "preferences unavailable: " + path.error());
    return std::make_shared<InMemoryKeyValueStore>();
}

JsonFileStore::JsonFileStore(fs::path file, const FileSystemCalls& calls) : file_(std::move(file)), calls_(&calls) {
    document_ = readForUse().value_or(nlohmann::json::object());
}

JsonFileStore::~JsonFileStore() {
    if (!pending_.empty()) {
        logStorageError(std::to_string(pending_.size()) + " preference changes were never written to " +
                        file_.string());
    }
}

fs::path JsonFileStore::lockPath() const { return file_.string() + ".lock"; }

std::optional<nlohmann::json> JsonFileStore::readForUse() {
    Contents contents = readContents(file_, *calls_);
    if (contents.document) return std::move(contents.document);
    if (contents.read.kind == FileRead::Kind::failed) {
        logStorageError("preferences read failed at " + file_.string() + ": " + contents.read.reason);
        return std::nullopt;
    }
    // Move it aside under the lock only: a writer may have replaced the bad
    // file with a good one since it was read.
    auto lock = lockExclusive(lockPath());
    if (!lock) {
        logStorageError("preferences read failed at " + file_.string() + ": " + contents.problem + " (" +
                        lock.error() + ")");
        return nlohmann::json::object();
    }
    return readLocked(file_, *calls_).value_or(nlohmann::json::object());
}

JsonFileStore::WriteResult JsonFileStore::writePending() {
    if (pending_.empty()) return WriteResult::written;
    if (auto error = createFolder(file_, *calls_)) {
        logStorageError(*error);
        return WriteResult::failed;
    }
    auto lock = lockExclusive(lockPath());
    if (!lock) {
        logStorageError("preferences write failed at " + file_.string() + ": " + lock.error());
        return WriteResult::failed;
    }
    auto document = readLocked(file_, *calls_);
    if (!document) {
        logStorageError("preferences write failed at " + file_.string() + ": the file there could not be read");
        return WriteResult::failed;
    }
    const nlohmann::json onDisk = *document;
    for (const auto& [key, value] : pending_) {
        if (value) (*document)[key] = *value;
        else document->erase(key);
    }
    // When the file already says all of it (an agent capturing the same
    // region again), there is nothing to rewrite and nothing to fsync.
    if (*document != onDisk) {
        const auto text = PreferencesDocument::serialize(*document);
        if (!text) {
            logStorageError("preferences write refused at " + file_.string() + ": the document would be " +
                            text.error());
            return WriteResult::refused;
        }
        const DurableWriteOptions options{.newFileMode = kFileMode,
                                          .folderMode = kFolderMode,
                                          .formerTemporaryPrefix = file_.filename().string() + ".tmp-"};
        if (auto fault = replaceFileContents(file_, text.value(), options, *calls_)) {
            logStorageError("preferences write failed at " + file_.string() + ": " + fault->reason);
            return WriteResult::failed;
        }
    }
    document_ = std::move(*document);
    pending_.clear();
    return WriteResult::written;
}

bool JsonFileStore::apply(const KeyValueChanges& changes) {
    const std::lock_guard guard(mutex_);
    bool accepted = true;
    KeyValueChanges added;
    for (const auto& [key, value] : changes) {
        if (value) {
            // A value that can never be written is refused now, or it would
            // sit in the pending changes and fail every later write.
            const auto alone = PreferencesDocument::serialize(nlohmann::json::object({{key, *value}}));
            if (!alone) {
                logStorageError("preferences value for \"" + key + "\" refused: it would be " + alone.error());
                accepted = false;
                continue;
            }
        }
        pending_[key] = value;
        added.emplace(key, value);
    }
    const WriteResult result = writePending();
    if (result == WriteResult::refused) {
        for (const auto& change : added) pending_.erase(change.first);
    }
    return accepted && result == WriteResult::written;
}

bool JsonFileStore::set(const std::string& key, const nlohmann::json& value) { return apply({{key, value}}); }

bool JsonFileStore::remove(const std::string& key) { return apply({{key, std::nullopt}}); }

std::optional<nlohmann::json> JsonFileStore::object(const std::string& key) const {
    const std::lock_guard guard(mutex_);
    if (const auto it = pending_.find(key); it != pending_.end()) return it->second;
    if (const auto it = document_.find(key); it != document_.end()) return *it;
    return std::nullopt;
}

std::optional<nlohmann::json> JsonFileStore::reload(const std::string& key) {
    {
        const std::lock_guard guard(mutex_);
        if (const auto fresh = readForUse()) {
            if (const auto it = fresh->find(key); it != fresh->end()) document_[key] = *it;
            else document_.erase(key);
        }
    }
    return object(key);
}

bool JsonFileStore::synchronize() {
    const std::lock_guard guard(mutex_);
    const WriteResult result = writePending();
    if (result == WriteResult::refused) {
        logStorageError("preferences changes dropped: " + std::to_string(pending_.size()) +
                        " changes could not be written to " + file_.string());
        pending_.clear();
    }
    return result == WriteResult::written;
}

}  // namespace tessarin
