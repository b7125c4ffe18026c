#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>

#include "media/FfmpegAudioDecoder.h"
#include "media/PulseAudioPlayer.h"
#include "support/TempDir.h"

namespace tessarin::media {
namespace {

namespace fs = std::filesystem;

constexpr int kRate = 44100;

bool have(const char* program) { return std::system((std::string("command -v ") + program + " >/dev/null").c_str()) == 0; }

// A 2 s movie like a recording's: H.264 picture, 44.1 kHz mono AAC (a
// tone) unless `withSound` is false.
fs::path makeMovie(const fs::path& folder, bool withSound) {
    const fs::path movie = folder / (withSound ? "Clip.mov" : "Silent.mov");
    std::string command = "ffmpeg -v error -f lavfi -i testsrc=size=160x90:rate=30:duration=2 ";
    if (withSound) command += "-f lavfi -i sine=frequency=440:sample_rate=44100:duration=2 -c:a aac -ac 1 ";
    command += "-c:v libx264 -pix_fmt yuv420p -shortest '" + movie.string() + "'";
    return std::system(command.c_str()) == 0 ? movie : fs::path();
}

size_t readToEnd(FfmpegAudioDecoder& decoder) {
    std::vector<float> samples;
    size_t frames = 0;
    while (size_t read = decoder.read(samples)) frames += read;
    EXPECT_EQ(samples.size(), frames * static_cast<size_t>(decoder.channels()));
    return frames;
}

bool waitUntil(const std::function<bool()>& condition) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

class AudioPlayback : public ::testing::Test {
protected:
    void SetUp() override {
        if (!have("ffmpeg")) GTEST_SKIP() << "needs ffmpeg";
        movie = makeMovie(folder.path(), true);
        ASSERT_FALSE(movie.empty()) << "ffmpeg could not make the test movie";
    }
    void TearDown() override {
        if (server <= 0) return;
        ::kill(server, SIGTERM);
        ::waitpid(server, nullptr, 0);
    }

    // A sound server of the test's own, in its folder, playing into a null sink.
    bool startServer() {
        for (const char* name : {"home", "run"}) fs::create_directories(folder / name);
        std::ofstream(folder / "client.conf") << "autospawn = no\n";
        ::setenv("HOME", (folder / "home").c_str(), 1);
        ::setenv("XDG_RUNTIME_DIR", (folder / "run").c_str(), 1);
        ::setenv("PULSE_CLIENTCONFIG", (folder / "client.conf").c_str(), 1);
        const fs::path socket = folder / "pulse.sock";
        ::setenv("PULSE_SERVER", ("unix:" + socket.string()).c_str(), 1);
        const std::string protocol = "module-native-protocol-unix socket=" + socket.string() + " auth-anonymous=1";
        server = ::fork();
        if (server == 0) {
            ::execlp("pulseaudio", "pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1", "--use-pid-file=no", "--realtime=no", "--high-priority=no",
                     "--disable-shm=yes", "--log-target=stderr", "--log-level=error", "-L", protocol.c_str(), "-L",
                     "module-null-sink", static_cast<char*>(nullptr));
            ::_exit(127);
        }
        return waitUntil([&] { return fs::exists(socket); });
    }

    testing::TempDir folder;
    fs::path movie;
    pid_t server = -1;
};

TEST_F(AudioPlayback, TheTrackDecodesToItsLengthInSamplesWholeAndFromASeek) {
    auto decoder = FfmpegAudioDecoder::open(movie);
    ASSERT_TRUE(decoder) << decoder.error().description();
    EXPECT_EQ((*decoder)->sampleRate(), kRate);
    EXPECT_EQ((*decoder)->channels(), 1);
    // Two seconds, give or take the encoder's last frame of 1024.
    EXPECT_NEAR(static_cast<double>(readToEnd(**decoder)), 2.0 * kRate, 1100);
    (*decoder)->seek(1.5);
    EXPECT_NEAR(static_cast<double>(readToEnd(**decoder)), 0.5 * kRate, 1100);
    (*decoder)->seek(0);
    EXPECT_NEAR(static_cast<double>(readToEnd(**decoder)), 2.0 * kRate, 1100);
}

TEST_F(AudioPlayback, AMovieWithoutSoundHasNoPlayer) {
    const fs::path silent = makeMovie(folder.path(), false);
    ASSERT_FALSE(silent.empty());
    auto player = openPulseAudioPlayer(silent);
    ASSERT_FALSE(player);
    EXPECT_NE(player.error().description().find("This recording has no sound."), std::string::npos)
        << player.error().description();
}

TEST_F(AudioPlayback, TheClockFollowsTheSamplesTheServerTookFromTheSeekAndOutlivesTheServer) {
    if (!have("pulseaudio")) GTEST_SKIP() << "needs pulseaudio";
    ASSERT_TRUE(startServer()) << "the private sound server did not start";
    auto decoder = FfmpegAudioDecoder::open(movie);
    ASSERT_TRUE(decoder);
    PulseAudioPlayer player(std::move(*decoder));
    // The null sink takes its first samples only at the end of its idle
    // block (up to 2 s): one play keeps the test short.
    ASSERT_TRUE(player.play(1.5, 0.5));
    EXPECT_GE(player.clock(), 1.5);
    ASSERT_TRUE(waitUntil([&] { return player.clock() >= 1.7; })) << "the clock stayed at " << player.clock();
    // Never ahead of what was handed to the server.
    EXPECT_LE(player.clock(), 1.5 + static_cast<double>(player.framesWritten()) / kRate);
    // Past the track's end silence keeps it running; without the server the wall clock does.
    ASSERT_TRUE(waitUntil([&] { return player.clock() >= 2.2; }));
    ::kill(server, SIGTERM);
    ::waitpid(server, nullptr, 0);
    server = -1;
    ASSERT_TRUE(waitUntil([&] { return player.clock() >= 2.6; })) << "the clock stopped with the server";
    player.pause();
    const double paused = player.clock();
    player.pause();  // twice is harmless
    EXPECT_EQ(player.clock(), paused);
}

}  // namespace
}  // namespace tessarin::media
