// Damaged and hostile preference documents, generated from a fixed seed so a
// failure repeats: the loader must never crash, and whatever it reads, the
// preferences built on it must hold values inside their ranges.

#include <random>

#include <gtest/gtest.h>

#include "core/preferences/AppPreferences.h"
#include "core/preferences/JsonFileStore.h"
#include "core/preferences/PreferencesDocument.h"
#include "core/preferences/PreferencesTestSupport.h"

namespace tessarin {
namespace {

using nlohmann::json;

const char* const keys[] = {"playSound", "defaultImageFormat", "lastAnnotationTool", "capturePreset",
                            "lastCaptureSelection", "rememberLastCaptureSelection", "selfTimerDurationSeconds",
                            "quickAccessPosition", "quickAccessMaxCount", "historyMaxCount", "historyMaxAgeDays",
                            "historyPaused"};

// Values a reader meets: raw values in and out of case, edge numbers, stored
// forms valid and not, as objects and as JSON text, nested containers.
const json interesting[] = {
    true, false, nullptr, "png", "jpeg", "JPEG", "Pixelate", "freehand", "bottomLeft", 0, -1, 9, 1000, 0.5,
    std::numeric_limits<int64_t>::min(), std::numeric_limits<uint64_t>::max(), 1e308, -0.0,
    json::parse(R"({"fixedSize":{"width":1280,"height":720,"name":"720p"}})"),
    json::parse(R"({"area":{"localX":1,"localY":2,"width":3,"height":4,"screenID":5}})"),
    json::parse(R"({"area":{"x":1,"y":2,"width":3,"height":4,"screenID":-5}})"),
    json::parse(R"({"area":[[{"screenID":[]}]],"fullscreen":{}})"),
    R"({"fullscreen":{"screenID":4294967296}})", R"({"aspectRatio":{"width":1.5}})"};

// A document, whole or damaged the way files get damaged (cut short, bytes
// flipped, stray bytes, pieces doubled).
std::string randomDocument(std::mt19937& random) {
    const auto below = [&random](size_t n) { return size_t(random() % n); };
    json document = json::object();
    for (const char* key : keys) {
        if (below(4) != 0) document[key] = interesting[below(std::size(interesting))];
    }
    std::string text = document.dump(below(2) ? 2 : -1);
    for (size_t edits = below(2) * (1 + below(3)); edits > 0 && !text.empty(); --edits) {
        const size_t at = below(text.size());
        switch (below(4)) {
            case 0: text.resize(at); break;
            case 1: text[at] = char(random()); break;
            case 2: text.insert(at, 1, "{}[]\",:\\\xC3\xFF"[below(10)]); break;
            default: text.insert(at, text.substr(at, below(32))); break;
        }
    }
    return text;
}

TEST(PreferencesRandomInput, AnyFileGivesUsablePreferencesAndLaterWritesStillWork) {
    testing::CapturedLog quiet;
    testing::TemporaryHome home;
    const auto file = home.preferencesFile();
    std::mt19937 random(0x7e55a41u);
    for (int i = 0; i < 2000 && !HasFailure(); ++i) {
        SCOPED_TRACE("case " + std::to_string(i));
        std::filesystem::remove_all(home.configFolder());
        const std::string bytes = randomDocument(random);
        testing::writeFile(file, bytes);
        JsonFileStore store(file, testing::withoutFsync());
        AppPreferences p(store);
        EXPECT_TRUE(p.selfTimerDurationSeconds() >= 1 && p.selfTimerDurationSeconds() <= 60);
        EXPECT_TRUE(p.quickAccessMaxCount() >= 1 && p.quickAccessMaxCount() <= 5);
        EXPECT_TRUE(p.historyMaxCount() >= 1 && p.historyMaxCount() <= 500);
        EXPECT_TRUE(p.historyMaxAgeDays() >= 1 && p.historyMaxAgeDays() <= 365);
        EXPECT_FALSE(rawValue(p.defaultImageFormat()).empty());
        EXPECT_FALSE(rawValue(p.lastAnnotationTool()).empty());
        EXPECT_FALSE(rawValue(p.quickAccessPosition()).empty());
        EXPECT_TRUE(p.rememberLastCaptureSelection() || !p.lastCaptureSelection());

        // A good file keeps its values (less a selection left while
        // remembering was off); any other is moved aside and reads as empty.
        auto expected = PreferencesDocument::parse(bytes);
        if (expected) {
            if (expected->value("rememberLastCaptureSelection", json()) == json(false)) {
                expected->erase("lastCaptureSelection");
            }
            EXPECT_EQ(PreferencesDocument::parse(testing::readFile(file)).value(), expected.value());
        } else {
            EXPECT_FALSE(std::filesystem::exists(file));
            EXPECT_FALSE(store.object("playSound"));
            expected = json::object();
        }
        p.setHistoryPaused(true);
        expected.value()["historyPaused"] = true;
        const auto written = PreferencesDocument::parse(testing::readFile(file));
        ASSERT_TRUE(written.hasValue()) << written.error();
        EXPECT_EQ(written.value(), expected.value());
    }
}

}  // namespace
}  // namespace tessarin
