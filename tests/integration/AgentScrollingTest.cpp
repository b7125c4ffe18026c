// capture-scrolling against real scrolling clients on Xvfb: an xterm whose
// scroll-back holds numbered lines, scrolled through XTEST by tessarin or,
// with --no-auto-scroll, by this test, and a GTK text view (zenity
// --text-info) of a log. The stitched image must show every line once, in
// order. (Content that cannot be followed is ScrollingRunTest's.)

#include <nlohmann/json.hpp>
#include <xcb/xtest.h>

#include <array>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <initializer_list>
#include <optional>
#include <regex>
#include <sstream>
#include <thread>

#include "AgentXServerTest.h"
#include "render/TestImages.h"

namespace tessarin::integration {
namespace {

constexpr int kRows = 40;
constexpr int kBorder = 2;  // xterm's inner border

// Lines such as "0042 0042 ... 0042", sixteen times across the 80 columns, so
// every sampled column of the region sees text.
const std::string kNumberedAcross =
    "awk 'BEGIN{for(i=1;i<=500;i++){s=sprintf(\"%04d\",i);l=s;for(j=1;j<16;j++)l=l\" \"s;print l}}'";
class ScrollingAgent : public AgentXServerTest {
protected:
    // An xterm whose scroll-back holds the numbered lines, shown from the top.
    void openTerminal() {
        if (IsSkipped() || HasFatalFailure()) return;
        lineCount = 500;
        x.setRootColour(0x404040);
        x.spawn({"xterm", "-T", "scrolling-capture", "-geometry", "80x40+0+0", "-sl", "1000", "-fa", "DejaVu Sans Mono",
                 "-fs", "10", "-bg", "white", "-fg", "black", "-e", "sh", "-c",
                 kNumberedAcross + "; touch '" + (workDir() / "printed").string() + "'; sleep 600"});
        const auto window = x.waitForTopLevel("scrolling-capture");
        const auto geometry = window ? x.rootGeometry(*window) : std::nullopt;
        ASSERT_TRUE(geometry) << "xterm did not start";
        area = *geometry;
        lineHeight = (area.height - 2 * kBorder) / kRows;
        cellWidth = (area.width - 2 * kBorder) / 80;
        ASSERT_GT(lineHeight, 4);
        // Every line written, and shown: output arriving later would scroll
        // the terminal back down.
        ASSERT_TRUE(waitFor([&] { return std::filesystem::exists(workDir() / "printed"); })) << "no lines printed";
        ASSERT_TRUE(settledCapture(rect(), "bottom.png"));
        wheel(4, 150);  // back to the top of the scroll-back
        const auto top = settledCapture(rect(), "top.png");
        ASSERT_TRUE(top);
        // Line 1 reads 0001, line d ends in digit d: one cell per digit.
        digits[0] = cell(*top, 0, 0);
        for (int d = 1; d <= 9; ++d) digits[d] = cell(*top, d - 1, 3);
    }

