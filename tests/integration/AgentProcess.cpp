#include "AgentProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <iterator>

#include "render/ImageDecoder.h"

namespace tessarin::integration {
namespace {

class Pipe {
public:
    Pipe() {
        if (::pipe2(ends_.data(), O_CLOEXEC) != 0) ends_ = {-1, -1};
    }
    ~Pipe() {
        closeRead();
        closeWrite();
    }
    Pipe(const Pipe&) = delete;
    Pipe& operator=(const Pipe&) = delete;

    bool ok() const { return ends_[0] >= 0; }
    int readEnd() const { return ends_[0]; }
    int writeEnd() const { return ends_[1]; }
    void closeRead() { closeEnd(0); }
    void closeWrite() { closeEnd(1); }

private:
    void closeEnd(size_t which) {
        if (ends_[which] >= 0) ::close(ends_[which]);
        ends_[which] = -1;
    }
    std::array<int, 2> ends_{};
};

std::vector<char*> pointers(std::vector<std::string>& strings) {
    std::vector<char*> result;
    for (std::string& s : strings) result.push_back(s.data());
    result.push_back(nullptr);
    return result;
}

// Reads both pipes until the child has closed them, so a child that fills
// one pipe while we wait on the other cannot stall.
void drain(Pipe& out, Pipe& err, AgentRun& run) {
    struct Stream {
        Pipe* pipe;
        std::string* text;
    };
    std::array<Stream, 2> streams{{{&out, &run.out}, {&err, &run.err}}};
    char buffer[65536];
    while (out.readEnd() >= 0 || err.readEnd() >= 0) {
        std::array<pollfd, 2> fds{};
        for (size_t i = 0; i < streams.size(); ++i) fds[i] = {streams[i].pipe->readEnd(), POLLIN, 0};
        if (::poll(fds.data(), fds.size(), -1) < 0) {
            if (errno == EINTR) continue;
            ADD_FAILURE() << "poll failed: " << errno;
            return;
        }
        for (size_t i = 0; i < streams.size(); ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0) continue;
            const ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
            if (n > 0) {
                streams[i].text->append(buffer, static_cast<size_t>(n));
            } else if (n == 0 || errno != EINTR) {
                streams[i].pipe->closeRead();
            }
        }
    }
}

}  // namespace

const char* agentBinary() { return TESSARIN_AGENT_BINARY; }

AgentRun runProcess(const std::vector<std::string>& args, const ProcessOptions& options) {
    AgentRun run;
    // Everything the child touches is prepared before fork().
    std::vector<std::string> argStrings{agentBinary()};
    argStrings.insert(argStrings.end(), args.begin(), args.end());
    std::vector<std::string> envStrings = options.environment;
    const std::vector<char*> argv = pointers(argStrings);
    const std::vector<char*> envp = pointers(envStrings);
    const std::string directory = options.workingDirectory.string();
    const bool limitFileSize = options.fileSizeLimit.has_value();
    const rlimit fileSize{options.fileSizeLimit.value_or(0), options.fileSizeLimit.value_or(0)};

    Pipe out;
    Pipe err;
    if (!out.ok() || !err.ok()) {
        ADD_FAILURE() << "pipe2 failed: " << errno;
        return run;
    }
    const pid_t child = ::fork();
    if (child < 0) {
        ADD_FAILURE() << "fork failed: " << errno;
        return run;
    }
    if (child == 0) {
        // Only async-signal-safe calls from here on.
        const int input = ::open("/dev/null", O_RDONLY);
        if (input < 0 || ::dup2(input, 0) < 0 || ::dup2(out.writeEnd(), 1) < 0 || ::dup2(err.writeEnd(), 2) < 0) {
            ::_exit(125);
        }
        if (!directory.empty() && ::chdir(directory.c_str()) != 0) ::_exit(126);
        if (limitFileSize) {
            ::signal(SIGXFSZ, SIG_IGN);  // stays ignored across exec
            if (::setrlimit(RLIMIT_FSIZE, &fileSize) != 0) ::_exit(125);
        }
        ::execve(argv[0], argv.data(), envp.data());
        ::_exit(127);
    }
    out.closeWrite();
    err.closeWrite();
    drain(out, err, run);

    int status = 0;
    while (::waitpid(child, &status, 0) < 0) {
        if (errno != EINTR) {
            ADD_FAILURE() << "waitpid failed: " << errno;
            return run;
        }
    }
    if (WIFEXITED(status)) {
        run.status = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
        run.status = 128 + WTERMSIG(status);
    }
    return run;
}

AgentTest::AgentTest() {
    fs::create_directories(workDir());
    fs::create_directories(homeDir());
}

AgentRun AgentTest::run(const std::vector<std::string>& args, const EnvironmentChanges& changes,
                        std::optional<uint64_t> fileSizeLimit) const {
    std::map<std::string, std::string> variables{
        {"PATH", "/usr/local/bin:/usr/bin:/bin"},
        {"HOME", homeDir().string()},
        {"XDG_CONFIG_HOME", configHome().string()},
    };
    if (const char* display = std::getenv("DISPLAY")) variables["DISPLAY"] = display;
    for (const auto& [name, value] : changes) {
        if (value) {
            variables[name] = *value;
        } else {
            variables.erase(name);
        }
    }
    ProcessOptions options;
    for (const auto& [name, value] : variables) options.environment.push_back(name + "=" + value);
    options.workingDirectory = workDir();
    options.fileSizeLimit = fileSizeLimit;
    return runProcess(args, options);
}

std::string jsonEscaped(const std::string& text) {
    std::string escaped;
    for (const char c : text) {
        if (c == '/' || c == '"' || c == '\\') escaped += '\\';
        escaped += c;
    }
    return escaped;
}

std::string resultLine(const std::string& path, uint32_t width, uint32_t height) {
    const std::string w = std::to_string(width);
    const std::string h = std::to_string(height);
    return R"({"bbox":[0,0,)" + w + "," + h + R"(],"height":)" + h + R"(,"path":")" + jsonEscaped(path) +
           R"(","width":)" + w + "}\n";
}

std::string errorLine(const std::string& message) { return R"({"error":")" + jsonEscaped(message) + "\"}\n"; }

std::optional<Image> decodedFile(const fs::path& path) {
    auto image = decodeImageFile(path);
    if (!image) {
        ADD_FAILURE() << "cannot decode " << path << ": " << image.error().message;
        return std::nullopt;
    }
    return std::move(*image);
}

bool samePixels(const Image& a, const Image& b) {
    return a.width() == b.width() && a.height() == b.height() &&
           std::equal(a.bytes().begin(), a.bytes().end(), b.bytes().begin());
}

std::vector<uint8_t> fileBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<std::string> folderEntries(const fs::path& folder) {
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(folder, error)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace tessarin::integration
