// The agent on Xvfb (one 1920x1080 screen), checked through what a script
// sees: the status, the JSON lines and the pixels of the files written.

#include <nlohmann/json.hpp>

#include <algorithm>
#include <array>
#include <fstream>
#include <string>
#include <vector>

#include "AgentXServerTest.h"

namespace tessarin::integration {
namespace {

using x11::testing::isSolid;
using x11::testing::rgbAt;

constexpr uint32_t kRoot = 0x336699;
constexpr uint32_t kPatch = 0xcc3311;

class XvfbAgent : public AgentXServerTest {
protected:
    void SetUp() override {
        AgentXServerTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        x.setRootColour(kRoot);
    }
};

TEST_F(XvfbAgent, CaptureFullWritesTheScreenEchoesThePathAsGivenAndWarnsOfUnusedFlags) {
    const fs::path absolute = root() / "shots" / "shot.png";
    const AgentRun run = this->run({"capture-full", "--out", absolute.string(), "--verbose"});
    EXPECT_EQ(run, (AgentRun{0, resultLine(absolute.string(), 1920, 1080),  // slashes escaped
                             R"({"warning":"ignored flags: --verbose"})" "\n"}));
    const auto image = decodedFile(absolute);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->width(), 1920u);
    EXPECT_EQ(image->height(), 1080u);
    EXPECT_TRUE(isSolid(*image, kRoot));  // no windows, no pointer in the image
}

// (The format each name asks for is CaptureCommandsTest's.)
TEST_F(XvfbAgent, CaptureRegionIsACropOfTheScreen) {
    x.createWindow({.rect = {300, 200, 160, 120}, .colour = kPatch});
    ASSERT_EQ(run({"capture-full", "--out", "screen.png"}).status, 0);
    const auto screen = decodedFile(workDir() / "screen.png");
    ASSERT_TRUE(screen);

    EXPECT_EQ(run({"capture-region", "--rect", "280,190,200,140", "--out", "region.png"}),
              (AgentRun{0, resultLine("region.png", 200, 140), ""}));
    const auto region = decodedFile(workDir() / "region.png");
    ASSERT_TRUE(region);
    const auto expected = screen->cropped(280, 190, 200, 140);
    ASSERT_TRUE(expected);
    EXPECT_TRUE(samePixels(*region, *expected));
    EXPECT_EQ(rgbAt(*region, 20, 10), kPatch);  // the window's corner: neither shifted nor scaled
}

TEST_F(XvfbAgent, AWriteThatFailsPartWayLeavesTheExistingFileAlone) {
    ASSERT_EQ(run({"capture-full", "--out", "existing.png"}).status, 0);
    const std::string before = fileContents(workDir() / "existing.png");
    ASSERT_GT(before.size(), 4096u);

    // The file size limit stops the encoder a few kilobytes in.
    x.setRootColour(kPatch);
    const AgentRun failed = run({"capture-full", "--out", "existing.png"}, {}, 4096);
    EXPECT_EQ(failed.status, 1);
    EXPECT_EQ(failed.out, "");
    EXPECT_EQ(failed.err.rfind(R"({"error":"capture failed: Cannot write )", 0), 0u) << failed.err;
    EXPECT_NE(failed.err.find(R"(existing.png: File too large"})" "\n"), std::string::npos) << failed.err;
    EXPECT_EQ(fileContents(workDir() / "existing.png"), before);
    EXPECT_EQ(folderEntries(workDir()), std::vector<std::string>{"existing.png"}) << "no temporary file left behind";
}

// An unwritable standard output or preferences folder must be reported,
// not pass as success.
TEST_F(XvfbAgent, FailuresThatUsedToPassAsSuccess) {
    setStandardOutput(Output::full);
    EXPECT_EQ(run({"list-targets"}), refused("could not write the result to standard output"));
    setStandardOutput(Output::closed);
    EXPECT_EQ(run({"capture-full", "--out", "closed.png"}), refused("could not write the result to standard output"));
    EXPECT_TRUE(decodedFile(workDir() / "closed.png")) << "the result line did not land in the image";
    setStandardOutput(Output::captured);

    // A file where the configuration folder should be: the region cannot be saved.
    std::ofstream(root() / "not-a-folder") << "x";
    const AgentRun unsaved = run({"capture-region", "--rect", "0,0,10,10", "--out", "r.png"},
                                 {{"XDG_CONFIG_HOME", (root() / "not-a-folder").string()}});
    EXPECT_EQ(unsaved.status, 0);
    EXPECT_EQ(unsaved.out, resultLine("r.png", 10, 10));
    EXPECT_EQ(unsaved.err, R"({"warning":"could not save the region for capture-previous-region: the preferences )"
                           R"(file could not be written"})" "\n");
}

