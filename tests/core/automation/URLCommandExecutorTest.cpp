#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/automation/URLLinkHandler.h"

namespace tessarin {
namespace {

SharedImage imageOf(uint32_t width, uint32_t height) {
    return std::make_shared<const Image>(*Image::allocate(width, height));
}

// Every operation appends one line to `calls`.
struct RecordedOperations {
    std::vector<std::string> calls;
    bool clipboardHasImage = false;
    bool historyAccepts = true;
    std::vector<std::function<void()>> pendingLoads;  // answered later: the load runs off the main thread

    static std::string actionText(const URLCommandExecutor::Action& action) {
        if (!action) return "none";
        return std::string(rawValue(action->kind)) + (action->joinLines ? "+join" : "");
    }
    static std::string selectionText(const CaptureSelection& selection) {
        return std::to_string(static_cast<int>(selection.rect.x)) + "," + std::to_string(static_cast<int>(selection.rect.y)) +
               "," + std::to_string(static_cast<int>(selection.rect.width)) + "," +
               std::to_string(static_cast<int>(selection.rect.height));
    }

    URLCommandExecutor::Operations operations() {
        URLCommandExecutor::Operations ops;
        auto log = [this](std::string line) { calls.push_back(std::move(line)); };
        ops.startAllInOneCapture = [log] { log("allInOne"); };
        ops.startCapture = [log](CaptureMode mode, URLCommandExecutor::Action action) {
            log("capture " + std::string(rawValue(mode)) + " " + actionText(action));
        };
        ops.captureSelection = [log](const CaptureSelection& selection, URLCommandExecutor::Action action) {
            log("captureSelection " + selectionText(selection) + " " + actionText(action));
        };
        ops.replayLastCapture = [log](URLCommandExecutor::Action action) { log("replay " + actionText(action)); };
        ops.startFullScreenCapture = [log](std::optional<uint32_t> id, URLCommandExecutor::Action action) {
            log("fullScreen " + (id ? std::to_string(*id) : std::string("pointer")) + " " + actionText(action));
        };
        ops.startSelfTimerCapture = [log](const CaptureSelection& selection, std::optional<int64_t> seconds,
                                          URLCommandExecutor::Action action) {
            log("selfTimer " + selectionText(selection) + " " + (seconds ? std::to_string(*seconds) : "default") + " " +
                actionText(action));
        };
        ops.startScrollingCapture = [log](std::optional<CaptureSelection> selection, std::optional<bool> autoscroll) {
            log("scrolling " + (selection ? selectionText(*selection) : std::string("interactive")) + " " +
                (autoscroll ? (*autoscroll ? "auto" : "manual") : "default"));
        };
        ops.startRecording = [log] { log("record"); };
        ops.presentAnnotationEditor = [log](SharedImage image) { log("annotate " + std::to_string(image->width())); };
        ops.pinImage = [log](SharedImage image) { log("pin " + std::to_string(image->width())); };
        ops.restoreRecentlyClosedPin = [log] { log("restorePin"); };
        ops.openHistory = [log] { log("history"); };
        ops.openSettings = [log](std::optional<std::string> tab) { log("settings " + tab.value_or("-")); };
        ops.applyDesktopIcons = [log](DesktopIconAction action) {
            log(std::string("icons ") + (action == DesktopIconAction::hide ? "hide" : action == DesktopIconAction::show ? "show" : "toggle"));
        };
        ops.extractText = [log](SharedImage image, bool collapse) {
            log("text " + std::to_string(image->width()) + (collapse ? " join" : " keep"));
        };
        ops.addQuickAccessItem = [this, log](SharedImage image, std::function<void(std::optional<CaptureHistoryItem>)> done) {
            log("history.add " + std::to_string(image->width()));
            if (!historyAccepts) return done(std::nullopt);
            CaptureHistoryItem item;
            item.id = "item-1";
            done(item);
        };
        ops.showQuickAccessOverlay = [log](const CaptureHistoryItem& item, SharedImage) { log("quickAccess " + item.id); };
        ops.loadImage = [this, log](const std::string& path, URLCommandExecutor::ImageLoaded done) {
            log("load " + path);
            pendingLoads.push_back([path, done] {
                if (path.find("good") != std::string::npos) {
                    done(imageOf(12, 8));
                    return;
                }
                done(unexpected("Failed to decode " + path));
            });
        };
        ops.chooseImageFile = [log](std::function<void(SharedImage)> use) {
            log("choose");
            use(imageOf(30, 20));
        };
        ops.imageFromClipboard = [this]() -> std::optional<SharedImage> {
            if (!clipboardHasImage) return std::nullopt;
            return imageOf(40, 10);
        };
        ops.resolveSelection = [](const CaptureTarget::PixelRect& rect,
                                  const CaptureTarget::Display& display) -> CaptureTarget::SelectionResolution {
            if (const auto* id = std::get_if<CaptureTarget::ByID>(&display); id && id->displayID == 999) {
                return CaptureTarget::DisplayNotFound{};
            }
            if (rect.width <= 0 || rect.height <= 0) return CaptureTarget::EmptyRectangle{};
            return CaptureSelection{{}, Rect{rect.x, rect.y, rect.width, rect.height}};
        };
        ops.resolveDisplayID = [](const CaptureTarget::Display& display) -> DisplayResolution {
            if (const auto* id = std::get_if<CaptureTarget::ByID>(&display)) {
                if (id->displayID == 999) return DisplayNotConnected{};
                return id->displayID;
            }
            if (const auto* number = std::get_if<CaptureTarget::ByNumber>(&display)) {
                if (number->number == 2) return uint32_t{77};
                return DisplayNotConnected{};
            }
            return CaptureTarget::Automatic{};
        };
        ops.warn = [log](const std::string& title, const std::string& message) { log("warn " + title + ": " + message); };
        return ops;
    }

