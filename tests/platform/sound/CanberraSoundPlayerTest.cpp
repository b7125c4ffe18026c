// The capture sound through libcanberra's PulseAudio driver: without a
// sound server it says false and logs why; with a private PulseAudio
// server playing into a null sink it plays. Every folder the sound stack
// reads or writes points into a temporary folder.
//
// libcanberra remembers where it found each sound for the rest of the
// process, so each case needs a process of its own, as ctest runs them.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <mutex>
#include <string>
#include <thread>

#include "core/common/Log.h"
#include "platform/sound/CanberraSoundPlayer.h"
#include "support/TempDir.h"

namespace tessarin {
namespace {

struct RecordingSink : LogSink {
    void write(LogLevel, std::string_view, std::string_view message) override {
        std::lock_guard lock(mutex);
        text.append(message).append("\n");
    }
    std::string all() {
        std::lock_guard lock(mutex);
        return text;
    }
    bool contains(const std::string& part) { return all().find(part) != std::string::npos; }
    void clear() {
        std::lock_guard lock(mutex);
        text.clear();
    }
    std::mutex mutex;
    std::string text;
};

#define REQUIRE_PULSEAUDIO()                                      \
    if (std::system("command -v pulseaudio >/dev/null") != 0) \
    GTEST_SKIP() << "pulseaudio is not installed (./scripts/install-deps.sh installs it)"

class CaptureSound : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* name : {"home", "config", "cache", "run"}) std::filesystem::create_directories(folder / name);
        ::chmod((folder / "run").c_str(), 0700);
        // No client may start a server of its own.
        std::ofstream(folder / "client.conf") << "autospawn = no\n";
        ::setenv("HOME", (folder / "home").c_str(), 1);
        ::setenv("XDG_CONFIG_HOME", (folder / "config").c_str(), 1);
        ::setenv("XDG_CACHE_HOME", (folder / "cache").c_str(), 1);
        ::setenv("XDG_RUNTIME_DIR", (folder / "run").c_str(), 1);
        ::setenv("PULSE_CLIENTCONFIG", (folder / "client.conf").c_str(), 1);
        ::unsetenv("PULSE_SERVER");
        ::unsetenv("DBUS_SESSION_BUS_ADDRESS");
        ::unsetenv("DISPLAY");
    }
    void TearDown() override { stopServer(); }

    // A PulseAudio server of this test's own, playing into a null sink;
    // false when it did not come up.
    bool startServer() {
        server = ::fork();
        if (server == 0) {
            ::execlp("pulseaudio", "pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1", "--disallow-exit",
                     "--use-pid-file=no", "--log-target=stderr", "--log-level=error", "-L",
                     "module-native-protocol-unix", "-L", "module-null-sink", static_cast<char*>(nullptr));
            ::_exit(127);
        }
        const auto socket = folder / "run" / "pulse" / "native";
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (std::chrono::steady_clock::now() < deadline) {
            if (std::filesystem::exists(socket)) return true;
            if (::waitpid(server, nullptr, WNOHANG) == server) {
                server = -1;
                return false;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return false;
    }
    void stopServer() {
        if (server <= 0) return;
        ::kill(server, SIGTERM);
        ::waitpid(server, nullptr, 0);
        server = -1;
    }

    // A freedesktop sound theme of the test's own, holding only `sounds`
    // (copies of the installed theme's), as the only theme folder there is.
    void useThemeWith(std::initializer_list<std::string> sounds) {
        const auto installed = std::filesystem::path("/usr/share/sounds/freedesktop");
        const auto theme = folder / "data" / "sounds" / "freedesktop";
        std::filesystem::create_directories(theme / "stereo");
        std::filesystem::copy_file(installed / "index.theme", theme / "index.theme");
        for (const std::string& sound : sounds) {
            std::filesystem::copy_file(installed / "stereo" / (sound + ".oga"), theme / "stereo" / (sound + ".oga"));
        }
        ::setenv("XDG_DATA_DIRS", (folder / "data").c_str(), 1);
        ::setenv("XDG_DATA_HOME", (folder / "home").c_str(), 1);
    }

    testing::TempDir folder;
    pid_t server = -1;
    RecordingSink sink;
    ScopedLogSink logTo{sink};
};

TEST_F(CaptureSound, WithoutASoundServerOrWithAnUnknownDriverNothingPlaysAndTheReasonIsLogged) {
    for (const char* driver : {"pulse", "no-such-driver"}) {
        CanberraSoundPlayer player({.driver = driver});
        EXPECT_FALSE(player.play()) << driver;
        EXPECT_TRUE(sink.contains("sound.play open error=")) << driver << ": " << sink.all();
        EXPECT_EQ(player.lastEventID(), "") << driver;
        // Asked again at once, it does not probe the back ends again.
        sink.clear();
        EXPECT_FALSE(player.play()) << driver;
        EXPECT_FALSE(sink.contains("sound.play open error=")) << driver << ": " << sink.all();
        sink.clear();
    }
}

TEST_F(CaptureSound, PlaysTheScreenCaptureSoundThroughASoundServer) {
    REQUIRE_PULSEAUDIO();
    CanberraSoundPlayer player({.driver = "pulse", .retryAfter = std::chrono::milliseconds(0)});
    // A server that starts after a failed attempt is found by the next try.
    EXPECT_FALSE(player.play());
    ASSERT_TRUE(startServer()) << "the test's PulseAudio server did not start";
    EXPECT_TRUE(player.play()) << sink.all();
    EXPECT_EQ(player.lastEventID(), "screen-capture");
}

TEST_F(CaptureSound, WithoutTheScreenCaptureSoundTheShutterPlays) {
    REQUIRE_PULSEAUDIO();
    useThemeWith({"camera-shutter"});
    ASSERT_TRUE(startServer()) << "the test's PulseAudio server did not start";
    CanberraSoundPlayer player({.driver = "pulse"});
    EXPECT_TRUE(player.play()) << sink.all();
    EXPECT_EQ(player.lastEventID(), "camera-shutter");
}

}  // namespace
}  // namespace tessarin
