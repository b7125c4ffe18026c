#pragma once
// What the running binary can say about itself: its build type and the GNU
// build id the linker stamped into it. This is what stands in for a code
// signature on Linux, where screen access is not tied to one.

#include <optional>
#include <string>

namespace tessarin::BuildIdentity {

// Hex digits of the main program's NT_GNU_BUILD_ID note, when it has one.
std::optional<std::string> buildID();

// "release build, build id <hex> ✓", "development build (Debug), build id <hex>",
// or "unknown (build id unavailable)".
std::string signingDescription(const std::string& buildType, const std::optional<std::string>& buildID);

}  // namespace tessarin::BuildIdentity
