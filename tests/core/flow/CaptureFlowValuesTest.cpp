#include <gtest/gtest.h>

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
        {"copy ", std::nullopt, std::nullopt},
        {"clipboard", std::nullopt, std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(CaptureOutputAction::parse(c.word, c.linebreaks), c.expected) << '"' << c.word << '"';
    }
}

}  // namespace
}  // namespace tessarin