// A Wayland session with Xwayland's DISPLAY gets the portal back end, not
// X11 (which would give black or partial images); with no compositor behind
// WAYLAND_DISPLAY the agent says so. X11 is used when asked for by name.
TEST_F(XvfbAgent, AWaylandSessionUsesThePortalBackEndUnlessX11IsForced) {
    const AgentRun plain = run({"doctor"});
    EXPECT_EQ(plain.status, 0);
    EXPECT_EQ(plain.out.find("NOT granted"), std::string::npos) << plain.out;
    const EnvironmentChanges session{{"WAYLAND_DISPLAY", "tessarin-test-no-such-wayland"}};
    const AgentRun capture = run({"capture-full", "--out", "wayland.png"}, session);
    EXPECT_EQ(capture.status, 1);
    EXPECT_NE(capture.err.find("Wayland"), std::string::npos) << capture.err;
    EXPECT_EQ(capture.err.find('\n'), capture.err.size() - 1) << "one JSON line, nothing of libwayland's: " << capture.err;
    EXPECT_FALSE(fs::exists(workDir() / "wayland.png"));
    const AgentRun doctor = run({"doctor"}, session);
    EXPECT_EQ(doctor.status, 1);
    EXPECT_NE(doctor.out.find("NOT granted ✗"), std::string::npos) << doctor.out;
    // Each variable's decision is PlatformChoice's; this is the wiring.
    EXPECT_EQ(run({"capture-full", "--out", "xwayland.png"}, {{"WAYLAND_DISPLAY", "tessarin-test-no-such-wayland"},
                                                              {"TESSARIN_BACKEND", "x11"}}).status, 0);
}

// Two xterms with a background the server paints, so their pixels are
// known before they draw any text; the first is the larger.
class XvfbAgentWithTerminals : public XvfbAgent {
protected:
    static constexpr uint32_t kTerminalBackground = 0x20c040;
    struct Terminal {
        std::string title;
        std::string geometry;  // xterm's, in characters
        xcb_window_t id = 0;
        PixelRect rect{};  // the inside, in root pixels
    };

    void SetUp() override {
        XvfbAgent::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        for (Terminal& t : terminals) {  // -bg is kTerminalBackground
            ASSERT_GT(x.spawn({"xterm", "-fn", "fixed", "-bg", "#20c040", "-T", t.title, "-geometry", t.geometry}), 0);
        }
        for (Terminal& t : terminals) {
            const auto id = x.waitForTopLevel(t.title);
            const auto rect = id ? x.rootGeometry(*id) : std::nullopt;
            ASSERT_TRUE(rect) << t.title;
            t.id = *id;
            t.rect = *rect;
        }
        const auto area = [](const Terminal& t) { return t.rect.width * t.rect.height; };
        ASSERT_GT(area(terminals[0]), area(terminals[1]));
    }

    std::array<Terminal, 2> terminals{{{"tessarin-it", "80x24+40+40"}, {"tessarin-it small", "30x6+900+500"}}};
};

TEST_F(XvfbAgentWithTerminals, ListTargetsDescribesTheScreenAndTheWindowsAsPrettyJson) {
    const AgentRun run = this->run({"list-targets"});
    EXPECT_EQ(run.status, 0) << run.err;
    const auto targets = nlohmann::json::parse(run.out, nullptr, false);
    ASSERT_FALSE(targets.is_discarded()) << run.out;

    EXPECT_EQ(targets["displays"], nlohmann::json::parse(R"([{"index": 0, "displayID": )" +
                                                         std::to_string(x11::fnv1a32("screen")) +
                                                         R"(, "width": 1920, "height": 1080}])"));
    for (const Terminal& t : terminals) {
        // Points are pixels at scale 1; x/y are the inside's corner.
        const nlohmann::json expected{{"windowID", t.id}, {"app", "XTerm"},         {"title", t.title},
                                      {"x", t.rect.x},    {"y", t.rect.y},          {"width", t.rect.width},
                                      {"height", t.rect.height}};
        EXPECT_NE(std::find(targets["windows"].begin(), targets["windows"].end(), expected), targets["windows"].end())
            << expected << " is not in " << run.out;
    }
}

TEST_F(XvfbAgentWithTerminals, CaptureWindowTakesTheLargestMatchOrTheNamedTitle) {
    struct Case {
        std::vector<std::string> window;  // the flags choosing by title
        const Terminal& terminal;
    };
    for (const auto& [window, terminal] :
         std::vector<Case>{{{}, terminals[0]}, {{"--window", "SMALL"}, terminals[1]}}) {
        SCOPED_TRACE(terminal.title);
        std::vector<std::string> args{"capture-window", "--app", "xterm", "--out", "w.png"};
        args.insert(args.end(), window.begin(), window.end());
        const auto [width, height] = std::pair(uint32_t(terminal.rect.width), uint32_t(terminal.rect.height));
        EXPECT_EQ(run(args), (AgentRun{0, resultLine("w.png", width, height), ""}));
        const auto image = decodedFile(workDir() / "w.png");
        ASSERT_TRUE(image);
        // Background in three corners; the text cursor is in the fourth.
        EXPECT_EQ(rgbAt(*image, image->width() - 1, image->height() - 1), kTerminalBackground);
        EXPECT_EQ(rgbAt(*image, image->width() - 1, 0), kTerminalBackground);
        EXPECT_EQ(rgbAt(*image, 0, image->height() - 1), kTerminalBackground);
    }
}

}  // namespace
}  // namespace tessarin::integration
