#pragma once
// doctor's account of a Wayland session: which desktop portals answer, at
// which version, and what a user can do about each one that is missing.

#include <string>
#include <vector>

#include "platform/BackendDescription.h"
#include "platform/portal/PortalRequest.h"

namespace tessarin::portal {

// The report for a session whose portals are `portals` (or the error that
// kept them from being listed).
BackendDescription describePortals(const std::string& waylandDisplay,
                                   const Expected<std::vector<PortalInterface>, PortalError>& portals);

// Asks the session bus (5 s at most) and describes what it found.
BackendDescription describePortalBackend(const std::string& waylandDisplay);

}  // namespace tessarin::portal
