// capture-text on Xvfb, reading what a real xterm shows: by region, by
// window, and with the line breaks collapsed.

#include <nlohmann/json.hpp>

#include <algorithm>
#include <chrono>
#include <functional>
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
    nlohmann::json readText(const std::vector<std::string>& args,
                            const std::function<bool(const std::string&)>& drawn = {}) {
        nlohmann::json result;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
        do {
            const AgentRun run = this->run(args);
            EXPECT_EQ(run.status, 0) << run.err;
            result = nlohmann::json::parse(run.out, nullptr, false);
            if (run.status != 0 || result.is_discarded()) return {};
            const std::string text = result["text"];
            if (drawn ? drawn(text) : wordsInOrder(text) == kWordCount) return result;
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

// A table in xterm's default bitmap font: the engine's layout analysis takes
// its columns for separate blocks unless told otherwise, and the font reads
// poorly at its size. Each row must come out as one line, in screen order.
TEST_F(XvfbCaptureText, ReadsATableInABitmapFontRowByRow) {
    const std::vector<std::vector<std::string>> rows = {{"-rw-r--r--", "4096", "Mar", "alpha"},
                                                        {"drwxr-xr-x", "64", "Jan", "bravo"},
                                                        {"-rwxr-xr-x", "18752", "May", "charlie"},
                                                        {"lrwxrwxrwx", "731", "Sep", "delta"}};
    std::string script = "printf '%s\\n'";
    for (const auto& row : rows) {
        script += " '" + row[0] + " 1 root root " + std::string(8 - row[1].size(), ' ') + row[1] + " " + row[2] +
                  " 12 " + row[3] + "'";
    }
    script += "; exec sleep 600";
    ASSERT_GT(x.spawn({"xterm", "-T", "ocr-table", "-geometry", "50x5+20+400", "-e", "sh", "-c", script}), 0);
    ASSERT_TRUE(x.waitForTopLevel("ocr-table"));

    // The line index of each row, when every word of it is on that line.
    const auto rowLines = [&](const std::string& text) {
        std::vector<std::string> lines;
        std::istringstream in(text);
        for (std::string line; std::getline(in, line);) lines.push_back(line);
        std::vector<size_t> found;
        for (const auto& row : rows) {
            const auto at = std::find_if(lines.begin(), lines.end(), [&](const std::string& line) {
                return std::all_of(row.begin(), row.end(), [&](const auto& word) { return line.find(word) != std::string::npos; });
            });
            if (at == lines.end()) return std::vector<size_t>{};
            found.push_back(size_t(at - lines.begin()));
        }
        return found;
    };
    const auto result = readText({"capture-text", "--app", "xterm", "--window", "ocr-table"},
                                 [&](const std::string& text) { return !rowLines(text).empty(); });
    ASSERT_TRUE(result.is_object());
    const std::string text = result["text"];
    const auto order = rowLines(text);
    ASSERT_EQ(order.size(), rows.size()) << text;
    EXPECT_TRUE(std::is_sorted(order.begin(), order.end()) && std::adjacent_find(order.begin(), order.end()) == order.end())
        << text;
}

}  // namespace
}  // namespace tessarin::integration
