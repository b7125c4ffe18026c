// `tessarin annotate` as scripts run it: no X display, the spec from a file
// or standard input, and every way the inputs can be bad.

#include <sys/stat.h>
#include <zlib.h>

#include <cstring>
#include <fstream>

#include "AgentProcess.h"
#include "render/ByteSink.h"
#include "render/ImageDecoder.h"
#include "render/PngEncoder.h"

namespace tessarin::integration {
namespace {

const std::string kSpec = R"({"shapes":[
  {"type":"box","x":4,"y":4,"w":40,"h":30},
  {"type":"arrow","from":[60,50],"to":[100,10],"color":"#007AFF"},
  {"type":"text","x":10,"y":50,"text":"Hi","fontSize":14},
  {"type":"number","x":110,"y":60,"n":2},
  {"type":"highlight","x":0,"y":60,"w":60,"h":10},
  {"type":"blur","x":70,"y":40,"w":40,"h":30,"style":"secureBlur"}]})";

void writeFile(const fs::path& path, const std::string& bytes) { std::ofstream(path, std::ios::binary) << bytes; }

class AgentAnnotate : public AgentTest {
protected:
    void SetUp() override {
        ::unsetenv("DISPLAY");  // annotate must not need one
        auto image = *Image::allocate(128, 80);
        for (size_t i = 0; i < image.byteCount(); ++i) image.data()[i] = i % 4 == 3 ? 255 : uint8_t(i * 7 % 251);
        MemorySink sink;
        ASSERT_TRUE(encodePng(image, sink));
        const auto bytes = sink.take();
        writeFile(workDir() / "in.png", std::string(bytes.begin(), bytes.end()));
        writeFile(workDir() / "spec.json", kSpec);
    }
    // A PNG whose header declares `width` x `height` and holds no pixels.
    void writeHeaderOnlyPng(const fs::path& path, uint32_t width, uint32_t height) {
        const auto bigEndian = [](uint32_t v) { return std::string{char(v >> 24), char(v >> 16), char(v >> 8), char(v)}; };
        const std::string ihdr = "IHDR" + bigEndian(width) + bigEndian(height) + std::string("\x08\x06\x00\x00\x00", 5);
        const uLong crc = crc32(0, reinterpret_cast<const Bytef*>(ihdr.data()), uInt(ihdr.size()));
        writeFile(path, "\x89PNG\r\n\x1a\n" + bigEndian(13) + ihdr + bigEndian(uint32_t(crc)));
    }
};

TEST_F(AgentAnnotate, RendersFromAFileOrStandardInputWithoutADisplay) {
    const AgentRun fromFile = run({"annotate", "--in", "in.png", "--out", "marked.png", "--shapes", "spec.json"});
    EXPECT_EQ(fromFile.status, 0) << fromFile.err;
    EXPECT_EQ(fromFile.out + fromFile.err, resultLine("marked.png", 128, 80));
    setStandardInput(workDir() / "spec.json");
    const AgentRun fromStdin = run({"annotate", "--in", "in.png", "--out", "sub/marked.jpg"});
    EXPECT_EQ(fromStdin.out + fromStdin.err, resultLine("sub/marked.jpg", 128, 80));

    const auto original = decodeImageFile(workDir() / "in.png");
    const auto marked = decodeImageFile(workDir() / "marked.png");
    ASSERT_TRUE(original && marked);
    const uint8_t* corner = marked->row(4) + 4 * 4;  // the box's top-left corner, in the default red
    EXPECT_TRUE(corner[0] > 200 && corner[1] < 100);
    EXPECT_TRUE(decodeImageFile(workDir() / "sub/marked.jpg"));

    writeFile(workDir() / "empty.json", R"({"shapes":[]})");
    ASSERT_EQ(run({"annotate", "--in", "in.png", "--out", "same.png", "--shapes", "empty.json"}).status, 0);
    const auto same = decodeImageFile(workDir() / "same.png");
    EXPECT_TRUE(same && std::ranges::equal(original->bytes(), same->bytes()));
}

