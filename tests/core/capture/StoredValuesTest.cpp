#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "core/capture/CaptureMode.h"
#include "core/capture/CapturePreset.h"
#include "core/capture/StoredCaptureSelection.h"

namespace tessarin {
namespace {

using nlohmann::json;

TEST(StoredCaptureSelection, EncodesTheSharedForm) {
    EXPECT_EQ(StoredCaptureSelection::area(60, 50.5, 400, 300, 7).toJson(),
              json::parse(R"({"area":{"localX":60,"localY":50.5,"width":400,"height":300,"screenID":7}})"));
    EXPECT_EQ(StoredCaptureSelection::fullscreen(4294967295u).toJson(),
              json::parse(R"({"fullscreen":{"screenID":4294967295}})"));
}

TEST(StoredCaptureSelection, RoundTrips) {
    for (const auto& value : {StoredCaptureSelection::area(-12.25, 0, 1, 2, 0), StoredCaptureSelection::fullscreen(9)}) {
        const auto decoded = StoredCaptureSelection::fromJson(value.toJson());
        ASSERT_TRUE(decoded);
        EXPECT_EQ(*decoded, value);
    }
}

TEST(StoredCaptureSelection, RejectsZeroOrSeveralKeys) {
    const auto both = StoredCaptureSelection::fromJson(
        json::parse(R"({"area":{"localX":1,"localY":1,"width":1,"height":1,"screenID":1},"fullscreen":{"screenID":1}})"));
    ASSERT_FALSE(both);
    EXPECT_EQ(both.error(), "Invalid number of keys found, expected one.");
    EXPECT_EQ(StoredCaptureSelection::fromJson(json::object()).error(), "Invalid number of keys found, expected one.");
}

TEST(StoredCaptureSelection, RejectsWrongTypesAndRanges) {
    for (const char* text : {
             R"({"area":{"localX":"1","localY":1,"width":1,"height":1,"screenID":1}})",
             R"({"area":{"localY":1,"width":1,"height":1,"screenID":1}})",
             R"({"area":{"localX":1,"localY":1,"width":1,"height":1,"screenID":-1}})",
             R"({"fullscreen":{"screenID":4294967296}})",
             R"({"fullscreen":{"screenID":1.5}})",
             R"({"legacy":{"screenID":1}})",
             R"({"fullscreen":[]})",
             R"([1,2])",
             R"("area")",
         }) {
        EXPECT_FALSE(StoredCaptureSelection::fromJson(json::parse(text))) << text;
    }
}

TEST(CapturePreset, NamesAndIds) {
    const auto square = CapturePreset::aspectRatio(1, 1, "Square");
    EXPECT_EQ(square.id(), "ratio-1-1");
    EXPECT_EQ(square.displayName(), "1:1 (Square)");
    EXPECT_EQ(square.compactName(), "1:1");
    const auto hd = CapturePreset::fixedSize(1280, 720, "720p");
    EXPECT_EQ(hd.id(), "fixed-1280-720");
    EXPECT_EQ(hd.displayName(), "1280 x 720 (720p)");
    EXPECT_EQ(hd.compactName(), "720p");
    EXPECT_EQ(CapturePreset::fixedSize(512, 512).compactName(), "Fixed");
    EXPECT_EQ(CapturePreset::freeform().displayName(), "Freeform");
    EXPECT_EQ(CapturePreset::freeform().compactName(), "Free");
}

TEST(CapturePreset, StoredForms) {
    EXPECT_EQ(CapturePreset::freeform().toJson().dump(), R"({"freeform":{}})");
    EXPECT_EQ(CapturePreset::aspectRatio(16, 9).toJson(), json::parse(R"({"aspectRatio":{"width":16,"height":9}})"));
    EXPECT_EQ(CapturePreset::fixedSize(1280, 720, "720p").toJson(),
              json::parse(R"({"fixedSize":{"width":1280,"height":720,"name":"720p"}})"));
    for (const auto& preset : CapturePreset::builtIn()) {
        const auto decoded = CapturePreset::fromJson(preset.toJson());
        ASSERT_TRUE(decoded);
        EXPECT_EQ(*decoded, preset);
    }
    EXPECT_FALSE(CapturePreset::fromJson(json::parse(R"({"fixedSize":{"width":1280,"height":720,"name":5}})")));
    EXPECT_FALSE(CapturePreset::fromJson(json::parse(R"({"aspectRatio":{"width":1e20,"height":9}})")));
    EXPECT_FALSE(CapturePreset::fromJson(json::parse(R"({"freeform":{},"aspectRatio":{}})")));
}

TEST(CaptureMode, RawValuesRoundTripAndUnknownIsNone) {
    EXPECT_EQ(rawValue(CaptureMode::fullScreen), "Full Screen");
    for (CaptureMode mode : allCaptureModes) EXPECT_EQ(captureModeFromRawValue(rawValue(mode)), mode);
    EXPECT_FALSE(captureModeFromRawValue("full screen"));
    EXPECT_EQ(captureSelectionActionFromRawValue("ocr"), CaptureSelectionAction::ocr);
    EXPECT_FALSE(captureSelectionActionFromRawValue("Capture"));
}

}  // namespace
}  // namespace tessarin
