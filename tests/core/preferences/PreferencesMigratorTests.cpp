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

TEST(PreferencesMigratorDisplayLocal, RewritesALegacyAreaAndRecordsTheBit) {
    const auto list = Migrator::migrations(connected);
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].bit, 0);
    EXPECT_EQ(list[0].description, "lastCaptureSelection→display-local");
    for (const json& stored : {legacyArea, json(legacyArea.dump())}) {
        InMemoryKeyValueStore store({{"lastCaptureSelection", stored}, {"appliedPreferenceMigrations", 0}});
        Migrator::run(store, Migrator::migrations(connected));
        EXPECT_EQ(store.object("lastCaptureSelection"), StoredCaptureSelection::area(60, 40.5, 300, 200, 2).toJson());
        EXPECT_EQ(store.object("appliedPreferenceMigrations"), json(1));
    }
}

TEST(PreferencesMigratorDisplayLocal, DropsAnAreaWhoseDisplayIsGoneAndStillCountsAsApplied) {
    json elsewhere = legacyArea;
    elsewhere["area"]["screenID"] = 9;
    InMemoryKeyValueStore store({{"lastCaptureSelection", elsewhere}});
    Migrator::run(store, Migrator::migrations(connected));
    EXPECT_FALSE(store.contains("lastCaptureSelection"));
    EXPECT_EQ(store.object("appliedPreferenceMigrations"), json(1));
}

TEST(PreferencesMigratorDisplayLocal, LeavesEverythingButALegacyAreaAlone) {
    const json huge = json::parse(R"({"area":{"x":1e308,"y":0,"width":1,"height":1,"screenID":2}})");
    const auto farLeft = [](uint32_t) { return std::optional(Rect{-1e308, 0, 100, 100}); };
    for (const json& stored : {StoredCaptureSelection::area(60, 40, 300, 200, 2).toJson(),
                               json::parse(R"({"fullscreen":{"screenID":2}})"), json("{broken"), huge}) {
        InMemoryKeyValueStore store({{"lastCaptureSelection", stored}});
        EXPECT_TRUE(Migrator::migrateLastCaptureSelectionToDisplayLocal(store, farLeft).hasValue());
        EXPECT_EQ(store.object("lastCaptureSelection"), stored) << stored.dump();
    }
    InMemoryKeyValueStore empty;
    EXPECT_TRUE(Migrator::migrateLastCaptureSelectionToDisplayLocal(empty, connected).hasValue());
    EXPECT_TRUE(empty.values().empty());
}

TEST(PreferencesMigratorDisplayLocal, DoesNotRunOnceRecorded) {
    InMemoryKeyValueStore store({{"lastCaptureSelection", legacyArea}, {"appliedPreferenceMigrations", 1}});
    Migrator::run(store, Migrator::migrations(connected));
    EXPECT_EQ(store.object("lastCaptureSelection"), legacyArea);
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
    const std::vector<Migrator::Migration> list = {
        {63, "last bit", [](KeyValueStore&) { return Migrator::succeeded(); }},
        {0, "first bit",
         [&seenBySecond](KeyValueStore& s) {
             seenBySecond.push_back(s.object("appliedPreferenceMigrations"));
             return Migrator::succeeded();
         }},
        {64, "out of range", [&unrecordableRuns](KeyValueStore&) { ++unrecordableRuns; return Migrator::succeeded(); }},
        {-1, "negative", [&unrecordableRuns](KeyValueStore&) { ++unrecordableRuns; return Migrator::succeeded(); }},
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
