// capture-scrolling against a real scrolling client on Xvfb: an xterm whose
// scroll-back holds 500 numbered lines, scrolled through XTEST by tessarin
// itself or, with --no-auto-scroll, by this test while tessarin watches.
// The stitched image must show every line once, in order.

#include <xcb/xtest.h>

#include <array>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <functional>
#include <optional>
#include <thread>

#include "AgentXServerTest.h"
#include "render/TestImages.h"

namespace tessarin::integration {
namespace {

constexpr int kLines = 500;
constexpr int kRows = 40;
constexpr int kBorder = 2;  // xterm's inner border

// Lines such as "0042 0042 ... 0042", sixteen times across the 80 columns, so
// every sampled column of the region sees text; then `marker` is created.
std::string printLines(const std::filesystem::path& marker) {
    return "awk 'BEGIN{for(i=1;i<=500;i++){s=sprintf(\"%04d\",i);l=s;for(j=1;j<16;j++)l=l\" \"s;print l}}'; "
           "touch '" + marker.string() + "'; sleep 600";
}

class ScrollingAgent : public AgentXServerTest {
protected:
    void SetUp() override {
        AgentXServerTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        x.setRootColour(0x404040);
        x.spawn({"xterm", "-T", "scrolling-capture", "-geometry", "80x40+0+0", "-sl", "1000", "-fa", "DejaVu Sans Mono",
                 "-fs", "10", "-bg", "white", "-fg", "black", "-e", "sh", "-c", printLines(workDir() / "printed")});
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
        ASSERT_TRUE(settledCapture("bottom.png"));
        wheel(4, 150);  // back to the top of the scroll-back
        const auto top = settledCapture("top.png");
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

    // The terminal's area once it has stopped changing: two captures in a
    // row alike.
    std::optional<Image> settledCapture(const std::string& name) {
        std::optional<Image> previous, current;
        const bool settled = waitFor([&] {
            if (run({"capture-region", "--rect", rect(), "--out", name}).status != 0) return false;
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

    // Every line 1..500 once, in order, then the shell's empty line.
    void expectAllLines(const Image& image) {
        EXPECT_EQ(int64_t(image.width()), area.width);
        EXPECT_EQ(int64_t(image.height()), 2 * kBorder + (kLines + 1) * lineHeight);
        int wrong = 0;
        for (int line = 0; line < kLines && wrong < 5; ++line) {
            const int first = number(image, line, 0);
            const int last = number(image, line, 75);
            if (first != line + 1 || last != line + 1) {
                ADD_FAILURE() << "text line " << line << " reads " << first << " / " << last;
                ++wrong;
            }
        }
        EXPECT_EQ(number(image, kLines, 0), -1);
    }

    PixelRect area;
    int64_t lineHeight = 0;
    int64_t cellWidth = 0;
    std::array<std::string, 10> digits;
};

TEST_F(ScrollingAgent, AutoScrollStitchesEveryLineOnce) {
    const AgentRun result = run({"capture-scrolling", "--rect", rect(), "--out", "tall.png", "--max-seconds", "60"});
    ASSERT_EQ(result.status, 0) << result.err;
    const auto image = decodedFile(workDir() / "tall.png");
    ASSERT_TRUE(image);
    EXPECT_EQ(result.out, resultLine("tall.png", image->width(), image->height()));
    expectAllLines(*image);
}

TEST_F(ScrollingAgent, WithoutAutoScrollItFollowsTheUsersScrolling) {
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
    expectAllLines(*image);
}

}  // namespace
}  // namespace tessarin::integration
