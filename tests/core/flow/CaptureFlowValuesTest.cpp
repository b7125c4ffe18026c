#include <gtest/gtest.h>

#include <set>

#include "core/capture/Uuid.h"
#include "core/flow/CaptureSession.h"

namespace tessarin {
namespace {

TEST(CaptureOutputAction, ParsesItsWordsIgnoringCase) {
    using Kind = CaptureOutputAction::Kind;
    struct Case {
        std::string word;
        std::optional<bool> linebreaks;
        std::optional<CaptureOutputAction> expected;
    };
    const Case cases[] = {
        {"copy", std::nullopt, CaptureOutputAction{Kind::copy}},
        {"SAVE", std::nullopt, CaptureOutputAction{Kind::save}},
        {"ocr", std::nullopt, CaptureOutputAction{Kind::ocr, false}},
        {"OCR", true, CaptureOutputAction{Kind::ocr, false}},
        {"ocr", false, CaptureOutputAction{Kind::ocr, true}},  // only an explicit false joins lines
        {"", std::nullopt, std::nullopt},
        {"copy ", std::nullopt, std::nullopt},
        {"clipboard", std::nullopt, std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(CaptureOutputAction::parse(c.word, c.linebreaks), c.expected) << '"' << c.word << '"';
    }
}

TEST(CaptureSession, EachCaptureHasItsOwnEightCharacterId) {
    std::set<std::string> ids;
    const auto now = std::chrono::system_clock::now();
    for (int i = 0; i < 200; ++i) {
        const auto session = CaptureSession::begin(CaptureMode::window, now);
        ASSERT_EQ(session.id.size(), 8u);
        EXPECT_TRUE(isUUIDString(session.id + "-0000-4000-8000-000000000000")) << session.id;
        ids.insert(session.id);
    }
    EXPECT_EQ(ids.size(), 200u);
}

}  // namespace
}  // namespace tessarin
