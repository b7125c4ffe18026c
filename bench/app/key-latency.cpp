// key-latency: time from a global shortcut's key release to the line a
// program writes on standard error when it has dispatched the action.
//
//   key-latency [--key Print] [--match TEXT] [--runs 20] [--timeout 5]
//               [--ready-timeout 30] [--gap-ms 100] [--after-key KEY]
//               [--log FILE] -- PROGRAM ARGS...
//
// Starts PROGRAM with its standard error on a pipe, presses KEY until a
// line containing TEXT appears (the program is up and holds the key), then,
// RUNS times: presses and releases KEY through XTEST, takes the
// CLOCK_MONOTONIC time when the release has been sent, and the time the
// matching line is read. Both ends are timed in this one process, so pipe
// and scheduler delays are part of the figure, as they are for a test that
// reads the log. --after-key is sent after each dispatch (e.g. Escape, to
// dismiss what the action opened). The program is ended with SIGTERM.
//
// Prints "runs=N dispatched=M median_ms=... min_ms=... max_ms=...". Exit
// status 0 when every run dispatched, 1 when some did not, 3 when the
// program never dispatched (or exited), 2 for a bad argument.

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/xcb.h>
#include <xcb/xtest.h>

#include "platform/KeyCombination.h"
#include "platform/x11/KeyGrabs.h"

using tessarin::KeyCombination;
namespace KeyModifier = tessarin::KeyModifier;

namespace {

struct Options {
    std::string key = "Print";
    std::string match = "action.dispatch action=captureArea";
    int runs = 20;
    double timeoutSeconds = 5;
    double readyTimeoutSeconds = 30;
    int gapMs = 100;
    std::string afterKey;
    std::string logPath;
    std::vector<char*> program;
};

double nowMs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

void sleepMs(int ms) {
    const timespec pause{ms / 1000, static_cast<long>(ms % 1000) * 1'000'000};
    nanosleep(&pause, nullptr);
}

int usage() {
    std::fprintf(stderr,
                 "usage: key-latency [--key COMBO] [--match TEXT] [--runs N] [--timeout S] [--ready-timeout S]\n"
                 "                   [--gap-ms MS] [--after-key COMBO] [--log FILE] -- PROGRAM ARGS...\n");
    return 2;
}

std::optional<Options> parseOptions(int argc, char** argv) {
    Options options;
    int i = 1;
    for (; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--") break;
        if (i + 1 >= argc) return std::nullopt;
        const std::string value = argv[++i];
        char* end = nullptr;
        const double number = std::strtod(value.c_str(), &end);
        const bool numeric = end != value.c_str() && *end == '\0' && number > 0;
        if (arg == "--key") options.key = value;
        else if (arg == "--match") options.match = value;
        else if (arg == "--after-key") options.afterKey = value;
        else if (arg == "--log") options.logPath = value;
        else if (arg == "--runs" && numeric) options.runs = static_cast<int>(number);
        else if (arg == "--timeout" && numeric) options.timeoutSeconds = number;
        else if (arg == "--ready-timeout" && numeric) options.readyTimeoutSeconds = number;
        else if (arg == "--gap-ms" && numeric) options.gapMs = static_cast<int>(number);
        else return std::nullopt;
    }
    for (++i; i < argc; ++i) options.program.push_back(argv[i]);
    if (options.program.empty() || options.match.empty()) return std::nullopt;
    options.program.push_back(nullptr);
    return options;
}

// The program under test, its standard error read line by line.
class Child {
public:
    bool start(std::vector<char*>& argv, const std::string& logPath) {
        int fds[2];
        if (pipe2(fds, O_CLOEXEC) != 0) return false;
        pid_ = fork();
        if (pid_ < 0) return false;
        if (pid_ == 0) {
            dup2(fds[1], STDERR_FILENO);
            execvp(argv[0], argv.data());
            std::fprintf(stderr, "key-latency: cannot run %s: %s\n", argv[0], std::strerror(errno));
            _exit(127);
        }
        close(fds[1]);
        fd_ = fds[0];
        if (!logPath.empty()) log_ = std::fopen(logPath.c_str(), "w");
        return true;
    }

