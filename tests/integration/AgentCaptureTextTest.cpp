// capture-text on Xvfb, reading what a real xterm shows: by region, by
// window, and with the line breaks collapsed. Tables in the bitmap font,
// one line per row, are AgentTerminalTextTest's listings.

#include <nlohmann/json.hpp>

#include <chrono>
#include <sstream>
#include <thread>

#include "AgentXServerTest.h"

namespace tessarin::integration {
namespace {

const std::vector<std::string> kLines = {"Tessarin reads terminal text", "second line of output 42"};

// How many of the expected words appear in `text`, in order.
size_t wordsInOrder(const std::string& text) {
    size_t found = 0, at = 0;
    for (const auto& line : kLines) {
        std::istringstream words(line);
        for (std::string word; words >> word;) {
            const size_t next = text.find(word, at);
            if (next == std::string::npos) continue;
            ++found;
            at = next + word.size();
        }
    }
    return found;
}

constexpr size_t kWordCount = 9;

class XvfbCaptureText : public AgentXServerTest {
protected:
    void SetUp() override {
        AgentXServerTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        x.setRootColour(0x336699);
        const std::string script = "printf '" + kLines[0] + "\\n" + kLines[1] + "\\n'; exec sleep 600";
        ASSERT_GT(x.spawn({"xterm", "-fa", "DejaVu Sans Mono", "-fs", "11", "-bg", "#1e1e1e", "-fg", "#d0d0d0",
                           "-T", "ocr-terminal", "-geometry", "40x4+200+150", "-e", "sh", "-c", script}),
                  0);
        const auto window = x.waitForTopLevel("ocr-terminal");
        const auto rect = window ? x.rootGeometry(*window) : std::nullopt;
        ASSERT_TRUE(rect) << "xterm did not start";
        terminal = *rect;
    }

    // The text the command printed; the terminal may take a moment to draw.
    nlohmann::json readText(const std::vector<std::string>& args) {
        nlohmann::json result;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
        do {
            const AgentRun run = this->run(args);
            EXPECT_EQ(run.status, 0) << run.err;
            result = nlohmann::json::parse(run.out, nullptr, false);
            if (run.status != 0 || result.is_discarded()) return {};
            const std::string text = result["text"];
            if (wordsInOrder(text) == kWordCount) return result;
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
        } while (std::chrono::steady_clock::now() < deadline);
        return result;
    }

    PixelRect terminal{};
};

TEST_F(XvfbCaptureText, ReadsATerminalByRegionAndByWindow) {
    const auto region = readText({"capture-text", "--rect", rectArgument(terminal)});
    ASSERT_TRUE(region.is_object());
    const std::string text = region["text"];
    EXPECT_EQ(wordsInOrder(text), kWordCount) << text;
    EXPECT_NE(text.find('\n'), std::string::npos) << text;  // one line per terminal line
    EXPECT_FALSE(region.contains("path"));
    EXPECT_EQ(region["chars"], text.size());  // ASCII: one character per byte

    const auto window = readText({"capture-text", "--app", "xterm", "--window", "ocr-terminal", "--no-linebreaks",
                                  "--out", "terminal.png"});
    ASSERT_TRUE(window.is_object());
    const std::string collapsed = window["text"];
    EXPECT_EQ(wordsInOrder(collapsed), kWordCount) << collapsed;
    EXPECT_EQ(collapsed.find('\n'), std::string::npos) << collapsed;
    // The written file's full path, not the value as given.
    EXPECT_EQ(window["path"], (workDir() / "terminal.png").string());
    const auto image = decodedFile(workDir() / "terminal.png");
    ASSERT_TRUE(image);
    EXPECT_EQ(image->width(), terminal.width);
    EXPECT_EQ(image->height(), terminal.height);
}

}  // namespace
}  // namespace tessarin::integration
