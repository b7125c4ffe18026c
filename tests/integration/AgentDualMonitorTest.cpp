// The agent on two monitors (Xorg dummy: DUMMY0 1280x800 at +0+0, primary,
// and DUMMY1 1024x768 at +1280+0): choosing a display by index, by id and by
// the pointer, regions on the second monitor, and the previous region shared
// through the preferences file.

#include <nlohmann/json.hpp>

#include <fstream>
#include <string>
#include <vector>

#include "AgentXServerTest.h"

namespace tessarin::integration {
namespace {

using x11::testing::rgbAt;

constexpr uint32_t kRoot = 0x202830;
constexpr uint32_t kFirstMonitorPatch = 0xeedd00;
constexpr uint32_t kSecondMonitorPatch = 0x11aa77;
constexpr int kSecondMonitorLeft = 1280;

const std::string kDummy0 = std::to_string(fnv1a("DUMMY0"));
const std::string kDummy1 = std::to_string(fnv1a("DUMMY1"));

class DualMonitorAgent : public AgentXServerTest {
protected:
    void SetUp() override {
        AgentXServerTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        ASSERT_EQ(x.run({"xrandr", "--output", "DUMMY0", "--primary"}), 0);
        x.setRootColour(kRoot);
        // One patch per monitor, 100 pixels in from each monitor's corner.
        x.createWindow({.rect = {100, 100, 50, 40}, .colour = kFirstMonitorPatch});
        x.createWindow({.rect = {kSecondMonitorLeft + 100, 100, 50, 40}, .colour = kSecondMonitorPatch});
    }

