#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "CLIHarness.h"
#include "core/preferences/AppPreferences.h"

namespace tessarin {
namespace {

using testing::CLIHarness;

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

// Width and height from a PNG's IHDR chunk.
std::pair<uint32_t, uint32_t> pngSize(const std::string& path) {
    const std::string bytes = readFile(path);
    if (bytes.size() < 24 || bytes.compare(1, 3, "PNG") != 0) return {0, 0};
    const auto be32 = [&](size_t at) {
        return uint32_t(uint8_t(bytes[at])) << 24 | uint32_t(uint8_t(bytes[at + 1])) << 16 |
               uint32_t(uint8_t(bytes[at + 2])) << 8 | uint32_t(uint8_t(bytes[at + 3]));
    };
    return {be32(16), be32(20)};
}

TEST(CaptureRegion, WritesTheRegionAndPrintsThePathAsGiven) {
    CLIHarness cli;
    const auto previous = std::filesystem::current_path();
    std::filesystem::current_path(cli.tmp.path());
    const auto result = cli.run({"capture-region", "--rect", "10,20,300,200", "--out", "shot.png"});
    std::filesystem::current_path(previous);
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, R"j({"bbox":[0,0,300,200],"height":200,"path":"shot.png","width":300})j" "\n");
    EXPECT_TRUE(result.err.empty());
    EXPECT_EQ(pngSize(cli.path("shot.png")), (std::pair<uint32_t, uint32_t>{300, 200}));
    EXPECT_EQ(cli.backend.capturedAreas.back(), (PixelRect{10, 20, 300, 200}));
}

TEST(CaptureRegion, ScaleTwoDisplayGivesThePixelsAsked) {
    CLIHarness cli;
    cli.backend.displayList = {testing::makeDisplay(9, {0, 0, 1512, 982}, 2, true)};
    const auto result = cli.run({"capture-region", "--rect", "10,20,300,200", "--out", cli.path("a.png")});
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_NE(result.out.find(R"j("bbox":[0,0,300,200])j"), std::string::npos);
    EXPECT_EQ(cli.backend.capturedAreas.back(), (PixelRect{10, 20, 300, 200}));
}

TEST(CaptureRegion, ChecksRunInOrder) {
    CLIHarness cli;
    const auto error = [&](std::vector<std::string> args) { return cli.run(std::move(args)).err; };
    EXPECT_EQ(error({"capture-region", "--rect", "1,2,3,4"}), R"j({"error":"missing required flag --out"})j" "\n");
    EXPECT_EQ(error({"capture-region", "--out", cli.path("x.png")}), R"j({"error":"missing required flag --rect"})j" "\n");
    EXPECT_EQ(error({"capture-region", "--out", cli.path("x.png"), "--rect", "10,20,abc,200"}),
              R"j({"error":"--rect must be x,y,w,h (top-left image pixels)"})j" "\n");
    EXPECT_EQ(error({"capture-region", "--out", cli.path("x.png"), "--rect", "10,20,0,50"}),
              R"j({"error":"--rect must have a positive width and height"})j" "\n");
    EXPECT_EQ(error({"capture-region", "--out", cli.path("x.png"), "--rect", "1,2,3,4", "--display", "5"}),
              R"j({"error":"--display 5 out of range (0..<2)"})j" "\n");
    EXPECT_EQ(error({"capture-region", "--out", cli.path("x.png"), "--rect", "1,2,3,4", "--display-id", "77"}),
              R"j({"error":"--display-id 77 not found (see `tessarin list-targets`)"})j" "\n");
    EXPECT_EQ(error({"capture-region", "--out", cli.path("x.png"), "--rect", "1,2,3,4", "--display-id", "-1"}),
              R"j({"error":"--display-id -1 not found (see `tessarin list-targets`)"})j" "\n");
    EXPECT_FALSE(std::filesystem::exists(cli.path("x.png")));
}

TEST(CaptureRegion, NonFiniteRectIsRefusedAndNothingIsWritten) {
    CLIHarness cli;
    for (const char* rect : {"nan,0,10,10", "0,0,inf,10", "1e400,0,10,10"}) {
        const auto result = cli.run({"capture-region", "--out", cli.path("x.png"), "--rect", rect});
        EXPECT_EQ(result.status, 1) << rect;
        EXPECT_TRUE(result.out.empty());
    }
    EXPECT_TRUE(cli.backend.capturedAreas.empty());
    EXPECT_FALSE(std::filesystem::exists(cli.path("x.png")));
}

TEST(CaptureRegion, DisplayIdWinsAndSecondDisplayIsLocal) {
    CLIHarness cli;
    const auto result = cli.run({"capture-region", "--out", cli.path("b.png"), "--rect", "5,6,70,80", "--display", "0",
                                 "--display-id", std::to_string(0x1002)});
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_TRUE(result.err.empty());  // both display flags count as read
    EXPECT_EQ(cli.backend.capturedAreas.back(), (PixelRect{5, 6, 70, 80}));
    const auto stored = AppPreferences(cli.store).lastCaptureSelection();
    ASSERT_TRUE(stored);
    EXPECT_EQ(*stored, StoredCaptureSelection::area(5, 768 - 86, 70, 80, 0x1002));
}

TEST(CapturePreviousRegion, ReplaysTheRememberedRegion) {
    CLIHarness cli;
    EXPECT_EQ(cli.run({"capture-previous-region", "--out", cli.path("p.png")}).err,
              R"j({"error":"no previous region: run capture-region (or capture an area in the app) first"})j" "\n");
    ASSERT_EQ(cli.run({"capture-region", "--out", cli.path("r.png"), "--rect", "12,34,56,78", "--display", "1"}).status, 0);
    const auto replay = cli.run({"capture-previous-region", "--out", cli.path("p.png")});
    ASSERT_EQ(replay.status, 0) << replay.err;
    EXPECT_EQ(cli.backend.capturedAreas.back(), (PixelRect{12, 34, 56, 78}));
    EXPECT_EQ(pngSize(cli.path("p.png")), (std::pair<uint32_t, uint32_t>{56, 78}));
}

TEST(CapturePreviousRegion, NotRememberedWhenTheUserTurnedItOff) {
    CLIHarness cli;
    cli.store.set("rememberLastCaptureSelection", false);
    ASSERT_EQ(cli.run({"capture-region", "--out", cli.path("r.png"), "--rect", "1,1,5,5"}).status, 0);
    EXPECT_FALSE(cli.store.contains("lastCaptureSelection"));
    EXPECT_EQ(cli.run({"capture-previous-region", "--out", cli.path("p.png")}).status, 1);
}

TEST(CapturePreviousRegion, GoneDisplayFallsBackToMainAndNoDisplaysFails) {
    CLIHarness cli;
    cli.store.set("lastCaptureSelection", StoredCaptureSelection::area(1250, 10, 100, 50, 0xdead).toJson());
    ASSERT_EQ(cli.run({"capture-previous-region", "--out", cli.path("p.png")}).status, 0);
    // Kept inside the 1280x800 main display: x = 1180, y from the top = 800 - 60 = 740.
    EXPECT_EQ(cli.backend.capturedAreas.back(), (PixelRect{1180, 740, 100, 50}));
    cli.backend.displayList.clear();
    EXPECT_EQ(cli.run({"capture-previous-region", "--out", cli.path("p.png")}).err,
              R"j({"error":"capture failed: no display is connected"})j" "\n");
}

TEST(CapturePreviousRegion, FullScreenValueCapturesThatDisplay) {
    CLIHarness cli;
    cli.store.set("lastCaptureSelection", StoredCaptureSelection::fullscreen(0x1002).toJson());
    ASSERT_EQ(cli.run({"capture-previous-region", "--out", cli.path("p.png")}).status, 0);
    EXPECT_EQ(cli.backend.capturedAreas.back(), (PixelRect{0, 0, 1024, 768}));
}

TEST(CaptureFull, PointerDisplayByDefaultAndJpegByName) {
    CLIHarness cli;
    cli.backend.pointer = Point{1500, 0};
    const auto result = cli.run({"capture-full", "--out", cli.path("full.JPG")});
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(cli.backend.capturedAreas.back(), (PixelRect{0, 0, 1024, 768}));
    EXPECT_EQ(readFile(cli.path("full.JPG")).substr(0, 2), "\xFF\xD8");
    ASSERT_EQ(cli.run({"capture-full", "--out", cli.path("x.jpeg.png"), "--display", "0"}).status, 0);
    EXPECT_EQ(readFile(cli.path("x.jpeg.png")).substr(1, 3), "PNG");
    ASSERT_EQ(cli.run({"capture-full", "--out", cli.path("noext")}).status, 0);
    EXPECT_EQ(readFile(cli.path("noext")).substr(1, 3), "PNG");
}

TEST(CaptureFull, NoDisplayServerFailsWithItsReason) {
    CLIHarness cli;
    cli.backend.failure = CaptureError::captureFailed("no X display: DISPLAY is not set");
    const auto result = cli.run({"capture-full", "--out", cli.path("x.png")});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, R"j({"error":"capture failed: Capture failed: no X display: DISPLAY is not set"})j" "\n");
    const auto named = cli.run({"capture-full", "--out", cli.path("x.png"), "--display", "0"});
    EXPECT_EQ(named.err, R"j({"error":"capture failed: Capture failed: no X display: DISPLAY is not set"})j" "\n");
}

