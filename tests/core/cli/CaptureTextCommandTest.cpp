#include <gtest/gtest.h>

#include <random>

#include "CLIHarness.h"
#include "core/capture/ExportManager.h"
#include "core/cli/GraphemeCount.h"

namespace tessarin {
namespace {

using testing::CLIHarness;
using testing::errorLine;
using testing::Refusal;

class ScriptedRecognizer : public TextRecognizer {
public:
    std::vector<RecognizedBlock> blocks{{"Hello", {}, 1}, {"World", {}, 1}};
    std::optional<TextRecognitionError> error;
    std::vector<std::pair<uint32_t, uint32_t>> imageSizes;  // of every image read

    RecognizedBlocks recognize(const Image& image, const TextRecognitionRequest&) override {
        imageSizes.emplace_back(image.width(), image.height());
        if (error) return unexpected(*error);
        return blocks;
    }
};

struct TextHarness : CLIHarness {
    TextHarness() {
        textRecognition = &manager;
        backend.windowList = {{42, 1, "XTerm", "build log", {0, 0, 640, 480}}};
        auto image = Image::allocate(120, 40);
        std::fill(image->data(), image->data() + image->byteCount(), uint8_t(255));
        ExportManager::writeImage(*image, path("in.png"), ImageFormat::png());
    }
    ScriptedRecognizer recognizer;
    TextRecognitionManager manager{recognizer, pool, loop};
};

TEST(CaptureTextCommand, RefusalsAreExact) {
    TextHarness cli;
    {
        const std::string cut("\x89PNG\r\n\x1a\n\0\0\0\rIHDR\0\0", 20);  // a PNG cut off in its header
        std::ofstream(cli.path("cut.png"), std::ios::binary) << cut;
    }
    cli.sandboxRoot = cli.tmp.path().string();
    cli.recognizer.error = TextRecognitionError(TextRecognitionError::Kind::missingLanguageData, "no chi_sim data");
    const std::string noSource = "capture-text needs --in <png>, --rect x,y,w,h, or --app <name>";
    const Refusal rows[] = {
        {{"capture-text"}, noSource},
        {{"capture-text", "--in", cli.path("absent.png")}, "Capture failed: Failed to load screenshot image"},
        {{"capture-text", "--in", cli.path("cut.png")}, "Capture failed: Failed to decode screenshot image"},
        {{"capture-text", "--in", cli.path("in.png"), "--out", "/elsewhere/x.png"},
         "--out \"/elsewhere/x.png\" is outside the sandbox root \"" +
             std::filesystem::canonical(cli.tmp.path()).string() + "\" (set by TESSARIN_SANDBOX_ROOT)"},
        {{"capture-text", "--in", cli.path("in.png")}, "capture failed: text recognition failed: no chi_sim data"},
    };
    expectRefusals(cli, rows);
    EXPECT_EQ(cli.recognizer.imageSizes.size(), 1u);
    EXPECT_FALSE(std::filesystem::exists(cli.path("x.png")));

    cli.textRecognition = nullptr;
    EXPECT_EQ(cli.run({"capture-text", "--in", cli.path("in.png")}).err,
              errorLine("capture failed: text recognition failed: this build has no text recognition engine"));
}

TEST(CaptureTextCommand, ReadsTheFirstSourceGivenAndPrintsTheText) {
    TextHarness cli;
    // --in wins over --rect: the file is read and nothing is captured.
    auto result = cli.run({"capture-text", "--in", cli.path("in.png"), "--rect", "10,20,300,200"});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, R"({"chars":11,"text":"Hello\nWorld"})" "\n");
    EXPECT_EQ(result.err, R"({"warning":"ignored flags: --rect"})" "\n");
    EXPECT_TRUE(cli.backend.capturedAreas.empty());

    result = cli.run({"capture-text", "--rect", "10,20,300,200", "--display", "1", "--no-linebreaks"});
    EXPECT_EQ(result.out, R"({"chars":11,"text":"Hello World"})" "\n");
    EXPECT_EQ(cli.backend.capturedAreas, (std::vector<PixelRect>{{10, 20, 300, 200}}));

    result = cli.run({"capture-text", "--app", "xterm", "--window", "LOG", "--out", cli.path("w.jpg")});
    EXPECT_EQ(nlohmann::json::parse(result.out),
              nlohmann::json({{"chars", 11}, {"path", cli.path("w.jpg")}, {"text", "Hello\nWorld"}}));
    EXPECT_EQ(cli.backend.capturedWindows, std::vector<uint32_t>{42});
    EXPECT_EQ(cli.recognizer.imageSizes,
              (std::vector<std::pair<uint32_t, uint32_t>>{{120, 40}, {300, 200}, {640, 480}}));
    EXPECT_EQ(testing::readFile(cli.path("w.jpg")).substr(0, 3), "\xff\xd8\xff");  // the window image, as JPEG

    cli.recognizer.blocks.clear();
    EXPECT_EQ(cli.run({"capture-text", "--in", cli.path("in.png")}).out, R"({"chars":0,"text":""})" "\n");
}

TEST(CaptureTextCommand, CharsCountsWhatAReaderSeesAsCharacters) {
    const std::pair<std::string, size_t> rows[] = {
        {"", 0}, {"Hello", 5}, {"设置 Settings", 11},
        {"e\xcc\x81", 1},                                         // e + combining acute
        {"a\r\nb", 3},                                            // CR LF is one
        {"\xf0\x9f\x87\xa8\xf0\x9f\x87\xb3\xf0\x9f\x87\xaf", 2},  // a flag, then a lone indicator
        {"\xf0\x9f\x91\xa9\xe2\x80\x8d\xf0\x9f\x92\xbb", 1},      // woman ZWJ laptop
        {"\xf0\x9f\x91\x8d\xf0\x9f\x8f\xbd", 1},                  // thumbs up with a skin tone
        {"\xff\xfe", 2}, {"\xe4\xbd", 2},  // bytes that are not UTF-8, or cut off, count one each
    };
    for (const auto& [text, count] : rows) EXPECT_EQ(graphemeCount(text), count) << text;

    // Any bytes: never more characters than bytes, at least one for any text.
    std::mt19937 random(11);
    for (int round = 0; round < 5000; ++round) {
        std::string bytes(random() % 16, '\0');
        for (char& c : bytes) c = char(random());
        const size_t count = graphemeCount(bytes);
        EXPECT_TRUE(count <= bytes.size() && (count == 0) == bytes.empty()) << count << " for " << bytes.size();
    }
}

}  // namespace
}  // namespace tessarin
