#include "AgentProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "render/ImageDecoder.h"

namespace tessarin::integration {
namespace {

std::vector<char*> pointers(std::vector<std::string>& strings) {
    std::vector<char*> result;
    for (std::string& s : strings) result.push_back(s.data());
    result.push_back(nullptr);
    return result;
}

// Opens `path` as descriptor `target`; async-signal-safe, for the child.
bool redirect(const char* path, int flags, int target) {
    const int fd = ::open(path, flags | O_CLOEXEC, 0600);
    return fd >= 0 && ::dup2(fd, target) >= 0 && ::fcntl(target, F_SETFD, 0) == 0;
}

// Slashes, quotes and backslashes escaped, as the agent's JSON writer does
// (the texts used here have no control characters).
std::string jsonEscaped(const std::string& text) {
    std::string escaped;
    for (const char c : text) {
        if (c == '/' || c == '"' || c == '\\') escaped += '\\';
        escaped += c;
    }
    return escaped;
}

}  // namespace

const char* agentBinary() { return TESSARIN_AGENT_BINARY; }

AgentTest::AgentTest() {
    fs::create_directories(workDir());
    fs::create_directories(homeDir());
}

AgentRun AgentTest::run(const std::vector<std::string>& args, const EnvironmentChanges& changes,
                        std::optional<uint64_t> fileSizeLimit) const {
    std::map<std::string, std::string> variables{
        {"PATH", "/usr/local/bin:/usr/bin:/bin"},
        {"HOME", homeDir().string()},
        {"XDG_CONFIG_HOME", (root() / "config").string()},
    };
    if (const char* display = std::getenv("DISPLAY")) variables["DISPLAY"] = display;
    for (const auto& [name, value] : changes) {
        if (!value) variables.erase(name);
        else variables[name] = *value;
    }
    // Everything the child touches is prepared before fork(). Its output
    // goes to files beside the working folder, read once it has exited.
    std::vector<std::string> argStrings{agentBinary()};
    argStrings.insert(argStrings.end(), args.begin(), args.end());
    std::vector<std::string> envStrings;
    for (const auto& [name, value] : variables) envStrings.push_back(name + "=" + value);
    const std::vector<char*> argv = pointers(argStrings);
    const std::vector<char*> envp = pointers(envStrings);
    const std::string outPath = standardOutput_ == Output::full ? "/dev/full" : (root() / "stdout").string();
    const bool closeOutput = standardOutput_ == Output::closed;
    const std::string errPath = (root() / "stderr").string();
    const std::string directory = workDir().string();
    const std::string input = standardInput_.string();
    const rlimit fileSize{fileSizeLimit.value_or(0), fileSizeLimit.value_or(0)};

    const pid_t child = ::fork();
    if (child == 0) {
        // Only async-signal-safe calls from here on.
        const int output = O_WRONLY | O_CREAT | O_TRUNC;
        if (!redirect(input.c_str(), O_RDONLY, 0) || !redirect(outPath.c_str(), output, 1) ||
            !redirect(errPath.c_str(), output, 2) || ::chdir(directory.c_str()) != 0) {
            ::_exit(125);
        }
        if (closeOutput) ::close(1);
        if (fileSizeLimit) {
            ::signal(SIGXFSZ, SIG_IGN);  // stays ignored across exec
            if (::setrlimit(RLIMIT_FSIZE, &fileSize) != 0) ::_exit(125);
        }
        ::execve(argv[0], argv.data(), envp.data());
        ::_exit(127);
    }
    AgentRun result;
    int status = 0;
    pid_t waited = -1;
    if (child > 0) {
        do waited = ::waitpid(child, &status, 0);
        while (waited < 0 && errno == EINTR);
    }
    if (waited != child) {
        ADD_FAILURE() << "cannot run " << argv[0] << ": errno " << errno;
        return result;
    }
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    if (standardOutput_ == Output::captured) result.out = fileContents(outPath);
    result.err = fileContents(errPath);
    return result;
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

std::string fileContents(const fs::path& path) {
    std::ostringstream text;
    text << std::ifstream(path, std::ios::binary).rdbuf();
    return text.str();
}

std::vector<std::string> folderEntries(const fs::path& folder) {
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(folder, error)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace tessarin::integration
