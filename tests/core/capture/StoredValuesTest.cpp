#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "core/capture/CapturePreset.h"
#include "core/capture/StoredCaptureSelection.h"

namespace tessarin {
namespace {

using nlohmann::json;

TEST(StoredCaptureSelection, EncodesTheSharedFormAndReadsItBack) {
    const std::pair<StoredCaptureSelection, const char*> rows[] = {
        {StoredCaptureSelection::area(60, 50.5, 400, 300, 7),
         R"({"area":{"localX":60,"localY":50.5,"width":400,"height":300,"screenID":7}})"},
        {StoredCaptureSelection::fullscreen(4294967295u), R"({"fullscreen":{"screenID":4294967295}})"},
    };
    for (const auto& [value, text] : rows) {
        EXPECT_EQ(value.toJson(), json::parse(text));
        EXPECT_EQ(StoredCaptureSelection::fromJson(json::parse(text)).value(), value) << text;
    }
}

TEST(StoredCaptureSelection, RejectsOtherShapesTypesAndRanges) {
    const char* const severalKeys =
        R"({"area":{"localX":1,"localY":1,"width":1,"height":1,"screenID":1},"fullscreen":{"screenID":1}})";
    for (const char* text : {severalKeys, "{}"}) {
        EXPECT_EQ(StoredCaptureSelection::fromJson(json::parse(text)).error(),
                  "Invalid number of keys found, expected one.");
    }
    for (const char* text : {
             R"({"area":{"localX":"1","localY":1,"width":1,"height":1,"screenID":1}})",
             R"({"area":{"localY":1,"width":1,"height":1,"screenID":1}})",
             R"({"area":{"localX":1,"localY":1,"width":1,"height":1,"screenID":-1}})",
             R"({"fullscreen":{"screenID":4294967296}})", R"({"fullscreen":{"screenID":1.5}})",
             R"({"legacy":{"screenID":1}})", R"({"fullscreen":[]})", R"([1,2])", R"("area")"}) {
        EXPECT_FALSE(StoredCaptureSelection::fromJson(json::parse(text))) << text;
    }
}

TEST(CapturePreset, StoredFormsAndNames) {
    EXPECT_EQ(CapturePreset::fixedSize(1280, 720, "720p").toJson(),
              json::parse(R"({"fixedSize":{"width":1280,"height":720,"name":"720p"}})"));
    for (const auto& preset : CapturePreset::builtIn()) {
        EXPECT_EQ(CapturePreset::fromJson(preset.toJson()).value(), preset);
    }
    for (const char* text : {R"({"fixedSize":{"width":1280,"height":720,"name":5}})",
                             R"({"aspectRatio":{"width":1e20,"height":9}})", R"({"freeform":{},"aspectRatio":{}})"}) {
        EXPECT_FALSE(CapturePreset::fromJson(json::parse(text))) << text;
    }

    const auto hd = CapturePreset::fixedSize(1280, 720, "720p");
    EXPECT_EQ(hd.id() + " " + hd.displayName() + " " + hd.compactName(), "fixed-1280-720 1280 x 720 (720p) 720p");
    EXPECT_EQ(CapturePreset::fixedSize(512, 512).compactName(), "Fixed");
}

}  // namespace
}  // namespace tessarin
