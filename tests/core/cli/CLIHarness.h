#pragma once
// The agent wired to a scripted screen, an in-memory preference store and
// string streams, so a test runs whole command lines and reads what they print.

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "core/capture/ScreenCaptureService.h"
#include "core/cli/JsonWriter.h"
#include "core/cli/TessarinCLI.h"
#include "core/common/ThreadPool.h"
#include "core/preferences/KeyValueStore.h"
#include "core/recording/TextRecognitionManager.h"
#include "support/FakeScreenBackend.h"
#include "support/TempDir.h"

namespace tessarin::testing {

struct CommandResult {
    int status = 0;
    std::string out;
    std::string err;
};

class CLIHarness {
public:
    CLIHarness() {
        backend.displayList = {makeDisplay(0x1001, {0, 0, 1280, 800}, 1, true, "DUMMY0"),
                               makeDisplay(0x1002, {1280, -168, 1024, 768}, 1, false, "DUMMY1")};
        backend.pointer = Point{100, 100};
    }

    CommandResult run(std::vector<std::string> args) {
        std::ostringstream out;
        std::ostringstream err;
        TessarinCLI cli{service, store, loop, out, err,
                        "/usr/bin/tessarin", sandboxRoot, nullptr, nullptr, textRecognition};
        cli.describeBackend = describeBackend;
        const int status = cli.run(args);
        return {status, out.str(), err.str()};
    }

    std::string path(const std::string& name) const { return (tmp / name).string(); }

    FakeScreenBackend backend;
    InMemoryKeyValueStore store;
    EventLoop loop;
    ThreadPool pool{2};
    ScreenCaptureService service{backend, loop, pool};
    std::optional<std::string> sandboxRoot;
    TextRecognitionManager* textRecognition = nullptr;
    std::function<BackendDescription()> describeBackend;
    TempDir tmp;
};

inline std::string readFile(const std::string& path) {
    std::ostringstream bytes;
    bytes << std::ifstream(path, std::ios::binary).rdbuf();
    return bytes.str();
}

// The error line a failed command prints on standard error (its escaping is
// pinned by the JSON writer's tests).
inline std::string errorLine(const std::string& message) {
    return JsonWriter::compact({{"error", message}}).value_or("unencodable") + "\n";
}

using Refusal = std::pair<std::vector<std::string>, std::string>;

// Each command line fails with status 1, prints no result and reports exactly its message.
template <size_t N>
void expectRefusals(CLIHarness& cli, const Refusal (&rows)[N]) {
    for (const auto& [args, message] : rows) {
        SCOPED_TRACE(args.back());
        const auto result = cli.run(args);
        EXPECT_EQ(result.status, 1);
        EXPECT_EQ(result.out, "");
        EXPECT_EQ(result.err, errorLine(message));
    }
}

}  // namespace tessarin::testing
