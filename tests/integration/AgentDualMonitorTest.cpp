// The agent on two monitors (Xorg dummy: DUMMY0 1280x800 at +0+0, primary,
// and DUMMY1 1024x768 at +1280+0): choosing a display by index, by id and by
// the pointer, regions on the second monitor, and the previous region shared
// through the preferences file.

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

const std::string kDummy0 = std::to_string(x11::fnv1a32("DUMMY0"));

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
    std::optional<Image> captured(std::vector<std::string> args, const std::string& out, uint32_t width,
                                  uint32_t height) {
        args.insert(args.end(), {"--out", out});
        EXPECT_EQ(run(args), (AgentRun{0, resultLine(out, width, height), ""}));
        return decodedFile(workDir() / out);
    }
};

// By index, by id, and without a flag the monitor under the pointer.
TEST_F(DualMonitorAgent, CaptureFullTakesTheNamedDisplayOrTheOneUnderThePointer) {
    const struct {
        std::vector<std::string> flags;
        int pointerX;
        uint32_t width, height, patch;
    } rows[] = {
        {{"--display", "1"}, 10, 1024, 768, kSecondMonitorPatch},
        {{"--display-id", kDummy0}, kSecondMonitorLeft + 500, 1280, 800, kFirstMonitorPatch},
        {{}, kSecondMonitorLeft + 500, 1024, 768, kSecondMonitorPatch},
    };
    for (const auto& [flags, pointerX, width, height, patch] : rows) {
        x.warpPointer(pointerX, 300);
        std::vector<std::string> args{"capture-full"};
        args.insert(args.end(), flags.begin(), flags.end());
        const auto image = captured(args, "full.png", width, height);
        ASSERT_TRUE(image);
        EXPECT_EQ(rgbAt(*image, 100, 100), patch);
        EXPECT_EQ(rgbAt(*image, width - 1, 100), kRoot);  // nothing of the other monitor
    }
}

TEST_F(DualMonitorAgent, ARegionOnTheSecondMonitorIsRememberedInThePreferencesFile) {
    EXPECT_EQ(run({"capture-previous-region", "--out", "nothing.png"}),
              refused("no previous region: run capture-region (or capture an area in the app) first"));
    EXPECT_FALSE(fs::exists(workDir() / "nothing.png"));

    const auto monitor = captured({"capture-full", "--display", "1"}, "monitor.png", 1024, 768);
    ASSERT_TRUE(monitor);
    const auto region =
        captured({"capture-region", "--rect", "90,95,300,200", "--display", "1"}, "region.png", 300, 200);
    ASSERT_TRUE(region);
    const auto expected = monitor->cropped(90, 95, 300, 200);
    ASSERT_TRUE(expected);
    EXPECT_TRUE(samePixels(*region, *expected));
    // The patch sits at (100,100) of the monitor: (10,5) in the region.
    EXPECT_EQ(rgbAt(*region, 9, 5), kRoot);
    EXPECT_EQ(rgbAt(*region, 10, 5), kSecondMonitorPatch);

    ASSERT_TRUE(fs::is_regular_file(preferencesFile()));
    EXPECT_TRUE(folderEntries(homeDir()).empty()) << "XDG_CONFIG_HOME wins over HOME";
    // A capture that fails to write is not remembered.
    EXPECT_EQ(run({"capture-region", "--rect", "0,0,50,50", "--out", "region.png/x.png"}).status, 1);
    // Another process, with the pointer on the first monitor: it is the
    // region on the monitor it was taken on.
    x.warpPointer(10, 10);
    const auto again = captured({"capture-previous-region"}, "again.png", 300, 200);
    ASSERT_TRUE(again);
    EXPECT_TRUE(samePixels(*again, *region));
}

}  // namespace
}  // namespace tessarin::integration