TEST_F(AgentAnnotate, ImagesTallerThanASurfaceAreAnnotatedToTheirLastRow) {
    auto tall = *Image::allocate(64, 40000);
    for (size_t i = 0; i < tall.byteCount(); ++i) tall.data()[i] = i % 4 == 3 ? 255 : uint8_t(i * 7 % 251);
    MemorySink sink;
    ASSERT_TRUE(encodePng(tall, sink));
    const auto bytes = sink.take();
    writeFile(workDir() / "tall.png", std::string(bytes.begin(), bytes.end()));
    writeFile(workDir() / "tall.json", R"({"shapes":[
      {"type":"box","x":8,"y":39980,"w":20,"h":12,"filled":true,"color":"#00FF00"},
      {"type":"blur","x":0,"y":32700,"w":64,"h":140,"style":"smoothBlur"},
      {"type":"arrow","from":[2,100],"to":[60,39990]},
      {"type":"number","x":32,"y":20000,"n":3},
      {"type":"text","x":4,"y":32760,"text":"Hi","fontSize":12}]})");
    const AgentRun result = run({"annotate", "--in", "tall.png", "--out", "tall-marked.png", "--shapes", "tall.json"});
    ASSERT_EQ(result.out + result.err, resultLine("tall-marked.png", 64, 40000));
    const auto marked = decodeImageFile(workDir() / "tall-marked.png");
    ASSERT_TRUE(marked && marked->width() == 64 && marked->height() == 40000);
    const uint8_t* box = marked->row(39986) + 20 * 4;
    EXPECT_TRUE(box[0] == 0 && box[1] == 255 && box[2] == 0) << "the box near the last row is drawn";
    EXPECT_NE(std::memcmp(marked->row(32767), tall.row(32767), marked->stride()), 0) << "the blur crosses row 32767";
    EXPECT_EQ(std::memcmp(marked->row(10000), tall.row(10000), 12 * 4), 0) << "left of the arrow nothing changed";
}

TEST_F(AgentAnnotate, BadInputsFailWithTheirMessageAndWriteNothing) {
    ::mkfifo((workDir() / "fifo").c_str(), 0600);
    writeHeaderOnlyPng(workDir() / "bomb.png", 100000, 100000);
    writeFile(workDir() / "bad.json", R"({"shapes":[{"type":"star"}]})");
    fs::create_directories(root() / "box");
    const std::string in = (workDir() / "in.png").string();
    struct Case {
        std::vector<std::string> args;
        std::string message;
        EnvironmentChanges environment = {};
    } cases[] = {
        {{"--in", "in.png", "--out", "o.png", "--shapes", "nosuch.json"}, "could not read input: nosuch.json"},
        {{"--in", "in.png", "--out", "o.png", "--shapes", "fifo"}, "could not read input: fifo"},
        {{"--in", "in.png", "--out", "o.png", "--shapes", "."}, "could not read input: ."},
        {{"--in", "in.png", "--out", "o.png"}, "Invalid annotation spec JSON: "},
        {{"--in", "nosuch.png", "--out", "o.png", "--shapes", "bad.json"}, R"(Unknown shape type: "star")"},
        {{"--in", "bomb.png", "--out", "o.png", "--shapes", "spec.json"},
         "Could not load image at " + (workDir() / "bomb.png").string()},
        {{"--in", in, "--out", (root() / "box/o.png").string(), "--shapes", "spec.json"},
         "--in \"" + in + "\" is outside the sandbox root",
         {{"TESSARIN_SANDBOX_ROOT", (root() / "box").string()}}},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args{"annotate"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const AgentRun result = run(args, c.environment);
        const std::string prefix = errorLine(c.message).substr(0, errorLine(c.message).size() - 3);  // no `"}` + newline
        EXPECT_EQ(result.status, 1) << c.message;
        EXPECT_TRUE(result.out.empty() && result.err.starts_with(prefix)) << result.err << " expected " << c.message;
    }
    EXPECT_FALSE(fs::exists(workDir() / "o.png") || fs::exists(root() / "box/o.png"));

    writeFile(workDir() / "nul.json", R"({"shapes":[{"type":"a\u0000b"}]})");
    EXPECT_EQ(run({"annotate", "--in", "in.png", "--out", "o.png", "--shapes", "nul.json"}).err,
              R"({"error":"Unknown shape type: \"a\u0000b\""})" "\n") << "the message is not cut at the NUL";
}

TEST_F(AgentAnnotate, EndlessStandardInputIsCutAtTheSizeCap) {
    setStandardInput("/dev/zero");
    EXPECT_EQ(run({"annotate", "--in", "in.png", "--out", "o.png"}),
              refused("Invalid annotation spec JSON: the document is larger than 16 MiB"));
}

}  // namespace
}  // namespace tessarin::integration