    static bool waitFor(const std::function<bool()>& condition) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (!condition()) {
            if (std::chrono::steady_clock::now() > deadline) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));  // polls the condition
        }
        return true;
    }

    // `region` once it has stopped changing: two captures in a row alike.
    std::optional<Image> settledCapture(const std::string& region, const std::string& name) {
        std::optional<Image> previous, current;
        const bool settled = waitFor([&] {
            if (run({"capture-region", "--rect", region, "--out", name}).status != 0) return false;
            previous = std::move(current);
            current = decodedFile(workDir() / name);
            return previous && current && test::samePixels(*previous, *current);
        });
        if (!settled) return std::nullopt;
        return current;
    }

    // Wheel clicks at the middle of the xterm.
    void wheel(uint8_t button, int clicks) {
        xcb_connection_t* c = x.connection();
        xcb_warp_pointer(c, XCB_WINDOW_NONE, x.root(), 0, 0, 0, 0, int16_t(area.x + area.width / 2),
                         int16_t(area.y + area.height / 2));
        for (int i = 0; i < clicks; ++i) {
            xcb_test_fake_input(c, XCB_BUTTON_PRESS, button, XCB_CURRENT_TIME, XCB_WINDOW_NONE, 0, 0, 0);
            xcb_test_fake_input(c, XCB_BUTTON_RELEASE, button, XCB_CURRENT_TIME, XCB_WINDOW_NONE, 0, 0, 0);
        }
        x.sync();
    }

    std::string rect() const { return rectArgument(area); }

    // The pixels of character cell `column` of text line `line`.
    std::string cell(const Image& image, int64_t line, int64_t column) const {
        std::string bytes;
        const int64_t top = kBorder + line * lineHeight;
        for (int64_t y = top; y < top + lineHeight && y < int64_t(image.height()); ++y) {
            const uint8_t* row = image.row(uint32_t(y)) + (kBorder + column * cellWidth) * 4;
            bytes.append(reinterpret_cast<const char*>(row), size_t(cellWidth) * 4);
        }
        return bytes;
    }

    // The four-digit number starting at `column`, or -1.
    int number(const Image& image, int64_t line, int64_t column) const {
        int value = 0;
        for (int64_t k = 0; k < 4; ++k) {
            const std::string pixels = cell(image, line, column + k);
            const auto digit = std::find(digits.begin(), digits.end(), pixels);
            if (digit == digits.end()) return -1;
            value = value * 10 + int(digit - digits.begin());
        }
        return value;
    }

    // Every line once, in order, then the shell's empty line: the numbers
    // read at each of `columns`.
    void expectAllLines(const Image& image, std::initializer_list<int64_t> columns) {
        EXPECT_EQ(int64_t(image.width()), area.width);
        EXPECT_EQ(int64_t(image.height()), 2 * kBorder + (lineCount + 1) * lineHeight);
        int wrong = 0;
        for (int line = 0; line < lineCount && wrong < 5; ++line) {
            for (const int64_t column : columns) {
                const int read = number(image, line, column);
                if (read != line + 1) {
                    ADD_FAILURE() << "text line " << line << " reads " << read << " at column " << column;
                    ++wrong;
                }
            }
        }
        EXPECT_EQ(number(image, lineCount, *columns.begin()), -1);
    }

    int lineCount = 0;
    PixelRect area;
    int64_t lineHeight = 0;
    int64_t cellWidth = 0;
    std::array<std::string, 10> digits;
};

TEST_F(ScrollingAgent, AutoScrollStitchesEveryLineOnce) {
    ASSERT_NO_FATAL_FAILURE(openTerminal());
    const AgentRun result = run({"capture-scrolling", "--rect", rect(), "--out", "tall.png", "--max-seconds", "60"});
    EXPECT_EQ(result.status, 0) << result.err;
    const auto image = decodedFile(workDir() / "tall.png");
    ASSERT_TRUE(image);
    EXPECT_EQ(result, (AgentRun{0, resultLine("tall.png", image->width(), image->height()), ""}));
    expectAllLines(*image, {0, 75});
}

constexpr const char* kEmDash = "\xE2\x80\x94";  // UTF-8

// A text view's inside in `image`: the rows and columns that are mostly
// white (the window around it is grey, its text is sparse).
PixelRect whiteInside(const Image& image) {
    std::vector<uint32_t> rows(image.height()), columns(image.width());
    for (uint32_t y = 0; y < image.height(); ++y) {
        for (uint32_t x = 0; x < image.width(); ++x) {
            if (x11::testing::rgbAt(image, x, y) != 0xffffff) continue;
            ++rows[y];
            ++columns[x];
        }
    }
    const auto span = [](const std::vector<uint32_t>& counts, uint32_t across) {
        std::pair<int64_t, int64_t> range{-1, -1};
        for (size_t i = 0; i < counts.size(); ++i) {
            if (counts[i] * 5 < across * 2) continue;
            if (range.first < 0) range.first = int64_t(i);
            range.second = int64_t(i);
        }
        return range;
    };
    const auto [top, bottom] = span(rows, image.width());
    const auto [left, right] = span(columns, image.height());
    return {left, top, right - left + 1, bottom - top + 1};
}