    // The decoded image after a successful run; checks the result line.
    std::optional<Image> captured(const std::vector<std::string>& args, const std::string& out, uint32_t width,
                                  uint32_t height, const EnvironmentChanges& changes = {}) {
        std::vector<std::string> full = args;
        full.insert(full.end(), {"--out", out});
        const AgentRun run = this->run(full, changes);
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(run.out, resultLine(out, width, height));
        EXPECT_EQ(run.err, "");
        return decodedFile(workDir() / out);
    }
};

TEST_F(DualMonitorAgent, ListTargetsNamesBothMonitorsInOrderWithStableIds) {
    const AgentRun run = this->run({"list-targets"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, "");
    const auto targets = nlohmann::json::parse(run.out, nullptr, false);
    ASSERT_FALSE(targets.is_discarded()) << run.out;
    // The ids hash the RandR monitor names, so a restarted server (or a
    // rebooted machine) gives the same ids for the same outputs.
    EXPECT_EQ(targets["displays"], nlohmann::json::parse(R"([
        {"index": 0, "displayID": )" + kDummy0 + R"(, "width": 1280, "height": 800},
        {"index": 1, "displayID": )" + kDummy1 + R"(, "width": 1024, "height": 768}])"));
}

TEST_F(DualMonitorAgent, CaptureFullTakesTheNamedDisplay) {
    const auto second = captured({"capture-full", "--display", "1"}, "second.png", 1024, 768);
    ASSERT_TRUE(second);
    EXPECT_EQ(rgbAt(*second, 100, 100), kSecondMonitorPatch);
    EXPECT_EQ(rgbAt(*second, 99, 99), kRoot);

    const auto first = captured({"capture-full", "--display-id", kDummy0}, "first.png", 1280, 800);
    ASSERT_TRUE(first);
    EXPECT_EQ(rgbAt(*first, 100, 100), kFirstMonitorPatch);
    EXPECT_EQ(rgbAt(*first, 1279, 100), kRoot);  // nothing of the second monitor

    // --display-id wins over --display; "+1" and "=" are integers too.
    captured({"capture-full", "--display-id", kDummy1, "--display", "0"}, "both.png", 1024, 768);
    captured({"capture-full", "--display=+1"}, "plus.png", 1024, 768);
}

TEST_F(DualMonitorAgent, DisplaysThatDoNotExistAreRefused) {
    struct Case {
        std::vector<std::string> flags;
        std::string message;
    };
    for (const Case& c : std::vector<Case>{
             {{"--display", "5"}, "--display 5 out of range (0..<2)"},
             {{"--display", "2"}, "--display 2 out of range (0..<2)"},
             {{"--display", "-1"}, "--display -1 out of range (0..<2)"},
             {{"--display-id", "12345"}, "--display-id 12345 not found (see `tessarin list-targets`)"},
             {{"--display-id", "4294967296"}, "--display-id 4294967296 not found (see `tessarin list-targets`)"},
         }) {
        for (const char* command : {"capture-full", "capture-region"}) {
            SCOPED_TRACE(std::string(command) + " " + c.flags[0] + " " + c.flags[1]);
            std::vector<std::string> args{command, "--out", "x.png", "--rect", "0,0,10,10"};
            args.insert(args.end(), c.flags.begin(), c.flags.end());
            const AgentRun run = this->run(args);
            EXPECT_EQ(run.status, 1);
            EXPECT_EQ(run.out, "");
            EXPECT_EQ(run.err, errorLine(c.message));
        }
    }
    EXPECT_TRUE(folderEntries(workDir()).empty());
}

TEST_F(DualMonitorAgent, CaptureRegionUsesTheSecondMonitorsOwnPixels) {
    const auto monitor = captured({"capture-full", "--display", "1"}, "monitor.png", 1024, 768);
    ASSERT_TRUE(monitor);
    const auto region =
        captured({"capture-region", "--rect", "90,95,300,200", "--display", "1"}, "region.png", 300, 200);
    ASSERT_TRUE(region);
    // The patch sits at (100,100) of the monitor: (10,5) in the region.
    EXPECT_EQ(rgbAt(*region, 9, 5), kRoot);
    EXPECT_EQ(rgbAt(*region, 10, 4), kRoot);
    EXPECT_EQ(rgbAt(*region, 10, 5), kSecondMonitorPatch);
    EXPECT_EQ(rgbAt(*region, 59, 44), kSecondMonitorPatch);
    EXPECT_EQ(rgbAt(*region, 60, 44), kRoot);
    const auto expected = monitor->cropped(90, 95, 300, 200);
    ASSERT_TRUE(expected);
    EXPECT_TRUE(samePixels(*region, *expected));

    // Without a display flag a region is on display 0, whatever the pointer says.
    x.warpPointer(kSecondMonitorLeft + 500, 300);
    const auto onFirst = captured({"capture-region", "--rect", "90,95,300,200"}, "first.png", 300, 200);
    ASSERT_TRUE(onFirst);
    EXPECT_EQ(rgbAt(*onFirst, 10, 5), kFirstMonitorPatch);
    x.warpPointer(10, 10);
}

TEST_F(DualMonitorAgent, CaptureFullWithoutAFlagFollowsThePointer) {
    x.warpPointer(kSecondMonitorLeft + 500, 300);
    const auto second = captured({"capture-full"}, "under-pointer-2.png", 1024, 768);
    ASSERT_TRUE(second);
    EXPECT_EQ(rgbAt(*second, 100, 100), kSecondMonitorPatch);

    x.warpPointer(10, 10);
    const auto first = captured({"capture-full"}, "under-pointer-0.png", 1280, 800);
    ASSERT_TRUE(first);
    EXPECT_EQ(rgbAt(*first, 100, 100), kFirstMonitorPatch);
}

TEST_F(DualMonitorAgent, ThePreviousRegionIsRememberedInThePreferencesFile) {
    const AgentRun fresh = run({"capture-previous-region", "--out", "nothing.png"});
    EXPECT_EQ(fresh.status, 1);
    EXPECT_EQ(fresh.out, "");
    EXPECT_EQ(fresh.err, R"({"error":"no previous region: run capture-region (or capture an area in the app) first"})"
                         "\n");
    EXPECT_FALSE(fs::exists(workDir() / "nothing.png"));

    const auto region =
        captured({"capture-region", "--rect", "90,95,300,200", "--display", "1"}, "region.png", 300, 200);
    ASSERT_TRUE(region);
    ASSERT_TRUE(fs::is_regular_file(preferencesFile()));
    EXPECT_TRUE(folderEntries(homeDir()).empty()) << "XDG_CONFIG_HOME wins over HOME";

    // The pointer and display 0 have nothing to do with it: it is the region
    // on the monitor it was taken on.
    x.warpPointer(10, 10);
    const auto again = captured({"capture-previous-region"}, "again.png", 300, 200);
    ASSERT_TRUE(again);
    EXPECT_TRUE(samePixels(*again, *region));
    EXPECT_EQ(rgbAt(*again, 10, 5), kSecondMonitorPatch);

    // A later region replaces it; a failed one does not.
    captured({"capture-region", "--rect", "95,90,120,80"}, "later.png", 120, 80);
    EXPECT_EQ(run({"capture-region", "--rect", "0,0,10,10", "--display", "7", "--out", "bad.png"}).status, 1);
    const auto latest = captured({"capture-previous-region"}, "latest.png", 120, 80);
    ASSERT_TRUE(latest);
    EXPECT_EQ(rgbAt(*latest, 5, 10), kFirstMonitorPatch);
    EXPECT_EQ(rgbAt(*latest, 4, 10), kRoot);

    // Another configuration folder is another installation.
    const AgentRun other = run({"capture-previous-region", "--out", "other.png"},
                               {{"XDG_CONFIG_HOME", (root() / "other-config").string()}});
    EXPECT_EQ(other.status, 1);
    EXPECT_NE(other.err.find("no previous region"), std::string::npos) << other.err;
}

TEST_F(DualMonitorAgent, WithoutXdgConfigHomeThePreferencesLiveUnderHome) {
    const EnvironmentChanges homeOnly{{"XDG_CONFIG_HOME", std::nullopt}};
    captured({"capture-region", "--rect", "90,95,300,200", "--display", "1"}, "region.png", 300, 200, homeOnly);
    EXPECT_TRUE(fs::is_regular_file(homeDir() / ".config" / "io.tessarin.Tessarin" / "preferences.json"));
    EXPECT_FALSE(fs::exists(configHome()));
    captured({"capture-previous-region"}, "again.png", 300, 200, homeOnly);
}

TEST_F(DualMonitorAgent, TurningRememberingOffKeepsNoRegion) {
    fs::create_directories(preferencesFile().parent_path());
    std::ofstream(preferencesFile()) << R"({"rememberLastCaptureSelection": false})";
    captured({"capture-region", "--rect", "90,95,300,200", "--display", "1"}, "region.png", 300, 200);
    const AgentRun previous = run({"capture-previous-region", "--out", "again.png"});
    EXPECT_EQ(previous.status, 1);
    EXPECT_NE(previous.err.find("no previous region"), std::string::npos) << previous.err;
    EXPECT_FALSE(fs::exists(workDir() / "again.png"));
}

}  // namespace
}  // namespace tessarin::integration