TEST(CaptureFull, WriteFailureIsReportedAndExistingFileSurvives) {
    CLIHarness cli;
    // A regular file where the output's folder should be.
    std::ofstream(cli.path("blocker")) << "x";
    const auto result = cli.run({"capture-full", "--out", cli.path("blocker/x.png")});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err.rfind("{\"error\":\"capture failed: ", 0), 0u);
    EXPECT_EQ(readFile(cli.path("blocker")), "x");
}

TEST(CaptureWindow, RequiresAppAndNamesTheMissingWindow) {
    CLIHarness cli;
    cli.backend.windowList = {{42, 1, "XTerm", "build log", {0, 0, 640, 480}}};
    EXPECT_EQ(cli.run({"capture-window", "--out", cli.path("w.png")}).err,
              R"j({"error":"missing required flag --app"})j" "\n");
    const auto ok = cli.run({"capture-window", "--out", cli.path("w.png"), "--app", "xterm", "--window", "LOG"});
    ASSERT_EQ(ok.status, 0) << ok.err;
    EXPECT_EQ(pngSize(cli.path("w.png")), (std::pair<uint32_t, uint32_t>{640, 480}));
    EXPECT_EQ(cli.run({"capture-window", "--out", cli.path("w.png"), "--app", "gimp"}).err,
              R"j({"error":"capture failed: Capture failed: No on-screen window for app=gimp"})j" "\n");
}

