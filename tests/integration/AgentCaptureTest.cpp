// The agent's capture and target commands on Xvfb (one 1920x1080 screen),
// checked through what a script sees: the status, the JSON lines and the
// pixels of the files written.

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <tuple>
#include <vector>

#include "AgentXServerTest.h"

namespace tessarin::integration {
namespace {

using x11::testing::isSolid;
using x11::testing::rgbAt;

constexpr uint32_t kRoot = 0x336699;
constexpr uint32_t kPatch = 0xcc3311;

// Each channel within `tolerance`: JPEG is lossy.
::testing::AssertionResult near(uint32_t actual, uint32_t expected, int tolerance = 8) {
    for (int shift : {16, 8, 0}) {
        const int a = int(actual >> shift & 0xff);
        const int e = int(expected >> shift & 0xff);
        if (std::abs(a - e) > tolerance) {
            return ::testing::AssertionFailure() << std::hex << "0x" << actual << " is not near 0x" << expected;
        }
    }
    return ::testing::AssertionSuccess();
}

class XvfbAgent : public AgentXServerTest {
protected:
    void SetUp() override {
        AgentXServerTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        x.setRootColour(kRoot);
    }

    // A whole-screen capture to compare regions against.
    std::optional<Image> fullScreen() {
        const AgentRun run = this->run({"capture-full", "--out", "reference.png"});
        EXPECT_EQ(run.status, 0) << run.err;
        return decodedFile(workDir() / "reference.png");
    }
};

TEST_F(XvfbAgent, CaptureFullWritesTheScreenAndEchoesThePathAsGiven) {
    const fs::path absolute = root() / "shots" / "shot.png";
    const AgentRun run = this->run({"capture-full", "--out", absolute.string()});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, resultLine(absolute.string(), 1920, 1080));
    EXPECT_NE(run.out.find(R"(\/shots\/shot.png","width")"), std::string::npos) << "slashes escaped: " << run.out;
    EXPECT_EQ(run.err, "");
    const auto image = decodedFile(absolute);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->width(), 1920u);
    EXPECT_EQ(image->height(), 1080u);
    EXPECT_TRUE(isSolid(*image, kRoot));  // no windows, no pointer in the image