    void finishLoads() {
        auto loads = std::move(pendingLoads);
        pendingLoads.clear();
        for (auto& load : loads) load();
    }
};

std::vector<std::string> run(const std::string& link, RecordedOperations& fake) {
    URLCommandExecutor executor(fake.operations());
    const auto command = TessarinURLCommand::parse(link);
    EXPECT_TRUE(command) << link;
    if (command) executor.execute(*command);
    fake.finishLoads();
    return fake.calls;
}

using Calls = std::vector<std::string>;

TEST(URLCommandExecutor, EachLinkCallsWhatItNames) {
    const std::pair<const char*, Calls> table[] = {
        {"tessarin://capture-area", {"capture Area none"}},
        {"tessarin://capture-area?x=10&y=20&width=300&height=200&action=save", {"captureSelection 10,20,300,200 save"}},
        {"tessarin://capture-area?x=0&y=0&width=0&height=10",
         {"warn Unsupported URL: This link asked for a region with no width or height."}},
        {"tessarin://capture-area?x=0&y=0&width=10&height=10&display-id=999",
         {"warn Display not found: This link asked for a display that is not connected."}},
        {"tessarin://capture-previous-area?action=copy", {"replay copy"}},
        {"tessarin://capture-fullscreen", {"fullScreen pointer none"}},
        {"tessarin://capture-fullscreen?display=2&action=pin", {"fullScreen 77 pin"}},
        {"tessarin://capture-window?action=annotate", {"capture Window annotate"}},
        {"tessarin://self-timer", {"allInOne"}},
        {"tessarin://self-timer?x=1&y=2&width=3&height=4&seconds=-3", {"selfTimer 1,2,3,4 1 none"}},
        {"tessarin://self-timer?x=1&y=2&width=3&height=4&seconds=1000000000000000000", {"selfTimer 1,2,3,4 60 none"}},
        {"tessarin://self-timer?x=1&y=2&width=3&height=4", {"selfTimer 1,2,3,4 default none"}},
        {"tessarin://scrolling-capture?autoscroll=no", {"scrolling interactive manual"}},
        {"tessarin://scrolling-capture?x=1&y=2&width=3&height=4", {"scrolling 1,2,3,4 default"}},
        {"tessarin://pin", {"choose", "pin 30"}},
        {"tessarin://pin?filepath=/tmp/good.png", {"load /tmp/good.png", "pin 12"}},
        {"tessarin://pin?filepath=/tmp/bad.png", {"load /tmp/bad.png", "warn Pin failed: Failed to decode /tmp/bad.png"}},
        {"tessarin://pin?filepath=good.png",
         {"warn Pin failed: The link named the file \"good.png\" by a relative path; only absolute paths are opened."}},
        {"tessarin://pin?filepath=/tmp/good%00.png", {"warn Pin failed: The link named a file path with a NUL character in it."}},
        {"tessarin://pin?filepath=%0A%1B", {"warn Pin failed: The link named the file \"\\n\\x1B\" by a relative path; only absolute paths are opened."}},
        {"tessarin://capture-text?filepath=/good.png&linebreaks=false", {"load /good.png", "text 12 join"}},
        {"tessarin://capture-text?filepath=/bad.png", {"load /bad.png", "warn Could not open file: Failed to decode /bad.png"}},
        {"tessarin://capture-text?linebreaks=false&x=0&y=0&width=100&height=50", {"captureSelection 0,0,100,50 ocr+join"}},
        {"tessarin://capture-text", {"allInOne"}},
        {"tessarin://open-annotate?filepath=/good.png", {"load /good.png", "annotate 12"}},
        {"tessarin://open-settings?tab=shortcuts", {"settings shortcuts"}},
        {"tessarin://toggle-desktop-icons", {"icons toggle"}},
        {"tessarin://add-quick-access-overlay?filepath=",
         {"warn Quick Access failed: A filepath is required to add a Quick Access overlay."}},
        {"tessarin://add-quick-access-overlay?filepath=/good.png", {"load /good.png", "history.add 12", "quickAccess item-1"}},
        {"tessarin://record-screen", {"record"}},
        {"tessarin://open-from-clipboard",
         {"warn No Image on Clipboard: Copy an image before opening it in Annotate."}},
        {"tessarin://restore-recently-closed", {"restorePin"}},
        {"tessarin://open-history", {"history"}},
    };
    for (const auto& [link, expected] : table) {
        RecordedOperations fake;
        EXPECT_EQ(run(link, fake), expected) << link;
    }
    RecordedOperations withClipboard;
    withClipboard.clipboardHasImage = true;
    EXPECT_EQ(run("tessarin://open-from-clipboard", withClipboard), Calls{"annotate 40"});
    RecordedOperations historyFails;
    historyFails.historyAccepts = false;
    EXPECT_EQ(run("tessarin://add-quick-access-overlay?filepath=/good.png", historyFails),
              (Calls{"load /good.png", "history.add 12", "warn Quick Access failed: Failed to save the image in capture history."}));
}

TEST(URLCommandExecutor, ConfirmationPhrases) {
    const auto phrase = [](const std::string& link) {
        return URLCommandExecutor::confirmableURLAction(*TessarinURLCommand::parse(link));
    };
    EXPECT_EQ(phrase("tessarin://capture-area?action=ocr"), "capture a screen area and extract the text from it");
    EXPECT_EQ(phrase("tessarin://pin?filepath=/a.png"), "open a local file and pin it to the screen");
    EXPECT_EQ(phrase("tessarin://capture-text?filepath=/a.png"), "read text from a local file");
    for (const char* silent : {"tessarin://pin", "tessarin://open-annotate", "tessarin://add-quick-access-overlay",
                               "tessarin://open-settings", "tessarin://open-from-clipboard",
                               "tessarin://restore-recently-closed", "tessarin://open-history"}) {
        EXPECT_EQ(phrase(silent), std::nullopt) << silent;
    }
}

struct Harness {
    RecordedOperations fake;
    bool confirm = true;
    std::vector<std::string> questions;
    std::vector<std::function<void(bool)>> answers;
    URLLinkHandler handler{
        {[this] { return confirm; },
         [this](const std::string& title, const std::string& message, const std::string& confirmTitle,
                std::function<void(bool)> answer) {
             questions.push_back(title + " | " + message + " | " + confirmTitle);
             answers.push_back(std::move(answer));
         },
         [this](const std::string& title, const std::string& message) {
             fake.calls.push_back("warn " + title + ": " + message);
         }},
        std::make_unique<URLCommandExecutor>(fake.operations())};

