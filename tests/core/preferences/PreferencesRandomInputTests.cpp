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
// forms valid and not, as objects and as JSON text.
const std::vector<json> interesting = {
    true, false, nullptr, "png", "jpeg", "JPEG", "Pixelate", "freehand", "bottomLeft", 0, -1, 9, 1000,
    std::numeric_limits<int64_t>::min(), std::numeric_limits<uint64_t>::max(), 1e308, -0.0,
    json::parse(R"({"fixedSize":{"width":1280,"height":720,"name":"720p"}})"),
    json::parse(R"({"area":{"localX":1,"localY":2,"width":3,"height":4,"screenID":5}})"),
    json::parse(R"({"area":{"x":1,"y":2,"width":3,"height":4,"screenID":-5}})"),
    R"({"fullscreen":{"screenID":4294967296}})", R"({"aspectRatio":{"width":1.5}})"};

class Generator {
public:
    explicit Generator(uint32_t seed) : random_(seed) {}

    int below(int n) { return std::uniform_int_distribution<int>(0, n - 1)(random_); }

    json value(int depth = 0) {
        switch (below(depth > 3 ? 3 : 5)) {
            case 0: return std::uniform_int_distribution<int64_t>(-100000, 100000)(random_);
            case 1: return std::uniform_real_distribution<double>(-1e6, 1e6)(random_);
            case 2: return interesting[size_t(below(int(interesting.size())))];
            case 3: return {{below(2) ? "area" : "screenID", value(depth + 1)}};
            default: return json::array({value(depth + 1), value(depth + 1)});
        }
    }

    // A document, whole or damaged the way files get damaged (cut short,
    // bytes flipped, stray bytes, pieces lost or doubled), or random bytes.
    std::string input() {
        json document = json::object();
        for (const char* key : keys) {
            if (below(4) != 0) document[key] = value();
        }
        std::string text = document.dump(below(2) ? 2 : -1);
        if (below(3) == 2) {
            text.resize(size_t(below(64)));
            for (char& c : text) c = char(below(256));
        }
        for (int edits = below(3) == 0 ? 0 : 1 + below(3); edits > 0 && !text.empty(); --edits) {
            const size_t at = size_t(below(int(text.size())));
            switch (below(5)) {
                case 0: text.resize(at); break;
                case 1: text[at] = char(below(256)); break;
                case 2: text.insert(at, 1, "{}[]\",:\\\xC3\xFF\0"[below(12)]); break;
                case 3: text.erase(at, size_t(below(16))); break;
                default: text.insert(at, text.substr(at, size_t(below(32)))); break;
            }
        }
        return text;
    }

private:
    std::mt19937 random_;
};

TEST(PreferencesRandomInput, AnyFileGivesUsablePreferencesAndLaterWritesStillWork) {
    testing::CapturedLog quiet;
    testing::TemporaryHome home;
    const auto file = home.preferencesFile();
    Generator generate(0x7e55a41u);
    for (int i = 0; i < 2000 && !HasFailure(); ++i) {
        SCOPED_TRACE("case " + std::to_string(i));
        std::filesystem::remove_all(home.configFolder());
        const std::string bytes = generate.input();
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