    // A relative path is written below the working folder and echoed as typed.
    const AgentRun relative = this->run({"capture-full", "--out", "shot.png"});
    EXPECT_EQ(relative.status, 0);
    EXPECT_EQ(relative.out, R"({"bbox":[0,0,1920,1080],"height":1080,"path":"shot.png","width":1920})" "\n");
    EXPECT_EQ(relative.err, "");
    const AgentRun nested = this->run({"capture-full", "--out", "./a/../b/shot.png"});
    EXPECT_EQ(nested.out, resultLine("./a/../b/shot.png", 1920, 1080));
    EXPECT_TRUE(fs::is_regular_file(workDir() / "shot.png"));
    EXPECT_TRUE(fs::is_regular_file(workDir() / "b" / "shot.png"));
}

TEST_F(XvfbAgent, TheOutputNameChoosesTheFormat) {
    const std::vector<uint8_t> png{0x89, 'P', 'N', 'G'};
    const std::vector<uint8_t> jpeg{0xff, 0xd8, 0xff};
    struct Case {
        std::string name;
        const std::vector<uint8_t>& magic;
    };
    for (const Case& c : std::vector<Case>{{"a.jpg", jpeg},
                                           {"b.JPEG", jpeg},
                                           {"c.Jpg", jpeg},
                                           {"d.jpeg.png", png},
                                           {"e", png},
                                           {"f.jpg.bmp", png}}) {
        SCOPED_TRACE(c.name);
        const AgentRun run = this->run({"capture-region", "--rect", "0,0,64,48", "--out", c.name});
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(run.out, resultLine(c.name, 64, 48));
        const std::vector<uint8_t> bytes = fileBytes(workDir() / c.name);
        ASSERT_GE(bytes.size(), c.magic.size());
        EXPECT_TRUE(std::equal(c.magic.begin(), c.magic.end(), bytes.begin()));
        const auto image = decodedFile(workDir() / c.name);
        ASSERT_TRUE(image);
        EXPECT_EQ(image->width(), 64u);
        EXPECT_EQ(image->height(), 48u);
        EXPECT_TRUE(near(rgbAt(*image, 32, 24), kRoot));
    }
}

TEST_F(XvfbAgent, CaptureRegionHasExactlyThePixelsOnScreenThere) {
    x.createWindow({.rect = {300, 200, 160, 120}, .colour = kPatch});
    const auto screen = fullScreen();
    ASSERT_TRUE(screen);

    const AgentRun run = this->run({"capture-region", "--rect", "280,190,200,140", "--out", "region.png"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, resultLine("region.png", 200, 140));
    EXPECT_EQ(run.err, "");
    const auto region = decodedFile(workDir() / "region.png");
    ASSERT_TRUE(region);
    ASSERT_EQ(region->width(), 200u);
    ASSERT_EQ(region->height(), 140u);
    // The window starts 20 right and 10 down of the region's corner: exact
    // edges show the region is neither shifted nor scaled.
    EXPECT_EQ(rgbAt(*region, 19, 10), kRoot);
    EXPECT_EQ(rgbAt(*region, 20, 9), kRoot);
    EXPECT_EQ(rgbAt(*region, 20, 10), kPatch);
    EXPECT_EQ(rgbAt(*region, 179, 129), kPatch);
    EXPECT_EQ(rgbAt(*region, 180, 129), kRoot);
    EXPECT_EQ(rgbAt(*region, 179, 130), kRoot);
    const auto expected = screen->cropped(280, 190, 200, 140);
    ASSERT_TRUE(expected);
    EXPECT_TRUE(samePixels(*region, *expected));

    // Spaces after the commas and a fraction: the fraction rounds outwards.
    const AgentRun spaced = this->run({"capture-region", "--rect", "300, 200,\t160, 119.5", "--out", "spaced.png"});
    EXPECT_EQ(spaced.out, resultLine("spaced.png", 160, 120));
    const auto window = decodedFile(workDir() / "spaced.png");
    ASSERT_TRUE(window);
    EXPECT_TRUE(isSolid(*window, kPatch));
}

TEST_F(XvfbAgent, JpegRegionDecodesToTheRegionSizeAndColours) {
    x.createWindow({.rect = {300, 200, 160, 120}, .colour = kPatch});
    const AgentRun run = this->run({"capture-region", "--rect", "280,190,200,140", "--out", "region.JPG"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, resultLine("region.JPG", 200, 140));
    const std::vector<uint8_t> bytes = fileBytes(workDir() / "region.JPG");
    ASSERT_GE(bytes.size(), 2u);
    EXPECT_EQ(bytes[0], 0xff);
    EXPECT_EQ(bytes[1], 0xd8);
    const auto image = decodedFile(workDir() / "region.JPG");
    ASSERT_TRUE(image);
    EXPECT_EQ(image->width(), 200u);
    EXPECT_EQ(image->height(), 140u);
    // Away from the edge, where JPEG's blocks blur the colours together.
    EXPECT_TRUE(near(rgbAt(*image, 5, 70), kRoot));
    EXPECT_TRUE(near(rgbAt(*image, 100, 70), kPatch));
    EXPECT_TRUE(near(rgbAt(*image, 195, 135), kRoot));
}

TEST_F(XvfbAgent, ARegionOverTheScreenEdgeIsMovedOntoTheScreen) {
    x.createWindow({.rect = {1820, 1000, 100, 80}, .colour = kPatch});  // the bottom-right corner
    const auto screen = fullScreen();
    ASSERT_TRUE(screen);
    const AgentRun run = this->run({"capture-region", "--rect", "1800,1000,300,200", "--out", "edge.png"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, resultLine("edge.png", 300, 200));
    const auto region = decodedFile(workDir() / "edge.png");
    ASSERT_TRUE(region);
    const auto expected = screen->cropped(1620, 880, 300, 200);
    ASSERT_TRUE(expected);
    EXPECT_TRUE(samePixels(*region, *expected));
    EXPECT_EQ(rgbAt(*region, 299, 199), kPatch);
}

TEST_F(XvfbAgent, RegionErrorsNameTheProblem) {
    struct Case {
        std::string rect;
        std::string message;
    };
    for (const Case& c : std::vector<Case>{
             {"10,20,0,50", "--rect must have a positive width and height"},
             {"10,20,300,-5", "--rect must have a positive width and height"},
             {"10,20,300", "--rect must be x,y,w,h (top-left image pixels)"},
             {"10,20,abc,200", "--rect must be x,y,w,h (top-left image pixels)"},
             {"10,20,inf,200", "--rect must be x,y,w,h (top-left image pixels)"},
         }) {
        SCOPED_TRACE(c.rect);
        const AgentRun run = this->run({"capture-region", "--rect", c.rect, "--out", "r.png"});
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err, errorLine(c.message));
    }
    const AgentRun display = this->run({"capture-region", "--rect", "0,0,5,5", "--display", "1", "--out", "r.png"});
    EXPECT_EQ(display.status, 1);
    EXPECT_EQ(display.err, errorLine("--display 1 out of range (0..<1)"));
    EXPECT_TRUE(folderEntries(workDir()).empty());
}

// Two xterms with a background the server paints, so their pixels are
// known before they draw any text.
class XvfbAgentWithTerminals : public XvfbAgent {
protected:
    static constexpr uint32_t kTerminalBackground = 0x20c040;

    void SetUp() override {
        XvfbAgent::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        auto terminal = [](const std::string& title, const std::string& geometry) {
            return std::vector<std::string>{"xterm", "-fn", "fixed", "-bg", "#20c040",  // kTerminalBackground
                                            "-T", title, "-geometry", geometry};
        };
        ASSERT_GT(x.spawn(terminal("tessarin-it", "80x24+40+40")), 0);
        ASSERT_GT(x.spawn(terminal("tessarin-it small", "30x6+900+500")), 0);
        const auto big = x.waitForTopLevel("tessarin-it");
        const auto small = x.waitForTopLevel("tessarin-it small");
        ASSERT_TRUE(big && small);
        bigWindow = *big;
        smallWindow = *small;
        const auto bigRect = x.rootGeometry(bigWindow);
        const auto smallRect = x.rootGeometry(smallWindow);
        ASSERT_TRUE(bigRect && smallRect);
        bigGeometry = *bigRect;
        smallGeometry = *smallRect;
        ASSERT_GT(bigGeometry.width * bigGeometry.height, smallGeometry.width * smallGeometry.height);
    }

    // The bottom-right pixels are background: the text cursor is top-left.
    void expectTerminalImage(const fs::path& file, const PixelRect& geometry) {
        const auto image = decodedFile(file);
        ASSERT_TRUE(image);
        EXPECT_EQ(image->width(), geometry.width);
        EXPECT_EQ(image->height(), geometry.height);
        EXPECT_EQ(rgbAt(*image, image->width() - 1, image->height() - 1), kTerminalBackground);
        EXPECT_EQ(rgbAt(*image, image->width() - 1, 0), kTerminalBackground);
        EXPECT_EQ(rgbAt(*image, 0, image->height() - 1), kTerminalBackground);
    }

    xcb_window_t bigWindow = 0;
    xcb_window_t smallWindow = 0;
    PixelRect bigGeometry;
    PixelRect smallGeometry;
};

TEST_F(XvfbAgentWithTerminals, ListTargetsDescribesTheScreenAndTheWindowsAsPrettyJson) {
    const AgentRun run = this->run({"list-targets"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, "");
    const auto targets = nlohmann::json::parse(run.out, nullptr, false);
    ASSERT_FALSE(targets.is_discarded()) << run.out;

    // Sorted keys, two-space indentation, " : " between key and value: the
    // same text as the library's own pretty form with that one difference.
    std::string relaxed = run.out;
    for (size_t at = relaxed.find("\" : "); at != std::string::npos; at = relaxed.find("\" : ", at)) {
        relaxed.replace(at, 4, "\": ");
    }
    EXPECT_EQ(relaxed, targets.dump(2) + "\n");
    EXPECT_NE(run.out.find("\"app\" : \"XTerm\""), std::string::npos);

    ASSERT_EQ(targets["displays"].size(), 1u);
    EXPECT_EQ(targets["displays"][0],
              (nlohmann::json{{"index", 0}, {"displayID", fnv1a("screen")}, {"width", 1920}, {"height", 1080}}));

    auto entryFor = [&](xcb_window_t id) -> nlohmann::json {
        for (const auto& window : targets["windows"]) {
            if (window.value("windowID", uint64_t{0}) == id) return window;
        }
        return nullptr;
    };
    for (const auto& [id, title, geometry] : {std::tuple{bigWindow, "tessarin-it", bigGeometry},
                                              std::tuple{smallWindow, "tessarin-it small", smallGeometry}}) {
        SCOPED_TRACE(title);
        const nlohmann::json window = entryFor(id);
        ASSERT_TRUE(window.is_object()) << run.out;
        // Points are pixels at scale 1; x/y are the inside's corner.
        EXPECT_EQ(window, (nlohmann::json{{"windowID", id},
                                          {"app", "XTerm"},
                                          {"title", title},
                                          {"x", geometry.x},
                                          {"y", geometry.y},
                                          {"width", geometry.width},
                                          {"height", geometry.height}}));
    }
}

TEST_F(XvfbAgentWithTerminals, CaptureWindowTakesTheLargestMatchOrTheNamedTitle) {
    // Application names match case-insensitively by substring; of two
    // matches the larger wins.
    for (const std::string app : {"xterm", "XTERM", "term"}) {
        SCOPED_TRACE(app);
        const AgentRun run = this->run({"capture-window", "--app", app, "--out", "big.png"});
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(run.out, resultLine("big.png", uint32_t(bigGeometry.width), uint32_t(bigGeometry.height)));
        EXPECT_EQ(run.err, "");
        expectTerminalImage(workDir() / "big.png", bigGeometry);
    }

    const AgentRun small = this->run({"capture-window", "--app", "xterm", "--window", "SMALL", "--out", "small.png"});
    EXPECT_EQ(small.status, 0) << small.err;
    EXPECT_EQ(small.out, resultLine("small.png", uint32_t(smallGeometry.width), uint32_t(smallGeometry.height)));
    expectTerminalImage(workDir() / "small.png", smallGeometry);

    // A title both share: the larger again.
    const AgentRun shared = this->run({"capture-window", "--app", "xterm", "--window", "tessarin", "--out", "s.png"});
    EXPECT_EQ(shared.out, resultLine("s.png", uint32_t(bigGeometry.width), uint32_t(bigGeometry.height)));
}

TEST_F(XvfbAgentWithTerminals, CaptureWindowWithoutAMatchFailsAndWritesNothing) {
    const AgentRun app = this->run({"capture-window", "--app", "nosuchapp", "--out", "none.png"});
    EXPECT_EQ(app.status, 1);
    EXPECT_EQ(app.out, "");
    EXPECT_EQ(app.err, R"({"error":"capture failed: Capture failed: No on-screen window for app=nosuchapp"})" "\n");

    const AgentRun title = this->run({"capture-window", "--app", "xterm", "--window", "zzz", "--out", "none.png"});
    EXPECT_EQ(title.status, 1);
    EXPECT_EQ(title.out, "");
    EXPECT_EQ(title.err, errorLine("capture failed: Capture failed: No on-screen window for app=xterm title=zzz"));

    // Unmapped windows are not on screen.
    x.unmap(smallWindow);
    const AgentRun hidden = this->run({"capture-window", "--app", "xterm", "--window", "small", "--out", "none.png"});
    EXPECT_EQ(hidden.status, 1);
    EXPECT_EQ(hidden.err, errorLine("capture failed: Capture failed: No on-screen window for app=xterm title=small"));

    EXPECT_TRUE(folderEntries(workDir()).empty());
}

}  // namespace
}  // namespace tessarin::integration
