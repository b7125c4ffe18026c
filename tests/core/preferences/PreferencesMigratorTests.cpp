#include "core/preferences/PreferencesMigrator.h"

#include <limits>
#include <stdexcept>

#include <gtest/gtest.h>

#include "core/capture/StoredCaptureSelection.h"
#include "core/preferences/PreferencesTestSupport.h"

namespace tessarin {
namespace {

using nlohmann::json;
namespace Migrator = PreferencesMigrator;

const json legacyArea = json::parse(R"({"area":{"x":1500,"y":40.5,"width":300,"height":200,"screenID":2}})");

// Display 2 sits right of a 1440-point-wide main display.
std::optional<Rect> connected(uint32_t displayID) {
    if (displayID == 2) return Rect{1440, 0, 1920, 1080};
    return std::nullopt;
}

TEST(PreferencesMigratorDisplayLocal, RewritesOnlyALegacyAreaAndRecordsTheBit) {
    json elsewhere = legacyArea;
    elsewhere["area"]["screenID"] = 9;
    const json local = StoredCaptureSelection::area(60, 40.5, 300, 200, 2).toJson();
    const json fullscreen = json::parse(R"({"fullscreen":{"screenID":2}})");
    const json huge = json::parse(R"({"area":{"x":1e308,"y":0,"width":1,"height":1,"screenID":2}})");
    const Migrator::DisplayFrameLookup farLeft = [](uint32_t) { return std::optional(Rect{-1e308, 0, 100, 100}); };
    // `before` and `after` null: nothing stored.
    const struct { const char* name; json before; int applied; Migrator::DisplayFrameLookup displays; json after; }
    rows[] = {
        {"legacy object", legacyArea, 0, connected, local},
        {"legacy JSON text", legacyArea.dump(), 0, connected, local},
        {"display gone: dropped, still applied", elsewhere, 0, connected, nullptr},
        {"already display-local", local, 0, connected, local},
        {"full screen", fullscreen, 0, connected, fullscreen},
        {"unreadable", "{broken", 0, connected, "{broken"},
        {"local x would overflow", huge, 0, farLeft, huge},
        {"nothing stored", nullptr, 0, connected, nullptr},
        {"already recorded: does not run", legacyArea, 1, connected, legacyArea},
    };
    for (const auto& [name, before, applied, displays, after] : rows) {
        SCOPED_TRACE(name);
        InMemoryKeyValueStore store({{"appliedPreferenceMigrations", applied}});
        if (!before.is_null()) store.set("lastCaptureSelection", before);
        Migrator::run(store, Migrator::migrations(displays));
        EXPECT_EQ(store.object("lastCaptureSelection").value_or(nullptr), after);
        EXPECT_EQ(store.object("appliedPreferenceMigrations"), json(1));
    }
}

TEST(PreferencesMigratorRun, LogsAFailureRecordsNothingAndRetriesNextStart) {
    testing::CapturedLog log;
    InMemoryKeyValueStore store;
    int attempts = 0;
    const std::vector<Migrator::Migration> list = {
        {3, "flaky", [&attempts](KeyValueStore&) -> Migrator::Result {
             if (++attempts == 1) return unexpected(std::string("disk on fire"));
             return Migrator::succeeded();
         }},
        {5, "throws", [](KeyValueStore&) -> Migrator::Result { throw std::runtime_error("bad value"); }},
        {6, "empty", nullptr},
    };
    Migrator::run(store, list);
    EXPECT_FALSE(store.contains("appliedPreferenceMigrations"));
    ASSERT_EQ(log.lines.size(), 3u);
    EXPECT_EQ(log.lines[0].level, LogLevel::error);
    EXPECT_EQ(log.lines[0].category, "PreferencesMigrator");
    EXPECT_EQ(log.lines[0].message, "Preference migration 3 (flaky) failed: disk on fire");
    EXPECT_EQ(log.lines[1].message, "Preference migration 5 (throws) failed: bad value");

    Migrator::run(store, list);
    EXPECT_EQ(attempts, 2);
    EXPECT_EQ(store.object("appliedPreferenceMigrations"), json(8));
    Migrator::run(store, list);
    EXPECT_EQ(attempts, 2);
}

TEST(PreferencesMigratorRun, RecordsEachBitBeforeTheNextMigrationRuns) {
    InMemoryKeyValueStore store;
    store.set("appliedPreferenceMigrations", "garbage");
    std::vector<std::optional<json>> seenBySecond;
    int unrecordableRuns = 0;
    const auto countRun = [&unrecordableRuns](KeyValueStore&) { return ++unrecordableRuns, Migrator::succeeded(); };
    const std::vector<Migrator::Migration> list = {
        {63, "last bit", [](KeyValueStore&) { return Migrator::succeeded(); }},
        {0, "first bit",
         [&seenBySecond](KeyValueStore& s) {
             seenBySecond.push_back(s.object("appliedPreferenceMigrations"));
             return Migrator::succeeded();
         }},
        {64, "out of range", countRun},
        {-1, "negative", countRun},
    };
    Migrator::run(store, list);
    Migrator::run(store, list);
    ASSERT_EQ(seenBySecond.size(), 1u);
    EXPECT_EQ(seenBySecond[0], json(std::numeric_limits<int64_t>::min()));
    EXPECT_EQ(store.object("appliedPreferenceMigrations"), json(std::numeric_limits<int64_t>::min() + 1));
    EXPECT_EQ(unrecordableRuns, 4) << "runs at every start";
}

}  // namespace
}  // namespace tessarin
