// Where and how the agent writes on Xvfb: the sandbox root, writes that fail
// part-way, the warning about unused flags, and doctor with a screen.

#include <fstream>
#include <string>
#include <vector>

#include "AgentXServerTest.h"

namespace tessarin::integration {
namespace {

using x11::testing::isSolid;

constexpr uint32_t kFirstColour = 0x336699;
constexpr uint32_t kSecondColour = 0x994411;

void writeText(const fs::path& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

std::string readText(const fs::path& path) {
    const std::vector<uint8_t> bytes = fileBytes(path);
    return {bytes.begin(), bytes.end()};
}

bool startsWith(const std::string& text, const std::string& prefix) { return text.rfind(prefix, 0) == 0; }

class XvfbAgentOutput : public AgentXServerTest {
protected:
    void SetUp() override {
        AgentXServerTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        x.setRootColour(kFirstColour);
    }
};

class XvfbAgentSandbox : public XvfbAgentOutput {
protected:
    void SetUp() override {
        XvfbAgentOutput::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        fs::create_directories(box());
        fs::create_directories(outside());
        fs::create_directory_symlink(outside(), box() / "link");
        fs::create_symlink(outside() / "ghost.png", box() / "dangling.png");
    }

    fs::path box() const { return root() / "box"; }
    fs::path outside() const { return root() / "outside"; }
    EnvironmentChanges sandboxed() const { return {{"TESSARIN_SANDBOX_ROOT", box().string()}}; }

    std::string violation(const fs::path& resolved) const {
        return errorLine("--out \"" + resolved.string() + "\" is outside the sandbox root \"" +
                         fs::canonical(box()).string() + "\" (set by TESSARIN_SANDBOX_ROOT)");
    }
};

TEST_F(XvfbAgentSandbox, PathsLeadingOutThroughLinksOrDotsAreRefused) {
    const fs::path realOutside = fs::canonical(outside());
    struct Case {
        fs::path out;
        fs::path resolved;
    };
    for (const Case& c : std::vector<Case>{
             {box() / "link" / "x.png", realOutside / "x.png"},
             {box() / "link" / "new" / "x.png", realOutside / "new" / "x.png"},
             {box() / "dangling.png", realOutside / "ghost.png"},  // the link's target does not exist yet
             {box() / ".." / "outside" / "y.png", realOutside / "y.png"},
             {root() / "boxer" / "z.png", fs::canonical(root()) / "boxer" / "z.png"},  // a sibling, not inside
         }) {
        SCOPED_TRACE(c.out.string());
        const AgentRun run = this->run({"capture-full", "--out", c.out.string()}, sandboxed());
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err, violation(c.resolved));
    }
    EXPECT_TRUE(folderEntries(outside()).empty());
    EXPECT_FALSE(fs::exists(root() / "boxer"));
    EXPECT_TRUE(fs::is_symlink(box() / "dangling.png"));
}

TEST_F(XvfbAgentSandbox, PathsInsideAreWrittenAndEchoedAsGiven) {
    const fs::path deep = box() / "new" / "dir" / "x.png";
    const AgentRun created = run({"capture-full", "--out", deep.string()}, sandboxed());
    EXPECT_EQ(created.status, 0) << created.err;
    EXPECT_EQ(created.out, resultLine(deep.string(), 1920, 1080));
    EXPECT_TRUE(fs::is_regular_file(deep));

    // Relative to the working folder, and through a link to the box itself.
    const AgentRun relative = run({"capture-full", "--out", "../box/rel.png"}, sandboxed());
    EXPECT_EQ(relative.status, 0) << relative.err;
    EXPECT_EQ(relative.out, resultLine("../box/rel.png", 1920, 1080));
    EXPECT_TRUE(fs::is_regular_file(box() / "rel.png"));

    fs::create_directory_symlink(box(), root() / "box-alias");
    const fs::path viaAlias = root() / "box-alias" / "alias.png";
    const AgentRun alias = run({"capture-full", "--out", viaAlias.string()}, sandboxed());
    EXPECT_EQ(alias.status, 0) << alias.err;
    EXPECT_TRUE(fs::is_regular_file(box() / "alias.png"));

    // The root may itself be named through a link.
    const AgentRun linkedRoot = run({"capture-full", "--out", (box() / "r.png").string()},
                                    {{"TESSARIN_SANDBOX_ROOT", (root() / "box-alias").string()}});
    EXPECT_EQ(linkedRoot.status, 0) << linkedRoot.err;

    EXPECT_TRUE(folderEntries(outside()).empty());
}

TEST_F(XvfbAgentSandbox, AnEmptyRootMeansNoSandbox) {
    const fs::path out = outside() / "free.png";
    const AgentRun run = this->run({"capture-full", "--out", out.string()}, {{"TESSARIN_SANDBOX_ROOT", ""}});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(fs::is_regular_file(out));
}

TEST_F(XvfbAgentOutput, AWriteThatFailsPartWayLeavesTheExistingFileAlone) {
    const fs::path target = workDir() / "existing.png";
    ASSERT_EQ(run({"capture-full", "--out", "existing.png"}).status, 0);
    const std::vector<uint8_t> before = fileBytes(target);
    ASSERT_GT(before.size(), 4096u);

    // The file size limit stops the encoder a few kilobytes in, also for root.
    x.setRootColour(kSecondColour);
    const AgentRun failed = run({"capture-full", "--out", "existing.png"}, {}, 4096);
    EXPECT_EQ(failed.status, 1);
    EXPECT_EQ(failed.out, "");
    EXPECT_TRUE(startsWith(failed.err, R"({"error":"capture failed: Cannot write )")) << failed.err;
    EXPECT_NE(failed.err.find(R"(existing.png: File too large"})" "\n"), std::string::npos) << failed.err;
    EXPECT_EQ(fileBytes(target), before);
    EXPECT_EQ(folderEntries(workDir()), std::vector<std::string>{"existing.png"}) << "no temporary file left behind";

    // Without the limit the same command replaces the file whole.
    const AgentRun replaced = run({"capture-full", "--out", "existing.png"});
    EXPECT_EQ(replaced.status, 0) << replaced.err;
    const auto image = decodedFile(target);
    ASSERT_TRUE(image);
    EXPECT_TRUE(isSolid(*image, kSecondColour));
    EXPECT_EQ(folderEntries(workDir()), std::vector<std::string>{"existing.png"});
}

TEST_F(XvfbAgentOutput, TargetsThatCannotBeAFileFailWithoutDamage) {
    // A folder where the file should go.
    fs::create_directory(workDir() / "folder.png");
    writeText(workDir() / "folder.png" / "keep.txt", "keep");
    const AgentRun folder = run({"capture-full", "--out", "folder.png"});
    EXPECT_EQ(folder.status, 1);
    EXPECT_EQ(folder.out, "");
    EXPECT_TRUE(startsWith(folder.err, R"({"error":"capture failed: Cannot write )")) << folder.err;
    EXPECT_NE(folder.err.find(R"(folder.png: Is a directory"})"), std::string::npos) << folder.err;
    EXPECT_EQ(folderEntries(workDir() / "folder.png"), std::vector<std::string>{"keep.txt"});

    // A file where a folder should go.
    writeText(workDir() / "plain.txt", "plain");
    const AgentRun throughFile = run({"capture-full", "--out", "plain.txt/x.png"});
    EXPECT_EQ(throughFile.status, 1);
    EXPECT_EQ(throughFile.out, "");
    EXPECT_TRUE(startsWith(throughFile.err, R"({"error":"capture failed: Cannot create folder )")) << throughFile.err;
    EXPECT_EQ(readText(workDir() / "plain.txt"), "plain");

    EXPECT_EQ(folderEntries(workDir()), (std::vector<std::string>{"folder.png", "plain.txt"}));
}

TEST_F(XvfbAgentOutput, ALinkAtTheTargetIsReplacedNotFollowed) {
    writeText(root() / "victim.txt", "keep");
    fs::create_symlink(root() / "victim.txt", workDir() / "link.png");
    const AgentRun run = this->run({"capture-full", "--out", "link.png"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_FALSE(fs::is_symlink(workDir() / "link.png"));
    EXPECT_TRUE(decodedFile(workDir() / "link.png"));
    EXPECT_EQ(readText(root() / "victim.txt"), "keep");
}

TEST_F(XvfbAgentOutput, UnusedFlagsAreReportedAfterASuccess) {
    const AgentRun verbose = run({"capture-full", "--out", "x.png", "--verbose"});
    EXPECT_EQ(verbose.status, 0);
    EXPECT_EQ(verbose.out, resultLine("x.png", 1920, 1080));
    EXPECT_EQ(verbose.err, R"({"warning":"ignored flags: --verbose"})" "\n");

    // Sorted, each once; values and "=" forms count; positional words do not.
    const AgentRun several =
        run({"capture-region", "--zeta=1", "--rect", "0,0,8,8", "word", "--out", "y.png", "--alpha", "--app", "x"});
    EXPECT_EQ(several.status, 0);
    EXPECT_EQ(several.out, resultLine("y.png", 8, 8));
    EXPECT_EQ(several.err, R"({"warning":"ignored flags: --alpha, --app, --zeta"})" "\n");

    // Flags a command reads are not reported, even the one that loses.
    const AgentRun displays = run({"capture-full", "--out", "z.png", "--display", "0", "--display-id",
                                   std::to_string(fnv1a("screen"))});
    EXPECT_EQ(displays.status, 0) << displays.err;
    EXPECT_EQ(displays.err, "");

    const AgentRun targets = run({"list-targets", "--out", "t.png"});
    EXPECT_EQ(targets.status, 0);
    EXPECT_EQ(targets.err, R"({"warning":"ignored flags: --out"})" "\n");
    EXPECT_FALSE(fs::exists(workDir() / "t.png"));
}

TEST_F(XvfbAgentOutput, AFailedCommandWritesOnlyTheError) {
    const AgentRun run = this->run({"capture-window", "--app", "nosuchapp", "--out", "n.png", "--verbose"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, R"({"error":"capture failed: Capture failed: No on-screen window for app=nosuchapp"})" "\n");
    EXPECT_FALSE(fs::exists(workDir() / "n.png"));
}

TEST_F(XvfbAgentOutput, DoctorReportsTheScreenAsAvailable) {
    const AgentRun doctor = run({"doctor"});
    EXPECT_EQ(doctor.status, 0);
    EXPECT_EQ(doctor.err, "");
    EXPECT_TRUE(startsWith(doctor.out, "tessarin doctor\n")) << doctor.out;
    EXPECT_NE(doctor.out.find("granted ✓"), std::string::npos) << doctor.out;
    EXPECT_EQ(doctor.out.find("NOT granted"), std::string::npos) << doctor.out;
    EXPECT_EQ(doctor.out.find("→"), std::string::npos) << "no hints: " << doctor.out;

    // The null platform ignores the display it could reach.
    const AgentRun null = run({"doctor"}, {{"TESSARIN_PLATFORM", "null"}});
    EXPECT_EQ(null.status, 1);
    EXPECT_NE(null.out.find("NOT granted ✗"), std::string::npos) << null.out;
}

}  // namespace
}  // namespace tessarin::integration