    // Reads until a line containing `text` arrives or `deadlineMs` passes.
    // Returns the time the chunk holding the line was read, or nothing.
    std::optional<double> waitForLine(const std::string& text, double deadlineMs) {
        while (true) {
            if (auto found = takeLine(text)) return found;
            const double left = deadlineMs - nowMs();
            if (left <= 0 || !readChunk(static_cast<int>(left) + 1)) return std::nullopt;
        }
    }

    // Forgets lines already read and whatever is waiting in the pipe.
    void drain() {
        while (readChunk(0)) {
        }
        pending_.clear();
    }

    bool exited() {
        if (pid_ <= 0) return true;
        int status = 0;
        if (waitpid(pid_, &status, WNOHANG) == pid_) {
            status_ = status;
            pid_ = -1;
            return true;
        }
        return false;
    }
    int status() const { return status_; }

    void stop() {
        if (log_ != nullptr) std::fclose(log_);
        log_ = nullptr;
        if (pid_ <= 0) return;
        kill(pid_, SIGTERM);
        for (int i = 0; i < 100 && !exited(); ++i) sleepMs(50);
        if (!exited()) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }

private:
    // Reads what the pipe holds, waiting up to `timeoutMs`; false when
    // nothing came (or the program closed its end).
    bool readChunk(int timeoutMs) {
        if (fd_ < 0) return false;
        pollfd entry{fd_, POLLIN, 0};
        if (poll(&entry, 1, timeoutMs) <= 0) return false;
        char chunk[4096];
        const ssize_t got = read(fd_, chunk, sizeof chunk);
        if (got <= 0) {
            close(fd_);
            fd_ = -1;
            return false;
        }
        readAt_ = nowMs();
        if (log_ != nullptr) std::fwrite(chunk, 1, static_cast<size_t>(got), log_);
        pending_.append(chunk, static_cast<size_t>(got));
        return true;
    }

    std::optional<double> takeLine(const std::string& text) {
        size_t start = 0;
        for (size_t end; (end = pending_.find('\n', start)) != std::string::npos; start = end + 1) {
            if (pending_.substr(start, end - start).find(text) != std::string::npos) {
                pending_.erase(0, end + 1);
                return readAt_;
            }
        }
        pending_.erase(0, start);
        return std::nullopt;
    }

    pid_t pid_ = -1;
    int fd_ = -1;
    int status_ = 0;
    FILE* log_ = nullptr;
    std::string pending_;
    double readAt_ = 0;
};

// Presses and releases a combination through XTEST: modifiers down, key
// down, key up, modifiers up. Returns the time the key's release was sent.
class Keyboard {
public:
    explicit Keyboard(xcb_connection_t* connection) : connection_(connection) {
        root_ = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
    }

    bool prepare(const KeyCombination& combo, std::vector<xcb_keycode_t>& modifiers, xcb_keycode_t& key) {
        const auto map = tessarin::x11::readKeyboardMap(connection_);
        if (!map) return false;
        const auto keycodeOf = [&](const std::string& name) -> xcb_keycode_t {
            const auto codes = map->keycodesOf(tessarin::x11::keysymFromName(name));
            return codes.empty() ? 0 : codes.front();
        };
        static constexpr std::pair<uint8_t, const char*> modifierKeys[] = {
            {KeyModifier::shift, "Shift_L"}, {KeyModifier::control, "Control_L"}, {KeyModifier::alt, "Alt_L"},
            {KeyModifier::super, "Super_L"}};
        for (const auto& [bit, name] : modifierKeys) {
            if ((combo.modifiers & bit) == 0) continue;
            const xcb_keycode_t code = keycodeOf(name);
            if (code == 0) return false;
            modifiers.push_back(code);
        }
        key = keycodeOf(combo.key);
        return key != 0;
    }

    // Sends the release of `key` last and returns at once, so that waiting
    // for the program's answer starts the moment the release is on its way;
    // call releaseModifiers() afterwards.
    double pressAndRelease(const std::vector<xcb_keycode_t>& modifiers, xcb_keycode_t key) {
        for (xcb_keycode_t code : modifiers) fake(XCB_KEY_PRESS, code);
        fake(XCB_KEY_PRESS, key);
        sync();
        fake(XCB_KEY_RELEASE, key);
        xcb_flush(connection_);
        return nowMs();
    }