    void answer(bool allowed) {
        ASSERT_FALSE(answers.empty());
        auto next = std::move(answers.front());
        answers.erase(answers.begin());
        next(allowed);
        fake.finishLoads();
    }
};

TEST(URLLinkHandler, RefusedLinksRunNothingWhateverTheyAsk) {
    const char* links[] = {
        "tessarin://capture-area?x=1&y=2&width=3&height=4&action=save", "tessarin://capture-fullscreen",
        "tessarin://scrolling-capture", "tessarin://pin?filepath=/good.png", "tessarin://capture-text?filepath=/good.png",
        "tessarin://toggle-desktop-icons", "tessarin://add-quick-access-overlay?filepath=/good.png",
        "tessarin://record-screen",
    };
    for (const char* link : links) {
        Harness h;
        h.handler.handle(link);
        ASSERT_EQ(h.questions.size(), 1u) << link;
        h.answer(false);
        EXPECT_TRUE(h.fake.calls.empty()) << link << ": " << h.fake.calls.front();
    }
}

TEST(URLLinkHandler, AsksOnceRunsAfterTheAnswerAndKeepsLinksInOrder) {
    Harness h;
    h.handler.handle("tessarin://capture-fullscreen");
    EXPECT_EQ(h.questions, std::vector<std::string>{
                               "Allow this Tessarin action? | A link asked Tessarin to capture the full screen and show "
                               "the capture overlay. Only allow this if you started it. | Allow"});
    EXPECT_TRUE(h.fake.calls.empty());
    // Behind the question: a link that never asks, one that does, one that
    // is not understood. Nothing runs until the question is answered.
    h.handler.handle("tessarin://open-history");
    h.handler.handle("tessarin://record-screen");
    h.handler.handle("tessarin://nonsense");
    EXPECT_EQ(h.handler.waitingLinks(), 3u);
    EXPECT_TRUE(h.fake.calls.empty());
    h.answer(true);
    EXPECT_EQ(h.fake.calls, (Calls{"fullScreen pointer none", "history"}));
    ASSERT_EQ(h.questions.size(), 2u);
    h.answer(true);
    EXPECT_EQ(h.fake.calls, (Calls{"fullScreen pointer none", "history", "record",
                                   "warn Unsupported URL: Tessarin cannot handle this URL."}));
    EXPECT_EQ(h.handler.waitingLinks(), 0u);

    // Without confirmation, everything runs at once.
    Harness quick;
    quick.confirm = false;
    quick.handler.handle("tessarin://capture-window");
    quick.handler.handle("tessarin://open-settings");
    EXPECT_EQ(quick.fake.calls, (Calls{"capture Window none", "settings -"}));
    EXPECT_TRUE(quick.questions.empty());
}

TEST(URLLinkHandler, AFloodOfLinksIsCappedBehindTheQuestion) {
    Harness h;
    h.handler.handle("tessarin://all-in-one");
    for (int i = 0; i < 100; ++i) h.handler.handle("tessarin://open-history");
    EXPECT_EQ(h.handler.waitingLinks(), URLLinkHandler::kMaximumWaitingLinks);
    h.answer(false);
    EXPECT_EQ(h.fake.calls.size(), URLLinkHandler::kMaximumWaitingLinks);
}

TEST(URLLinkHandler, AnAnswerAfterTheHandlerIsGoneDoesNothing) {
    std::function<void(bool)> late;
    RecordedOperations fake;
    {
        URLLinkHandler handler({[] { return true; },
                                [&](const std::string&, const std::string&, const std::string&,
                                    std::function<void(bool)> answer) { late = std::move(answer); },
                                [](const std::string&, const std::string&) {}},
                               std::make_unique<URLCommandExecutor>(fake.operations()));
        handler.handle("tessarin://record-screen");
    }
    ASSERT_TRUE(late);
    late(true);
    EXPECT_TRUE(fake.calls.empty());
}

}  // namespace
}  // namespace tessarin
