#include "core/preferences/PreferencesMigrator.h"

#include <cmath>
#include <exception>
#include <limits>

#include <nlohmann/json.hpp>

#include "core/capture/JsonFields.h"
#include "core/capture/StoredCaptureSelection.h"
#include "core/common/Log.h"
#include "core/preferences/PreferenceKeys.h"
#include "core/preferences/StoredJson.h"

namespace tessarin::PreferencesMigrator {
namespace {

constexpr int recordableBits = 64;

uint64_t appliedMigrations(const KeyValueStore& store) {
    const auto stored = store.object(PreferenceKey::appliedPreferenceMigrations);
    if (!stored || !stored->is_number_integer()) return 0;
    // Stored signed, so a set bit 63 reads back negative; both mean the bits.
    if (stored->is_number_unsigned()) return stored->get<uint64_t>();
    return static_cast<uint64_t>(stored->get<int64_t>());
}

Result apply(const Migration& migration, KeyValueStore& store) {
    if (!migration.apply) return unexpected(std::string("it has nothing to run"));
    try {
        return migration.apply(store);
    } catch (const std::exception& e) {
        return unexpected(std::string(e.what()));
    }
}

}  // namespace

Result migrateLastCaptureSelectionToDisplayLocal(KeyValueStore& store, const DisplayFrameLookup& displayFrame) {
    const char* key = PreferenceKey::lastCaptureSelection;
    const auto stored = storedJsonValue(store.object(key));
    if (!stored) return succeeded();
    // Older releases stored the same shape with a global "x" and "y"; a value
    // already in the display-local form does not decode this way and stays.
    const auto legacy = StoredCaptureSelection::fromJson(*stored, "x", "y");
    if (!legacy) return succeeded();
    const auto* area = legacy->asArea();
    if (!area) return succeeded();

    const auto frame = displayFrame ? displayFrame(area->screenID) : std::nullopt;
    if (!frame) {
        if (!store.remove(key)) return unexpected(std::string("the stored selection could not be removed"));
        return succeeded();
    }
    const double localX = area->localX - frame->minX();  // global x, despite the field's name
    const double localY = area->localY - frame->minY();
    // Non-finite coordinates cannot be written as JSON numbers; the old value
    // stays, which reads as no previous area.
    if (!std::isfinite(localX) || !std::isfinite(localY)) return succeeded();
    const auto migrated = StoredCaptureSelection::area(localX, localY, area->width, area->height, area->screenID);
    if (!store.set(key, migrated.toJson())) {
        return unexpected(std::string("the rewritten selection could not be stored"));
    }
    return succeeded();
}

std::vector<Migration> migrations(DisplayFrameLookup displayFrame) {
    return {
        {0, "lastCaptureSelection\u2192display-local",
         [displayFrame = std::move(displayFrame)](KeyValueStore& store) {
             return migrateLastCaptureSelectionToDisplayLocal(store, displayFrame);
         }},
    };
}

void run(KeyValueStore& store, const std::vector<Migration>& list) {
    uint64_t applied = appliedMigrations(store);
    for (const Migration& migration : list) {
        const bool recordable = migration.bit >= 0 && migration.bit < recordableBits;
        const uint64_t mask = recordable ? uint64_t{1} << migration.bit : 0;
        if (recordable && (applied & mask) != 0) continue;

        const Result result = apply(migration, store);
        if (!result) {
            logLine(LogLevel::error, LogCategory::preferencesMigrator,
                    "Preference migration " + std::to_string(static_cast<long>(migration.bit)) + " (" +
                        migration.description + ") failed: " + result.error());
            continue;
        }
        if (!recordable) continue;
        applied |= mask;
        // Recorded at once, so a later migration that crashes the process
        // does not make this one run again.
        store.set(PreferenceKey::appliedPreferenceMigrations, static_cast<int64_t>(applied));
    }
}

}  // namespace tessarin::PreferencesMigrator