    void releaseModifiers(const std::vector<xcb_keycode_t>& modifiers) {
        for (auto code = modifiers.rbegin(); code != modifiers.rend(); ++code) fake(XCB_KEY_RELEASE, *code);
        sync();
    }

    void tap(const std::vector<xcb_keycode_t>& modifiers, xcb_keycode_t key) {
        pressAndRelease(modifiers, key);
        releaseModifiers(modifiers);
    }

private:
    void fake(uint8_t type, xcb_keycode_t code) {
        xcb_test_fake_input(connection_, type, code, XCB_CURRENT_TIME, root_, 0, 0, 0);
    }
    void sync() { std::free(xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr)); }

    xcb_connection_t* connection_;
    xcb_window_t root_;
};

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const size_t middle = values.size() / 2;
    return values.size() % 2 == 1 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

}  // namespace

int main(int argc, char** argv) {
    auto parsedOptions = parseOptions(argc, argv);
    if (!parsedOptions) return usage();
    Options& options = *parsedOptions;
    const auto key = KeyCombination::parse(options.key);
    const auto after = options.afterKey.empty() ? std::nullopt : KeyCombination::parse(options.afterKey);
    if (!key || (!options.afterKey.empty() && !after)) {
        std::fprintf(stderr, "key-latency: not a key combination: %s\n", (!key ? options.key : options.afterKey).c_str());
        return 2;
    }

    xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(connection)) {
        std::fprintf(stderr, "key-latency: cannot open the X display (is DISPLAY set?)\n");
        return 2;
    }
    Keyboard keyboard(connection);
    std::vector<xcb_keycode_t> keyModifiers, afterModifiers;
    xcb_keycode_t keyCode = 0, afterCode = 0;
    if (!keyboard.prepare(*key, keyModifiers, keyCode) ||
        (after && !keyboard.prepare(*after, afterModifiers, afterCode))) {
        std::fprintf(stderr, "key-latency: the keyboard map lacks a key of %s\n", options.key.c_str());
        return 2;
    }

    Child child;
    if (!child.start(options.program, options.logPath)) {
        std::fprintf(stderr, "key-latency: cannot start %s\n", options.program[0]);
        return 3;
    }
    // Ready once a press is dispatched: the program runs and holds the key.
    const double readyDeadline = nowMs() + options.readyTimeoutSeconds * 1000;
    bool ready = false;
    while (!ready && nowMs() < readyDeadline && !child.exited()) {
        keyboard.tap(keyModifiers, keyCode);
        ready = child.waitForLine(options.match, std::min(readyDeadline, nowMs() + 500)).has_value();
    }
    if (!ready) {
        if (child.exited()) {
            std::fprintf(stderr, "key-latency: %s exited (status %d) before dispatching '%s'\n", options.program[0],
                         WIFEXITED(child.status()) ? WEXITSTATUS(child.status()) : 128 + WTERMSIG(child.status()),
                         options.match.c_str());
        } else {
            std::fprintf(stderr, "key-latency: no line with '%s' within %.0f s of pressing %s\n", options.match.c_str(),
                         options.readyTimeoutSeconds, options.key.c_str());
        }
        child.stop();
        xcb_disconnect(connection);
        return 3;
    }

    std::vector<double> samples;
    for (int run = 0; run < options.runs; ++run) {
        if (afterCode != 0) keyboard.tap(afterModifiers, afterCode);
        sleepMs(options.gapMs);
        child.drain();
        const double releasedAt = keyboard.pressAndRelease(keyModifiers, keyCode);
        const auto lineAt = child.waitForLine(options.match, releasedAt + options.timeoutSeconds * 1000);
        keyboard.releaseModifiers(keyModifiers);
        if (lineAt) samples.push_back(std::max(0.0, *lineAt - releasedAt));
    }
    child.stop();
    xcb_disconnect(connection);

    std::printf("runs=%d dispatched=%zu", options.runs, samples.size());
    if (!samples.empty()) {
        std::printf(" median_ms=%.2f min_ms=%.2f max_ms=%.2f", median(samples),
                    *std::min_element(samples.begin(), samples.end()), *std::max_element(samples.begin(), samples.end()));
    }
    std::printf("\n");
    return static_cast<int>(samples.size()) == options.runs ? 0 : 1;
}
