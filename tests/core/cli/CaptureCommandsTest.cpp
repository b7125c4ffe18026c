#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "CLIHarness.h"
#include "core/preferences/AppPreferences.h"

namespace tessarin {
namespace {

using testing::CLIHarness;
using testing::errorLine;
using testing::Refusal;

std::string readFile(const std::string& path) {
    std::ostringstream bytes;
    bytes << std::ifstream(path, std::ios::binary).rdbuf();
    return bytes.str();
}

// Width and height from a PNG's IHDR chunk.
std::pair<uint32_t, uint32_t> pngSize(const std::string& path) {
    const std::string bytes = readFile(path);
    if (bytes.size() < 24 || bytes.compare(1, 3, "PNG") != 0) return {0, 0};
    const auto be32 = [&](size_t at) {
        uint32_t value = 0;
        for (size_t i = at; i < at + 4; ++i) value = value << 8 | uint8_t(bytes[i]);
        return value;
    };
    return {be32(16), be32(20)};
}


// Each refusal is exact, comes before anything is captured or written, and
// the checks of capture-region run in this order.
TEST(CaptureCommands, RefusalsAreExactAndComeBeforeCapturing) {
    CLIHarness cli;
    cli.backend.windowList = {{42, 1, "XTerm", "build log", {0, 0, 640, 480}}};
    const std::string out = cli.path("x.png");
    const std::string badRect = "--rect must be x,y,w,h (top-left image pixels)";
    const Refusal rows[] = {
        {{"capture-region", "--rect", "1,2,3,4"}, "missing required flag --out"},
        {{"capture-region", "--out", out}, "missing required flag --rect"},
        {{"capture-region", "--out", out, "--rect", "10,20,abc,200"}, badRect},
        {{"capture-region", "--out", out, "--rect", "nan,0,10,10"}, badRect},
        {{"capture-region", "--out", out, "--rect", "0,0,inf,10"}, badRect},
        {{"capture-region", "--out", out, "--rect", "1e400,0,10,10"}, badRect},
        {{"capture-region", "--out", out, "--rect", "10,20,0,50"}, "--rect must have a positive width and height"},
        {{"capture-region", "--out", out, "--rect", "1,2,3,4", "--display", "5"}, "--display 5 out of range (0..<2)"},
        {{"capture-region", "--out", out, "--rect", "1,2,3,4", "--display-id", "77"},
         "--display-id 77 not found (see `tessarin list-targets`)"},
        {{"capture-region", "--out", out, "--rect", "1,2,3,4", "--display-id", "-1"},
         "--display-id -1 not found (see `tessarin list-targets`)"},
        {{"capture-previous-region", "--out", out},
         "no previous region: run capture-region (or capture an area in the app) first"},
        {{"capture-window", "--out", out}, "missing required flag --app"},
        {{"capture-window", "--out", out, "--app", "gimp"},
         "capture failed: Capture failed: No on-screen window for app=gimp"},
        {{"capture-scrolling", "--rect", "1,2,3,4"}, "missing required flag --out"},
        {{"capture-scrolling", "--out", out}, "missing required flag --rect"},
        {{"capture-scrolling", "--out", out, "--rect", "0,0,100,100"},
         "capture failed: Capture failed: auto-scroll needs Accessibility permission for Tessarin (the X server's "
         "XTEST extension), or pass --no-auto-scroll"},
        // Without auto-scroll the permission is not needed; this screen has no stream.
        {{"capture-scrolling", "--out", out, "--rect", "0,0,100,100", "--no-auto-scroll"},
         "capture failed: Capture failed: this screen back end cannot stream a region"},
    };
    expectRefusals(cli, rows);
    EXPECT_TRUE(cli.backend.capturedAreas.empty());
    EXPECT_TRUE(cli.backend.capturedWindows.empty());
    EXPECT_FALSE(std::filesystem::exists(out));
}

TEST(CaptureCommands, RegionIsInDisplayPixelsAndPrintsThePathAsGiven) {
    CLIHarness cli;
    const auto previous = std::filesystem::current_path();
    std::filesystem::current_path(cli.tmp.path());
    const auto result = cli.run({"capture-region", "--rect", "10,20,300,200", "--out", "shot.png"});
    std::filesystem::current_path(previous);
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, R"j({"bbox":[0,0,300,200],"height":200,"path":"shot.png","width":300})j" "\n");
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(pngSize(cli.path("shot.png")), (std::pair<uint32_t, uint32_t>{300, 200}));
    EXPECT_EQ(cli.backend.capturedAreas.back(), (PixelRect{10, 20, 300, 200}));

    // The same pixels on a scale-2 display.
    cli.backend.displayList = {testing::makeDisplay(9, {0, 0, 1512, 982}, 2, true)};
    const auto scaled = cli.run({"capture-region", "--rect", "10,20,300,200", "--out", cli.path("a.png")});
    ASSERT_EQ(scaled.status, 0) << scaled.err;
    EXPECT_NE(scaled.out.find(R"j("bbox":[0,0,300,200])j"), std::string::npos);
    EXPECT_EQ(cli.backend.capturedAreas.back(), (PixelRect{10, 20, 300, 200}));
}

TEST(CaptureCommands, DisplayIdWinsAndTheRegionIsRememberedDisplayLocal) {
    CLIHarness cli;
    const auto result = cli.run({"capture-region", "--out", cli.path("b.png"), "--rect", "5,6,70,80", "--display", "0",
                                 "--display-id", std::to_string(0x1002)});
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.err, "");  // both display flags count as read
    EXPECT_EQ(cli.backend.capturedAreas.back(), (PixelRect{5, 6, 70, 80}));
    EXPECT_EQ(AppPreferences(cli.store).lastCaptureSelection(),
              StoredCaptureSelection::area(5, 768 - 86, 70, 80, 0x1002));

