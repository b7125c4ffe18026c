#include <gtest/gtest.h>

#include "CLIHarness.h"
#include "core/preferences/AppPreferences.h"
#include "render/ImageDecoder.h"

namespace tessarin {
namespace {

namespace fs = std::filesystem;
using testing::CLIHarness;
using testing::errorLine;
using testing::readFile;
using testing::Refusal;

TEST(CaptureCommands, RefusalsAreExactAndComeBeforeCapturing) {
    CLIHarness cli;
    cli.backend.windowList = {{42, 1, "XTerm", "build log", {0, 0, 640, 480}}};
    cli.sandboxRoot = cli.tmp.path().string();
    const std::string out = cli.path("x.png");
    const Refusal rows[] = {
        {{"capture-region", "--rect", "1,2,3,4"}, "missing required flag --out"},
        {{"capture-region", "--out", out}, "missing required flag --rect"},
        {{"capture-region", "--out", out, "--rect", "10,20,abc,200"}, "--rect must be x,y,w,h (top-left image pixels)"},
        {{"capture-region", "--out", out, "--rect", "10,20,0,50"}, "--rect must have a positive width and height"},
        {{"capture-region", "--out", out, "--rect", "1,2,3,4", "--display", "5"}, "--display 5 out of range (0..<2)"},
        {{"capture-region", "--out", out, "--rect", "1,2,3,4", "--display-id", "-1"},
         "--display-id -1 not found (see `tessarin list-targets`)"},
        {{"capture-full", "--out", "/tmp/../etc/x.png"}, "--out \"/etc/x.png\" is outside the sandbox root \"" +
                                                             fs::canonical(cli.tmp.path()).string() +
                                                             "\" (set by TESSARIN_SANDBOX_ROOT)"},
        // A display choice that is no number must not capture the first display.
        {{"capture-full", "--out", out, "--display", "1.0"},
         "--display must be a display index (see `tessarin list-targets`), not \"1.0\""},
        {{"capture-full", "--out", out, "--display-id", " 4097"},
         "--display-id must be a display id (see `tessarin list-targets`), not \" 4097\""},
        {{"capture-window", "--out", out}, "missing required flag --app"},
        {{"capture-window", "--out", out, "--app", "gimp"},
         "capture failed: Capture failed: No on-screen window for app=gimp"},
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
    EXPECT_FALSE(fs::exists(out));
}

TEST(CaptureCommands, EachCaptureTakesItsAreaAndWritesTheFormatTheNameAsksFor) {
    CLIHarness cli;
    cli.backend.pointer = Point{1500, 0};
    cli.backend.windowList = {{42, 1, "XTerm", "build log", {0, 0, 640, 480}}};
    cli.sandboxRoot = cli.tmp.path().string();
    const struct { std::string command, out; std::vector<std::string> flags; PixelRect area; bool jpeg; } rows[] = {
        {"capture-region", "shot.png", {"--rect", "10,20,300,200"}, {10, 20, 300, 200}, false},
        // --display-id wins over --display, and both count as read.
        {"capture-region", "b.png", {"--rect", "5,6,70,80", "--display", "0", "--display-id", "4098"}, {5, 6, 70, 80},
         false},
        {"capture-previous-region", "p.png", {}, {5, 6, 70, 80}, false},
        {"capture-full", "full.JPG", {}, {0, 0, 1024, 768}, true},    // the pointer's display
        {"capture-full", "x.jpeg.png", {"--display", "0"}, {0, 0, 1280, 800}, false},
        {"capture-full", "noext", {}, {0, 0, 1024, 768}, false},
        {"capture-window", "w.png", {"--app", "xterm", "--window", "LOG"}, {0, 0, 640, 480}, false},
    };
    const auto previous = fs::current_path();
    fs::current_path(cli.tmp.path());
    for (const auto& [command, out, flags, area, jpeg] : rows) {
        SCOPED_TRACE(command + " " + out);
        std::vector<std::string> args = {command, "--out", out};
        args.insert(args.end(), flags.begin(), flags.end());
        const auto result = cli.run(args);
        ASSERT_EQ(result.status, 0) << result.err;
        const std::string w = std::to_string(area.width), h = std::to_string(area.height);
        EXPECT_EQ(result.out, R"({"bbox":[0,0,)" + w + "," + h + R"(],"height":)" + h + R"(,"path":")" + out +
                                  R"(","width":)" + w + "}\n");
        EXPECT_EQ(result.err, "");
        if (command != "capture-window") {
            EXPECT_EQ(cli.backend.capturedAreas.back(), area);
        }
        EXPECT_EQ(readFile(out).substr(0, 2), jpeg ? "\xFF\xD8" : "\x89P");
        const auto image = decodeImageFile(out);
        ASSERT_TRUE(image);
        EXPECT_EQ(std::pair(image->width(), image->height()), std::pair(uint32_t(area.width), uint32_t(area.height)));
    }
    fs::current_path(previous);
    EXPECT_EQ(cli.backend.capturedWindows, std::vector<uint32_t>{42});
    // The last region, remembered relative to its display's top-left corner.
    EXPECT_EQ(AppPreferences(cli.store).lastCaptureSelection(),
              StoredCaptureSelection::area(5, 768 - 86, 70, 80, 4098));
}

TEST(CaptureCommands, APlatformsOwnPngOfAWholeDisplayIsWrittenAsItIs) {
    CLIHarness cli;
    cli.backend.platformPNG = std::vector<uint8_t>{'p', 'l', 'a', 't', 'f', 'o', 'r', 'm'};
    cli.store.set("lastCaptureSelection", StoredCaptureSelection::fullscreen(0x1002).toJson());
    for (const std::vector<std::string>& command : {std::vector<std::string>{"capture-full", "--display", "0"},
                                                    {"capture-previous-region"}}) {
        SCOPED_TRACE(command[0]);
        std::vector<std::string> args = command;
        args.insert(args.end(), {"--out", cli.path("whole.png")});
        const auto result = cli.run(args);
        ASSERT_EQ(result.status, 0) << result.err;
        EXPECT_NE(result.out.find(R"("height":)"), std::string::npos);
        EXPECT_EQ(readFile(cli.path("whole.png")), "platform");
    }
    ASSERT_EQ(cli.run({"capture-full", "--display", "0", "--out", cli.path("whole.jpg")}).status, 0);
    EXPECT_EQ(readFile(cli.path("whole.jpg")).substr(0, 2), "\xFF\xD8");
    ASSERT_EQ(cli.run({"capture-region", "--rect", "0,0,8,8", "--out", cli.path("part.png")}).status, 0);
    EXPECT_EQ(readFile(cli.path("part.png")).substr(0, 2), "\x89P");
}

TEST(CaptureCommands, PreviousRegionFollowsTheStoredValue) {
    CLIHarness cli;
    cli.store.set("rememberLastCaptureSelection", false);
    ASSERT_EQ(cli.run({"capture-region", "--out", cli.path("r.png"), "--rect", "1,1,5,5"}).status, 0);
    EXPECT_FALSE(cli.store.contains("lastCaptureSelection")) << "not remembered when the user turned it off";

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

TEST(CaptureCommands, CaptureAndWriteFailuresAreReported) {
    CLIHarness cli;
    // A regular file where the output's folder should be.
    std::ofstream(cli.path("blocker")) << "x";
    const auto unwritable = cli.run({"capture-region", "--rect", "1,1,5,5", "--out", cli.path("blocker/x.png")});
    EXPECT_EQ(unwritable.status, 1);
    EXPECT_EQ(unwritable.err.rfind("{\"error\":\"capture failed: ", 0), 0u);
    EXPECT_EQ(readFile(cli.path("blocker")), "x");
    EXPECT_FALSE(cli.store.contains("lastCaptureSelection")) << "a region that was not saved is not remembered";

    cli.backend.failure = CaptureError::captureFailed("no X display: DISPLAY is not set");
    const auto result = cli.run({"capture-full", "--out", cli.path("x.png"), "--display", "0"});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, errorLine("capture failed: Capture failed: no X display: DISPLAY is not set"));
}

TEST(ListTargets, DisplaysAndWindowsOnScreen) {
    CLIHarness cli;
    cli.backend.displayList[0] = testing::makeDisplay(0x1001, {0, 0, 640, 400}, 2, true);
    cli.backend.displayList.push_back(testing::makeDisplay(0, {5000, 0, 10, 10}));
    cli.backend.displayList.back().displayID.reset();
    cli.backend.windowList = {{42, 1, "XTerm", "a/b", {10.4, 19.6, 640, 480}},
                              {2, 11, "X", "off", {0, 0, 5, 5}, 0, false}};
    const auto result = cli.run({"list-targets"});
    ASSERT_EQ(result.status, 0);
    EXPECT_EQ(nlohmann::json::parse(result.out), nlohmann::json::parse(R"({"displays": [
        {"displayID": 4097, "height": 800, "index": 0, "width": 1280},
        {"displayID": 4098, "height": 768, "index": 1, "width": 1024}],
      "windows": [{"app": "XTerm", "height": 480, "title": "a/b", "width": 640, "windowID": 42, "x": 10, "y": 20}]})"));
    cli.backend.failure = CaptureError::captureFailed("boom");
    EXPECT_EQ(cli.run({"list-targets"}).err, errorLine("capture failed: Capture failed: boom"));
}

}  // namespace
}  // namespace tessarin
