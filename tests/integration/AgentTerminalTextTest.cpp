// capture-text on terminal screens a real xterm draws (tests/ocr/terminal):
// listings, logs with timestamps, compiler errors, numbers and quotes, in
// xterm's default bitmap font and in a smoothed one. A command, a path or
// an error message copied out of a terminal is only useful when every digit
// and mark in it is right, so tokens are compared exactly. (The flags of
// capture-text are CaptureTextCommandTest's.)

#include <nlohmann/json.hpp>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <thread>

#include "AgentXServerTest.h"
#include "support/TokenAccuracy.h"

namespace tessarin::integration {
namespace {

std::vector<std::string> tokens(const std::string& text) {
    std::istringstream in(text);
    std::vector<std::string> result;
    for (std::string token; in >> token;) result.push_back(token);
    return result;
}

// 1 - token edit distance / tokens expected: nothing normalised, so one
// wrong colon makes its token wrong.
double tokenAccuracy(const std::string& expected, const std::string& actual) {
    return testing::tokenEditAccuracy(tokens(expected), tokens(actual));
}

// Whether the tokens of `wanted` follow each other somewhere in `text`.
bool holdsTokens(const std::string& text, const std::string& wanted) {
    const auto all = tokens(text), run = tokens(wanted);
    return std::search(all.begin(), all.end(), run.begin(), run.end()) != all.end();
}

bool holdsHan(const std::string& text) {
    // U+3400 to U+9FFF and U+F900 to U+FAFF in UTF-8.
    static const std::regex han("\xe3[\x90-\xbf]|[\xe4-\xe9]|\xef[\xa4-\xab]");
    return std::regex_search(text, han);
}

// The screen's text: each line of the file folded at 80 columns, as xterm
// wraps it.
std::string screenText(const fs::path& file) {
    std::ifstream in(file);
    std::string screen;
    for (std::string line; std::getline(in, line);) {
        do {
            screen += line.substr(0, 80) + "\n";
            line.erase(0, std::min<size_t>(80, line.size()));
        } while (!line.empty());
    }
    return screen;
}

const fs::path kCorpus = TESSARIN_TERMINAL_CORPUS;

class XvfbTerminalText : public AgentXServerTest {
protected:
    // The text capture-text reads from an 80-column xterm showing the corpus
    // file `name`, with the given font options. The window is captured once
    // two captures in a row agree: xterm draws its text after mapping.
    std::string recognised(const std::string& name, const std::vector<std::string>& font) {
        const fs::path file = kCorpus / (name + ".txt");
        const std::string title = "terminal-" + name;
        const std::string screen = screenText(file);
        const auto rows = std::count(screen.begin(), screen.end(), '\n');
        std::vector<std::string> command = {"xterm", "-T", title, "-geometry",
                                            "80x" + std::to_string(rows + 3) + "+0+0"};
        command.insert(command.end(), font.begin(), font.end());
        command.insert(command.end(), {"-e", "sh", "-c", "cat '" + file.string() + "'; exec sleep 600"});
        EXPECT_GT(x.spawn(command), 0);
        EXPECT_TRUE(x.waitForTopLevel(title)) << "xterm did not start";

        const fs::path shot = workDir() / (name + ".png");
        std::string previous;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (std::chrono::steady_clock::now() < deadline) {
            const AgentRun capture = run({"capture-window", "--app", "xterm", "--window", title, "--out", shot.string()});
            const std::string current = capture.status == 0 ? fileContents(shot) : std::string();
            if (!current.empty() && current == previous) break;
            previous = current;
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
        }
        // Read live, as a script would, now that the window has settled.
        const AgentRun read = run({"capture-text", "--app", "xterm", "--window", title});
        EXPECT_EQ(read.status, 0) << read.err;
        const auto result = nlohmann::json::parse(read.out, nullptr, false);
        if (read.status != 0 || !result.is_object()) return {};
        return result["text"];
    }
};

TEST_F(XvfbTerminalText, TheDefaultBitmapFontKeepsEveryDigitAndMark) {
    // What a user copies out of a terminal, where one wrong mark breaks it.
    const std::map<std::string, std::vector<std::string>> marks = {
        {"ls", {"Aug  9 03:55 arch", "Dec  1 00:12 bashbug", "x86_64-linux-gnu-ar"}},
        {"dmesg", {"[   12.345678] EXT4-fs (sda1):", "latency_ms=0.93"}},
        {"build", {"src/main.cpp:118:27: error: expected ';' after expression", "1,284 passed; 3 skipped",
                   "(real) =  96.5s"}},
    };
    for (const auto& [name, wanted] : marks) {
        SCOPED_TRACE(name);
        const std::string text = recognised(name, {});
        for (const auto& run : wanted) EXPECT_TRUE(holdsTokens(text, run)) << run << " in\n" << text;
        EXPECT_FALSE(holdsHan(text)) << text;
        EXPECT_GE(tokenAccuracy(screenText(kCorpus / (name + ".txt")), text), 0.97) << text;
        if (name == "build") {
            // The last letter of a wrapped line, alone on its row.
            std::istringstream lines(text);
            std::vector<std::string> all;
            for (std::string line; std::getline(lines, line);) all.push_back(line);
            EXPECT_NE(std::find(all.begin(), all.end(), "e"), all.end()) << text;
        }
    }
}

TEST_F(XvfbTerminalText, ASmoothedFontReadsItsTokensExactlyAndAsLatin) {
    for (const std::string name : {"ls", "dmesg", "build", "numbers"}) {
        SCOPED_TRACE(name);
        const std::string text = recognised(name, {"-fa", "DejaVu Sans Mono", "-fs", "10"});
        EXPECT_FALSE(holdsHan(text)) << text;
        EXPECT_GE(tokenAccuracy(screenText(kCorpus / (name + ".txt")), text), 0.97) << text;
    }
}

}  // namespace
}  // namespace tessarin::integration
