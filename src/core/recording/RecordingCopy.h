#pragma once
// "Save As" for a recording: a copy that never leaves a half-written
// destination behind. The copy goes to a hidden temporary file beside the
// destination and replaces it in one rename once complete.

#include <filesystem>
#include <optional>
#include <string>

namespace tessarin {

// Copies `source` to `destination`. Nothing is copied when both name the
// same file (also through symbolic links). On failure the temporary file is
// removed, the destination is untouched and the reason is returned.
std::optional<std::string> copyRecordingSafely(const std::filesystem::path& source,
                                               const std::filesystem::path& destination);

// ".<name>.tessarin-<random hex>" in the destination's folder.
std::filesystem::path temporaryCopyPath(const std::filesystem::path& destination);

}  // namespace tessarin
