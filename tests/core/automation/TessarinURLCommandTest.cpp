#include <gtest/gtest.h>

#include <random>

#include "core/automation/TessarinURLCommand.h"

namespace tessarin {
namespace {

using Kind = TessarinURLCommand::Kind;
using ActionKind = CaptureOutputAction::Kind;

TessarinURLCommand parsed(const std::string& link) {
    const auto command = TessarinURLCommand::parse(link);
    EXPECT_TRUE(command) << link;
    return command.value_or(TessarinURLCommand{});
}

TEST(TessarinURLCommand, EveryCommandWordAndItsKind) {
    const std::pair<const char*, Kind> table[] = {
        {"all-in-one", Kind::allInOne}, {"capture-area", Kind::captureArea},
        {"capture-previous-area", Kind::capturePreviousArea}, {"capture-fullscreen", Kind::captureFullscreen},
        {"capture-window", Kind::captureWindow}, {"self-timer", Kind::selfTimer},
        {"scrolling-capture", Kind::scrollingCapture}, {"pin", Kind::pin}, {"record-screen", Kind::recordScreen},
        {"capture-text", Kind::captureText}, {"open-annotate", Kind::openAnnotate},
        {"open-from-clipboard", Kind::openFromClipboard}, {"open-settings", Kind::openSettings},
        {"hide-desktop-icons", Kind::desktopIcons}, {"restore-recently-closed", Kind::restoreRecentlyClosed},
        {"open-history", Kind::openHistory}, {"add-quick-access-overlay", Kind::addQuickAccessOverlay},
    };
    for (const auto& [word, kind] : table) {
        for (const std::string prefix : {"tessarin://", "TESSARIN://", "tessarin:", "tessarin:///", "Tessarin://"}) {
            std::string upper = word;
            for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
            EXPECT_EQ(parsed(prefix + word).kind, kind) << prefix << word;
            EXPECT_EQ(parsed(prefix + upper).kind, kind) << prefix << upper;
        }
    }
    EXPECT_EQ(parsed("tessarin://show-desktop-icons").iconAction, DesktopIconAction::show);
    EXPECT_EQ(parsed("tessarin://hide-desktop-icons").iconAction, DesktopIconAction::hide);
    EXPECT_EQ(parsed("tessarin://toggle-desktop-icons").iconAction, DesktopIconAction::toggle);
}

TEST(TessarinURLCommand, WhatIsNotACommandIsNone) {
    for (const char* link : {
             "tessarin://unknown", "tessarin://", "tessarin:", "http://capture-area", "mailto:capture-area",
             "tessarinx://capture-area", "capture-area", "://capture-area", "1tessarin://capture-area",
             "tessarin://capture area", "tessarin://capture-area?x=1 2", "tessarin://capture-area\n",
             "tessarin://capture-area?x=%zz", "tessarin://capture-area?x=%4", "tessarin://capture-%", "",
             "tessarin://capture-area\x01", "tessarin://user@:80/",
         }) {
        EXPECT_FALSE(TessarinURLCommand::parse(link)) << link;
    }
}

TEST(TessarinURLCommand, TheQueryKeysValuesAndRegion) {
    // Keys ignore case, the last of a key wins, values keep their case.
    auto command = parsed("tessarin://capture-area?X=10&Y=10&WIDTH=100&HEIGHT=50");
    ASSERT_TRUE(command.region);
    EXPECT_EQ(*command.region, (TessarinURLRegion{10, 10, 100, 50, CaptureTarget::Automatic{}}));
    command = parsed("tessarin://capture-area?x=1&x=2&y=0&width=5&height=5#x=9");
    ASSERT_TRUE(command.region);
    EXPECT_EQ(command.region->x, 2);
    EXPECT_EQ(parsed("tessarin://pin?filepath=/tmp/A%20B.png&FilePath=/tmp/Caps.PNG").filepath, "/tmp/Caps.PNG");
    EXPECT_EQ(parsed("tessarin://pin?filepath=/a=b=c").filepath, "/a=b=c");
    EXPECT_EQ(parsed("tessarin://pin?filepath=").filepath, "");
    EXPECT_EQ(parsed("tessarin://pin?filepath").filepath, std::nullopt);  // no value: left out
    EXPECT_EQ(parsed("tessarin://pin?filepath=%2Ftmp%2Fx%00.png").filepath, std::string("/tmp/x\0.png", 11));
    EXPECT_EQ(parsed("tessarin://open-settings?tab=Shortcuts").tab, "Shortcuts");
    EXPECT_EQ(parsed("tessarin://open-settings").tab, std::nullopt);

    // Three of the four are no region at all.
    EXPECT_FALSE(parsed("tessarin://capture-area?x=10&y=10&width=100").region);
    EXPECT_FALSE(parsed("tessarin://capture-area?x=10&y=10&width=100&height=nan").region);
    // Zero or negative sizes are still a region here.
    EXPECT_TRUE(parsed("tessarin://capture-area?x=0&y=0&width=0&height=-10").region);

    // The display: an id, else a number, else the one under the pointer.
    const auto display = [](const std::string& query) {
        return parsed("tessarin://capture-fullscreen?" + query).display;
    };
    EXPECT_TRUE(std::holds_alternative<CaptureTarget::Automatic>(display("")));
    ASSERT_TRUE(std::holds_alternative<CaptureTarget::ByNumber>(display("display-id=abc&display=2")));
    EXPECT_EQ(std::get<CaptureTarget::ByNumber>(display("display-id=abc&display=2")).number, 2);
    ASSERT_TRUE(std::holds_alternative<CaptureTarget::ByID>(display("display-id=+7&display=2")));
    EXPECT_EQ(std::get<CaptureTarget::ByID>(display("display-id=+7")).displayID, 7u);
    EXPECT_EQ(std::get<CaptureTarget::ByID>(display("display-id=-0")).displayID, 0u);
    EXPECT_EQ(std::get<CaptureTarget::ByID>(display("display-id=4294967295")).displayID, 4294967295u);
    EXPECT_TRUE(std::holds_alternative<CaptureTarget::Automatic>(display("display-id=4294967296")));
    EXPECT_TRUE(std::holds_alternative<CaptureTarget::Automatic>(display("display-id=-1")));
    const auto region = parsed("tessarin://capture-area?x=1&y=2&width=3&height=4&display=3").region;
    ASSERT_TRUE(region);
    EXPECT_EQ(std::get<CaptureTarget::ByNumber>(region->display).number, 3);
}

TEST(TessarinURLCommand, ActionsAndTheirLineBreaks) {
    // The words themselves are CaptureOutputAction's (CaptureFlowValuesTest).
    const auto action = [](const std::string& query) { return parsed("tessarin://capture-area?" + query).action; };
    EXPECT_EQ(action("action=OCR&linebreaks=no"), (CaptureOutputAction{ActionKind::ocr, true}));
    EXPECT_EQ(action("action=print"), std::nullopt);
    EXPECT_EQ(action(""), std::nullopt);

    const auto timer = parsed("tessarin://self-timer?seconds=-3&action=copy");
    EXPECT_EQ(timer.seconds, -3);  // bounds are the executor's business
    EXPECT_EQ(parsed("tessarin://scrolling-capture?autoscroll=YES").autoscroll, true);
    EXPECT_EQ(parsed("tessarin://capture-text?linebreaks=0").linebreaks, false);
}

TEST(URLQuery, ValueGrammar) {
    const auto number = [](const std::string& text) { return URLQuery{{{"v", text}}}.doubleValue("v"); };
    const std::pair<const char*, std::optional<double>> doubles[] = {
        {"1", 1},          {"-2.5", -2.5},   {"+3", 3},          {".5", 0.5},      {"5.", 5},
        {"1e3", 1000},     {"1E-2", 0.01},   {"-0", -0.0},       {"", std::nullopt}, {" 1", std::nullopt},
        {"1 ", std::nullopt}, {"0x10", std::nullopt}, {"inf", std::nullopt}, {"-infinity", std::nullopt},
        {"nan", std::nullopt}, {"1e999", std::nullopt}, {"1e", std::nullopt}, {"e5", std::nullopt},
        {".", std::nullopt}, {"1.2.3", std::nullopt}, {"--1", std::nullopt}, {"1,5", std::nullopt},
    };
    for (const auto& [text, expected] : doubles) EXPECT_EQ(number(text), expected) << '"' << text << '"';

    const auto integer = [](const std::string& text) { return URLQuery{{{"v", text}}}.intValue("v"); };
    const std::pair<const char*, std::optional<int64_t>> ints[] = {
        {"0", 0}, {"+12", 12}, {"-12", -12}, {"9223372036854775807", INT64_MAX}, {"-9223372036854775808", INT64_MIN},
        {"9223372036854775808", std::nullopt}, {"1.0", std::nullopt}, {"1e3", std::nullopt}, {" 1", std::nullopt},
        {"+", std::nullopt}, {"-", std::nullopt}, {"0x1", std::nullopt},
    };
    for (const auto& [text, expected] : ints) EXPECT_EQ(integer(text), expected) << '"' << text << '"';

    const auto flag = [](const std::string& text) { return URLQuery{{{"v", text}}}.boolValue("v"); };
    for (const char* yes : {"true", "TRUE", "1", "Yes"}) EXPECT_EQ(flag(yes), true) << yes;
    for (const char* no : {"false", "0", "NO"}) EXPECT_EQ(flag(no), false) << no;
    for (const char* neither : {"", "y", "2", "on"}) EXPECT_EQ(flag(neither), std::nullopt) << neither;
    EXPECT_EQ(URLQuery{}.boolValue("v"), std::nullopt);
}

TEST(TessarinURLCommand, RandomSpellingsReadBackTheSameAndNoiseNeverCrashes) {
    std::mt19937 random(20261207);
    const auto randomCase = [&](std::string text) {
        for (char& c : text) {
            if (random() % 2) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        }
        return text;
    };
    const auto escaped = [&](const std::string& text) {
        std::string out;
        for (const unsigned char c : text) {
            if (random() % 3 == 0 || c <= 0x20 || c >= 0x7f || c == '&' || c == '=' || c == '#' || c == '%' || c == '?') {
                char hex[4];
                std::snprintf(hex, sizeof hex, "%%%02X", c);
                out += hex;
            } else {
                out += static_cast<char>(c);
            }
        }
        return out;
    };
    for (int round = 0; round < 500; ++round) {
        const double x = std::uniform_int_distribution<int>(-5000, 5000)(random) / 4.0;
        const double width = std::uniform_int_distribution<int>(1, 8000)(random) / 2.0;
        std::vector<std::pair<std::string, std::string>> items = {
            {"x", std::to_string(x)}, {"y", "7"}, {"width", std::to_string(width)}, {"height", "3e2"},
            {"action", randomCase("copy")}, {"display", std::to_string(round % 4 + 1)},
        };
        std::shuffle(items.begin(), items.end(), random);
        std::string link = randomCase("tessarin") + "://" + randomCase("capture-area") + "?";
        for (const auto& [key, value] : items) link += escaped(randomCase(key)) + "=" + escaped(value) + "&";
        const auto command = TessarinURLCommand::parse(link);
        ASSERT_TRUE(command) << link;
        ASSERT_TRUE(command->region) << link;
        EXPECT_EQ(*command->region, (TessarinURLRegion{x, 7, width, 300, CaptureTarget::ByNumber{round % 4 + 1}})) << link;
        EXPECT_EQ(command->action, (CaptureOutputAction{ActionKind::copy, false})) << link;

        // The same with a random path to a file, every byte but NUL escaped at random.
        std::string path = "/";
        for (int i = 0; i < 12; ++i) path += static_cast<char>(std::uniform_int_distribution<int>(1, 255)(random));
        const auto pin = TessarinURLCommand::parse("tessarin:pin?filepath=" + escaped(path));
        ASSERT_TRUE(pin);
        EXPECT_EQ(pin->filepath, path);
    }
    for (int round = 0; round < 2000; ++round) {
        std::string noise = round % 2 ? "tessarin://" : "";
        const int length = std::uniform_int_distribution<int>(0, 80)(random);
        for (int i = 0; i < length; ++i) noise += static_cast<char>(random() % 256);
        (void)TessarinURLCommand::parse(noise);
    }
}

}  // namespace
}  // namespace tessarin