// The view the problem was first seen in: a GTK text view in a proportional
// font, read back with the agent's own text recognition. Line k must read
// "Row k of the log — quick brown fox"; a few digits may be misread, but
// never as another line's number.
TEST_F(ScrollingAgent, AutoScrollStitchesALogInAGtkTextView) {
    const auto log = workDir() / "rows.txt";
    {
        std::ofstream out(log);
        for (int i = 1; i <= 300; ++i) out << "Row " << std::string(i < 10 ? 3 : i < 100 ? 2 : 1, '0') << i
                                           << " of the log " << kEmDash << " quick brown fox\n";
    }
    x.setRootColour(0x404040);
    const std::string home = workDir().string();
    ASSERT_GT(x.spawn({"env", "HOME=" + home, "XDG_CONFIG_HOME=" + home, "XDG_CACHE_HOME=" + home,
                       "XDG_DATA_HOME=" + home, "NO_AT_BRIDGE=1", "zenity", "--text-info", "--filename=" + log.string(),
                       "--title=look-alike-log", "--width=600", "--height=500"}),
              0);
    const auto window = x.waitForTopLevel("look-alike-log");
    const auto geometry = window ? x.rootGeometry(*window) : std::nullopt;
    ASSERT_TRUE(geometry) << "zenity did not start";
    const auto shot = settledCapture(rectArgument(*geometry), "window.png");  // the text is laid out
    ASSERT_TRUE(shot);
    PixelRect view = whiteInside(*shot);
    ASSERT_GT(view.width, 300);
    ASSERT_GT(view.height, 300);
    view.x += geometry->x;
    view.y += geometry->y;

    const AgentRun result =
        run({"capture-scrolling", "--rect", rectArgument(view), "--out", "log.png", "--max-seconds", "60"});
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.err, "");
    const AgentRun read = run({"capture-text", "--in", "log.png"});
    ASSERT_EQ(read.status, 0) << read.err;
    const auto text = nlohmann::json::parse(read.out, nullptr, false);
    ASSERT_TRUE(text.is_object() && text["text"].is_string()) << read.out;
    std::istringstream lines(text["text"].get<std::string>());
    const std::regex row(std::string(R"(^Row (\d{4}) of the log )") + kEmDash + " quick brown fox$");
    int rows = 0, misread = 0;
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("Row ", 0) != 0) continue;
        ++rows;
        std::smatch match;
        if (!std::regex_match(line, match, row)) {
            ++misread;
            continue;
        }
        EXPECT_EQ(std::stoi(match[1]), rows) << line;
    }
    EXPECT_EQ(rows, 300);
    EXPECT_LE(misread, 5);
}

TEST_F(ScrollingAgent, WithoutAutoScrollItFollowsTheUsersScrolling) {
    ASSERT_NO_FATAL_FAILURE(openTerminal());
    AgentRun result;
    std::thread agent([&] {
        result = run({"capture-scrolling", "--rect", rect(), "--out", "tall.png", "--no-auto-scroll",
                      "--idle-seconds", "2"});
    });
    // The first frame is taken, then the user scrolls down three clicks
    // (fifteen lines) every tenth of a second until the end.
    std::this_thread::sleep_for(std::chrono::milliseconds(600));
    for (int step = 0; step < 40; ++step) {
        wheel(5, 3);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    agent.join();
    ASSERT_EQ(result.status, 0) << result.err;
    const auto image = decodedFile(workDir() / "tall.png");
    ASSERT_TRUE(image);
    expectAllLines(*image, {0, 75});
}

}  // namespace
}  // namespace tessarin::integration