    const auto replay = cli.run({"capture-previous-region", "--out", cli.path("p.png")});
    ASSERT_EQ(replay.status, 0) << replay.err;
    EXPECT_EQ(cli.backend.capturedAreas.back(), (PixelRect{5, 6, 70, 80}));
    EXPECT_EQ(pngSize(cli.path("p.png")), (std::pair<uint32_t, uint32_t>{70, 80}));
}

TEST(CaptureCommands, PreviousRegionFollowsTheStoredValue) {
    CLIHarness cli;
    cli.store.set("rememberLastCaptureSelection", false);
    ASSERT_EQ(cli.run({"capture-region", "--out", cli.path("r.png"), "--rect", "1,1,5,5"}).status, 0);
    EXPECT_FALSE(cli.store.contains("lastCaptureSelection")) << "not remembered when the user turned it off";
    EXPECT_EQ(cli.run({"capture-previous-region", "--out", cli.path("p.png")}).status, 1);

    cli.store.set("rememberLastCaptureSelection", true);
    cli.store.set("lastCaptureSelection", StoredCaptureSelection::fullscreen(0x1002).toJson());
    ASSERT_EQ(cli.run({"capture-previous-region", "--out", cli.path("p.png")}).status, 0);
    EXPECT_EQ(cli.backend.capturedAreas.back(), (PixelRect{0, 0, 1024, 768}));

    // A display that is gone: kept inside the 1280x800 main display,
    // x = 1180, y from the top = 800 - 60 = 740.
    cli.store.set("lastCaptureSelection", StoredCaptureSelection::area(1250, 10, 100, 50, 0xdead).toJson());
    ASSERT_EQ(cli.run({"capture-previous-region", "--out", cli.path("p.png")}).status, 0);
    EXPECT_EQ(cli.backend.capturedAreas.back(), (PixelRect{1180, 740, 100, 50}));
    cli.backend.displayList.clear();
    EXPECT_EQ(cli.run({"capture-previous-region", "--out", cli.path("p.png")}).err,
              errorLine("capture failed: no display is connected"));
}

TEST(CaptureCommands, FullScreenAndWindowWriteTheFormatTheNameAsksFor) {
    CLIHarness cli;
    cli.backend.pointer = Point{1500, 0};
    ASSERT_EQ(cli.run({"capture-full", "--out", cli.path("full.JPG")}).status, 0);
    EXPECT_EQ(cli.backend.capturedAreas.back(), (PixelRect{0, 0, 1024, 768}));  // the pointer's display
    EXPECT_EQ(readFile(cli.path("full.JPG")).substr(0, 2), "\xFF\xD8");
    ASSERT_EQ(cli.run({"capture-full", "--out", cli.path("x.jpeg.png"), "--display", "0"}).status, 0);
    EXPECT_EQ(readFile(cli.path("x.jpeg.png")).substr(1, 3), "PNG");
    ASSERT_EQ(cli.run({"capture-full", "--out", cli.path("noext")}).status, 0);
    EXPECT_EQ(readFile(cli.path("noext")).substr(1, 3), "PNG");

    cli.backend.windowList = {{42, 1, "XTerm", "build log", {0, 0, 640, 480}}};
    const auto window = cli.run({"capture-window", "--out", cli.path("w.png"), "--app", "xterm", "--window", "LOG"});
    ASSERT_EQ(window.status, 0) << window.err;
    EXPECT_EQ(pngSize(cli.path("w.png")), (std::pair<uint32_t, uint32_t>{640, 480}));
}

TEST(CaptureCommands, CaptureAndWriteFailuresAreReported) {
    CLIHarness cli;
    // A regular file where the output's folder should be.
    std::ofstream(cli.path("blocker")) << "x";
    const auto unwritable = cli.run({"capture-full", "--out", cli.path("blocker/x.png")});
    EXPECT_EQ(unwritable.status, 1);
    EXPECT_EQ(unwritable.err.rfind("{\"error\":\"capture failed: ", 0), 0u);
    EXPECT_EQ(readFile(cli.path("blocker")), "x");

    cli.backend.failure = CaptureError::captureFailed("no X display: DISPLAY is not set");
    for (const auto& args : {std::vector<std::string>{"capture-full", "--out", cli.path("x.png")},
                             std::vector<std::string>{"capture-full", "--out", cli.path("x.png"), "--display", "0"}}) {
        const auto result = cli.run(args);
        EXPECT_EQ(result.status, 1);
        EXPECT_EQ(result.err, errorLine("capture failed: Capture failed: no X display: DISPLAY is not set"));
    }
}

TEST(CaptureCommands, OutputOutsideTheSandboxIsRefusedBeforeCapturing) {
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

// Displays in device pixels, windows rounded to whole points; a display
// without an id and windows off screen are left out.
TEST(ListTargets, PrettyJsonOfDisplaysAndWindows) {
    CLIHarness cli;
    cli.backend.displayList[0] = testing::makeDisplay(0x1001, {0, 0, 640, 400}, 2, true);
    cli.backend.displayList.push_back(testing::makeDisplay(0, {5000, 0, 10, 10}));
    cli.backend.displayList.back().displayID.reset();
    cli.backend.windowList = {{42, 1, "XTerm", "a/b", {10.4, 19.6, 640, 480}},
                              {2, 11, "X", "off", {0, 0, 5, 5}, 0, false}};
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
    EXPECT_EQ(cli.run({"list-targets"}).err, errorLine("capture failed: Capture failed: boom"));
}

}  // namespace
}  // namespace tessarin
