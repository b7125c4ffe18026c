#pragma once
// One-shot rewrites of stored preferences, run when the desktop application
// starts and before its AppPreferences is built, so that it reads migrated
// values. The agent does not run them.
//
// "appliedPreferenceMigrations" holds an integer bit set: bit n is set once
// migration n has succeeded. A failed migration is logged, not recorded, and
// so tried again at the next start; migrations must therefore be safe to
// repeat. A migration numbered outside 0...63 cannot be recorded and runs at
// every start.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include <nlohmann/json_fwd.hpp>

#include "core/common/Expected.h"
#include "core/common/Geometry.h"
#include "core/preferences/KeyValueStore.h"

namespace tessarin::PreferencesMigrator {

using Result = Expected<std::monostate, std::string>;
inline Result succeeded() { return std::monostate{}; }

struct Migration {
    int bit = 0;
    std::string description;
    std::function<Result(KeyValueStore&)> apply;
};

// The frame, in global points, of the connected display with this id.
using DisplayFrameLookup = std::function<std::optional<Rect>(uint32_t displayID)>;

// Migration 0: a previous area stored in global coordinates becomes
// display-local. An area whose display is no longer connected is dropped:
// its global position means nothing without the display's frame. Values that
// are not in the legacy form (already migrated, full screen) are left alone.
Result migrateLastCaptureSelectionToDisplayLocal(KeyValueStore& store, const DisplayFrameLookup& displayFrame);

// Every migration, in the order they run.
std::vector<Migration> migrations(DisplayFrameLookup displayFrame);

void run(KeyValueStore& store, const std::vector<Migration>& migrations);

}  // namespace tessarin::PreferencesMigrator