TEST(Sandbox, OutputOutsideTheRootIsRefusedBeforeCapturing) {
    CLIHarness cli;
    std::filesystem::create_directory(cli.path("box"));
    cli.sandboxRoot = cli.path("box");
    const auto result = cli.run({"capture-full", "--out", "/tmp/../etc/x.png"});
    EXPECT_EQ(result.status, 1);
    EXPECT_NE(result.err.find("is outside the sandbox root"), std::string::npos);
    EXPECT_TRUE(cli.backend.capturedAreas.empty());
    const auto inside = cli.run({"capture-full", "--out", cli.path("box/new/x.png")});
    EXPECT_EQ(inside.status, 0) << inside.err;
}

TEST(ListTargets, PrettyJsonOfDisplaysAndWindows) {
    CLIHarness cli;
    cli.backend.windowList = {{42, 1, "XTerm", "a/b", {10, 20, 640, 480}}};
    const auto result = cli.run({"list-targets"});
    ASSERT_EQ(result.status, 0);
    EXPECT_EQ(result.out, R"j({
  "displays" : [
    {
      "displayID" : 4097,
      "height" : 800,
      "index" : 0,
      "width" : 1280
    },
    {
      "displayID" : 4098,
      "height" : 768,
      "index" : 1,
      "width" : 1024
    }
  ],
  "windows" : [
    {
      "app" : "XTerm",
      "height" : 480,
      "title" : "a\/b",
      "width" : 640,
      "windowID" : 42,
      "x" : 10,
      "y" : 20
    }
  ]
}
)j");
    cli.backend.failure = CaptureError::captureFailed("boom");
    EXPECT_EQ(cli.run({"list-targets"}).err, R"j({"error":"capture failed: Capture failed: boom"})j" "\n");
}

}  // namespace
}  // namespace tessarin
