#pragma once
// Runs the built `tessarin` executable the way a script does: a child
// process with its own environment and working folder, standard output and
// standard error captured separately, and the exit status.
//
// AgentTest gives every case a temporary folder that is the child's working
// folder, HOME and XDG_CONFIG_HOME, so no run ever reads or writes the
// user's real preferences or pictures.

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "core/common/Image.h"
#include "support/TempDir.h"

namespace tessarin::integration {

namespace fs = std::filesystem;

struct AgentRun {
    int status = -1;  // the exit status; 128 + signal number when killed by a signal
    std::string out;
    std::string err;
    friend bool operator==(const AgentRun&, const AgentRun&) = default;
};
inline void PrintTo(const AgentRun& run, std::ostream* out) {
    *out << "status " << run.status << ", out " << ::testing::PrintToString(run.out) << ", err "
         << ::testing::PrintToString(run.err);
}

// Overrides of the child's environment: a value sets the variable,
// std::nullopt removes it.
using EnvironmentChanges = std::map<std::string, std::optional<std::string>>;

// The path of the executable under test.
const char* agentBinary();

class AgentTest : public ::testing::Test {
protected:
    AgentTest();

    // Runs `tessarin args...` in workDir() with the base environment (PATH,
    // HOME, XDG_CONFIG_HOME and, when the test has one, DISPLAY) changed by
    // `changes`. A file size limit (RLIMIT_FSIZE, with SIGXFSZ ignored) makes
    // an oversized write fail with EFBIG instead of killing the child, also
    // for root.
    AgentRun run(const std::vector<std::string>& args, const EnvironmentChanges& changes = {},
                 std::optional<uint64_t> fileSizeLimit = std::nullopt) const;

    // What later runs read as standard input (a file, a FIFO, /dev/zero); /dev/null until set.
    void setStandardInput(const fs::path& path) { standardInput_ = path; }

    // Where later runs' standard output goes: captured (the default), a
    // device that is always full, or nowhere (the descriptor closed, `>&-`).
    enum class Output { captured, full, closed };
    void setStandardOutput(Output output) { standardOutput_ = output; }

    const fs::path& root() const { return temp_.path(); }
    fs::path workDir() const { return root() / "work"; }
    fs::path homeDir() const { return root() / "home"; }
    fs::path preferencesFile() const { return root() / "config" / "io.tessarin.Tessarin" / "preferences.json"; }

private:
    tessarin::testing::TempDir temp_;
    fs::path standardInput_ = "/dev/null";
    Output standardOutput_ = Output::captured;
};

// The result line of a capture command, spelled out: keys sorted, slashes
// escaped, no spaces.
std::string resultLine(const std::string& path, uint32_t width, uint32_t height);
std::string errorLine(const std::string& message);
// A run refused with this message: status 1, the error line alone.
inline AgentRun refused(const std::string& message) { return {1, "", errorLine(message)}; }

// The decoded file, or nothing (with the reason as a test failure).
std::optional<Image> decodedFile(const fs::path& path);
// Same size and the same RGBA bytes.
bool samePixels(const Image& a, const Image& b);
std::string fileContents(const fs::path& path);
// The names in a folder, sorted.
std::vector<std::string> folderEntries(const fs::path& folder);

}  // namespace tessarin::integration
