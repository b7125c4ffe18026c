// The recording engine end to end on the Xvfb server: the moving test
// scene recorded with a PulseAudio null sink's monitor as the microphone
// (the scene plays a tone into the sink, and a beep with each flash), checked
// with ffprobe, by reading the frame numbers the scene draws and by the
// flashes against the beeps; a killed recorder and a full disk; the exports.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "support/TempDir.h"

namespace tessarin::integration {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

std::string quoted(const std::string& text) {
    std::string out = "'";
    for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

std::string commandLine(const std::vector<std::string>& argv) {
    std::string line;
    for (const auto& word : argv) line += quoted(word) + " ";
    return line;
}

// Runs a command to its end; its standard output.
std::string output(const std::vector<std::string>& argv, int* status = nullptr) {
    FILE* pipe = ::popen((commandLine(argv) + " 2>/dev/null").c_str(), "r");
    if (!pipe) return {};
    std::string text;
    char buffer[65536];
    size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) text.append(buffer, n);
    const int ended = ::pclose(pipe);
    if (status) *status = WIFEXITED(ended) ? WEXITSTATUS(ended) : 128 + WTERMSIG(ended);
    return text;
}

// A child in the background, its standard output into `out`.
pid_t spawn(const std::vector<std::string>& argv, const fs::path& out) {
    const pid_t pid = ::fork();
    if (pid != 0) return pid;
    const int fd = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ::dup2(fd, 1);
    const int null = ::open("/dev/null", O_WRONLY);
    ::dup2(null, 2);
    std::vector<char*> args;
    for (const auto& word : argv) args.push_back(const_cast<char*>(word.c_str()));
    args.push_back(nullptr);
    ::execvp(args[0], args.data());
    ::_exit(127);
}

std::string readFile(const fs::path& file) {
    std::string text;
    FILE* in = std::fopen(file.c_str(), "rb");
    if (!in) return text;
    char buffer[65536];
    size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, in)) > 0) text.append(buffer, n);
    std::fclose(in);
    return text;
}

// Waits until `done` holds, checking again after each short pause; false
// when it still does not after `attempts`.
template <class Condition>
bool waitFor(Condition done, int attempts = 600) {
    for (int i = 0; i < attempts; ++i) {
        if (done()) return true;
        ::usleep(50'000);
    }
    return done();
}

json lastJsonLine(const std::string& text) {
    std::string line;
    size_t end = text.find_last_not_of('\n');
    if (end == std::string::npos) return json();
    size_t start = text.rfind('\n', end);
    line = text.substr(start == std::string::npos ? 0 : start + 1, end - (start == std::string::npos ? 0 : start + 1) + 1);
    return json::parse(line, nullptr, false);
}

json probe(const fs::path& movie) {
    return json::parse(output({"ffprobe", "-v", "error", "-show_streams", "-show_format", "-of", "json", movie}), nullptr,
                       false);
}

const json* stream(const json& probed, const std::string& type) {
    if (!probed.contains("streams")) return nullptr;
    for (const auto& s : probed["streams"]) {
        if (s.value("codec_type", "") == type) return &s;
    }
    return nullptr;
}

std::vector<double> videoPacketTimes(const fs::path& movie) {
    std::vector<double> times;
    const std::string text = output({"ffprobe", "-v", "error", "-select_streams", "v", "-show_entries",
                                     "packet=pts_time", "-of", "csv=p=0", movie});
    size_t at = 0;
    while (at < text.size()) {
        const size_t end = text.find('\n', at);
        const std::string line = text.substr(at, end - at);
        if (!line.empty()) times.push_back(std::atof(line.c_str()));
        if (end == std::string::npos) break;
        at = end + 1;
    }
    return times;
}

// The scene's frame number in each decoded frame (its top-left 16 blocks).
std::vector<uint32_t> sceneFrameNumbers(const fs::path& movie) {
    const std::string gray = output({"ffmpeg", "-v", "error", "-i", movie, "-vf", "crop=768:48:0:0,scale=16:1:flags=area",
                                     "-f", "rawvideo", "-pix_fmt", "gray", "-"});
    std::vector<uint32_t> numbers;
    for (size_t frame = 0; frame + 16 <= gray.size(); frame += 16) {
        uint32_t number = 0;
        for (int bit = 0; bit < 16; ++bit) {
            if (static_cast<uint8_t>(gray[frame + bit]) > 128) number |= 1u << bit;
        }
        numbers.push_back(number);
    }
    return numbers;
}

// The times of the frames in which the scene's flash square lights up.
std::vector<double> flashTimes(const fs::path& movie) {
    std::vector<double> times;
    const std::string text = output({"ffprobe", "-v", "error", "-select_streams", "v", "-show_entries",
                                     "frame=best_effort_timestamp_time", "-of", "csv=p=0", movie});
    for (size_t at = 0; at < text.size();) {
        const size_t end = text.find('\n', at);
        if (end > at) times.push_back(std::atof(text.c_str() + at));
        if (end == std::string::npos) break;
        at = end + 1;
    }
    const std::string gray = output({"ffmpeg", "-v", "error", "-i", movie, "-vf", "crop=192:40:0:48,scale=1:1:flags=area",
                                     "-f", "rawvideo", "-pix_fmt", "gray", "-"});
    std::vector<double> flashes;
    for (size_t i = 1; i < std::min(times.size(), gray.size()); ++i) {
        if (static_cast<uint8_t>(gray[i]) > 128 && static_cast<uint8_t>(gray[i - 1]) <= 128) flashes.push_back(times[i]);
    }
    return flashes;
}

// The times at which a loud beep starts after at least 0.3 s of quieter sound.
std::vector<double> beepTimes(const fs::path& movie) {
    const std::string pcm =
        output({"ffmpeg", "-v", "error", "-i", movie, "-vn", "-f", "f32le", "-ac", "1", "-ar", "44100", "-"});
    std::vector<double> beeps;
    size_t quiet = 0;
    for (size_t i = 0; i + 4 <= pcm.size(); i += 4) {
        float sample = 0;
        std::memcpy(&sample, pcm.data() + i, 4);
        if (std::fabs(sample) > 0.4f) {
            if (quiet > 44100 * 3 / 10) beeps.push_back(static_cast<double>(i / 4) / 44100);
            quiet = 0;
        } else {
            ++quiet;
        }
    }
    return beeps;
}

// How many video frames FFmpeg decodes from the movie.
int decodedFrames(const fs::path& movie) {
    const json counted = json::parse(output({"ffprobe", "-v", "quiet", "-count_frames", "-select_streams", "v",
                                             "-show_entries", "stream=nb_read_frames", "-of", "json", movie}),
                                     nullptr, false);
    if (!counted.contains("streams") || counted["streams"].empty()) return 0;
    return std::atoi(counted["streams"][0].value("nb_read_frames", "0").c_str());
}

class RecordingXvfbTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (!std::getenv("TESSARIN_TEST_X_SERVER")) return;
        if (output({"sh", "-c", "command -v ffprobe && command -v pulseaudio"}).empty()) return;
        folder_ = new testing::TempDir();
        ::setenv("HOME", folder_->path().c_str(), 1);
        ::setenv("XDG_RUNTIME_DIR", folder_->path().c_str(), 1);
        ::setenv("XDG_CONFIG_HOME", (folder_->path() / "config").c_str(), 1);
        ::setenv("TESSARIN_MODULE_DIR", TESSARIN_MODULE_DIR, 1);
        // A sound server of our own: a null sink, whose monitor is the
        // default input, and into which the scene plays.
        const fs::path socket = folder_->path() / "pulse.sock";
        pulseServer_ = "unix:" + socket.string();
        pulse_ = spawn({"pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1", "--disable-shm=yes",
                        "--load=module-native-protocol-unix socket=" + socket.string() + " auth-anonymous=1",
                        "--load=module-null-sink sink_name=tone rate=44100"},
                       folder_->path() / "pulse.out");
        ::setenv("PULSE_SERVER", pulseServer_.c_str(), 1);
        const bool pulseUp = waitFor([] {
            int status = -1;
            output({"pactl", "set-default-source", "tone.monitor"}, &status);
            return status == 0;
        });
        scene_ = spawn({TESSARIN_SCENE_BINARY, "--fps", "60", "--pulse-server", pulseServer_, "--flash-every", "60"},
                       folder_->path() / "scene.out");
        const bool sceneUp = waitFor([] { return readFile(folder_->path() / "scene.out").find("ready") != std::string::npos; });
        ready_ = pulseUp && sceneUp;
    }

    // The 10 s recording of the whole screen at 30 fps with the microphone
    // that the recording checks look at, made by the first case that asks
    // (ctest runs each case in a process of its own).
    static const fs::path& recording() {
        if (!recordReport_) {
            recording_ = folder_->path() / "Recording.mov";
            recordReport_ = new json(lastJsonLine(output({TESSARIN_TOOL_BINARY, "record", "--area", "0,0,1920,1080",
                                                          "--seconds", "10", "--fps", "30", "--microphone", "--out",
                                                          recording_})));
        }
        return recording_;
    }

    // A 3 s recording with the microphone, the source of the exports.
    static const fs::path& exportSource() {
        if (exportSource_.empty()) {
            exportSource_ = folder_->path() / "Source.mov";
            output({TESSARIN_TOOL_BINARY, "record", "--area", "0,0,1920,1080", "--seconds", "3", "--fps", "30",
                    "--microphone", "--out", exportSource_});
        }
        return exportSource_;
    }

    static void TearDownTestSuite() {
        for (pid_t* child : {&scene_, &pulse_}) {
            if (*child > 0) {
                ::kill(*child, SIGTERM);
                ::waitpid(*child, nullptr, 0);
                *child = -1;
            }
        }
        delete recordReport_;
        recordReport_ = nullptr;
        delete folder_;
        folder_ = nullptr;
    }

    void SetUp() override {
        if (!std::getenv("TESSARIN_TEST_X_SERVER")) GTEST_SKIP() << "needs the test X server";
        if (!folder_) GTEST_SKIP() << "needs ffprobe and pulseaudio";
        ASSERT_TRUE(ready_) << "the sound server or the test scene did not start";
    }

    static fs::path dir() { return folder_->path(); }

    static json exportWith(const fs::path& source, std::vector<std::string> flags) {
        std::vector<std::string> argv = {TESSARIN_TOOL_BINARY, "export", "--in", source};
        argv.insert(argv.end(), flags.begin(), flags.end());
        return lastJsonLine(output(argv));
    }

    static inline testing::TempDir* folder_ = nullptr;
    static inline pid_t pulse_ = -1;
    static inline pid_t scene_ = -1;
    static inline bool ready_ = false;
    static inline std::string pulseServer_;
    static inline fs::path recording_;
    static inline fs::path exportSource_;
    static inline json* recordReport_ = nullptr;
};

TEST_F(RecordingXvfbTest, RecordsTheSceneAt1080p30WithMicrophoneAudio) {
    recording();
    ASSERT_FALSE(recordReport_->contains("error")) << recordReport_->dump();
    EXPECT_TRUE(recordReport_->value("hadMicrophoneTrack", false));
    const json probed = probe(recording());
    const json* video = stream(probed, "video");
    const json* audio = stream(probed, "audio");
    ASSERT_TRUE(video && audio) << probed.dump();
    EXPECT_EQ((*video)["codec_name"], "h264");
    EXPECT_EQ((*video)["width"], 1920);
    EXPECT_EQ((*video)["height"], 1080);
    EXPECT_EQ((*audio)["codec_name"], "aac");
    EXPECT_EQ((*audio)["sample_rate"], "44100");
    EXPECT_EQ((*audio)["channels"], 1);
    const std::vector<double> times = videoPacketTimes(recording());
    ASSERT_GE(times.size(), 2u);
    const double duration = times.back() - times.front();
    EXPECT_NEAR(duration, 10.0, 0.5);
    EXPECT_NEAR(recordReport_->value("duration", 0.0), duration, 0.05);
    EXPECT_GE(static_cast<double>(times.size()), 0.9 * duration * 30) << "frames were dropped";
    EXPECT_TRUE(std::is_sorted(times.begin(), times.end(), std::less_equal<>()) &&
                std::adjacent_find(times.begin(), times.end()) == times.end())
        << "packet times must increase strictly";
    EXPECT_NEAR(std::atof((*audio)["duration"].get<std::string>().c_str()), duration, 0.3);
}

TEST_F(RecordingXvfbTest, FramesComeInOrderAndRarelyRepeat) {
    const std::vector<uint32_t> numbers = sceneFrameNumbers(recording());
    ASSERT_GE(numbers.size(), 270u);
    size_t repeated = 0;
    for (size_t i = 1; i < numbers.size(); ++i) {
        EXPECT_GE(numbers[i], numbers[i - 1]) << "frame " << i << " out of order";
        if (numbers[i] == numbers[i - 1]) ++repeated;
    }
    // A repeat is mostly the scene client drawing late on a loaded machine;
    // the recorder's own figure (none) is bench/recording's. Three in a
    // hundred still catches a grab that stalls.
    EXPECT_LE(repeated * 100, numbers.size() * 3) << repeated << " of " << numbers.size() << " frames repeated";
}

TEST_F(RecordingXvfbTest, SoundAndPictureStayTogether) {
    const std::vector<double> flashes = flashTimes(recording());
    const std::vector<double> beeps = beepTimes(recording());
    ASSERT_GE(flashes.size(), 8u);
    ASSERT_GE(beeps.size(), 8u);
    // Each flash with the beep nearest to it. A flash shows in the first
    // grab after it was drawn, up to a frame (33 ms) late; the rest of the
    // difference is the recorder's. The bench holds it to 60 ms; here a
    // loaded machine gets 0.2 s, which still catches a stream that drifts
    // or starts half a second off.
    for (double flash : flashes) {
        const auto nearest = *std::min_element(beeps.begin(), beeps.end(), [flash](double a, double b) {
            return std::fabs(a - flash) < std::fabs(b - flash);
        });
        EXPECT_NEAR(nearest - flash, 0.0, 0.2) << "flashes " << ::testing::PrintToString(flashes) << ", beeps "
                                              << ::testing::PrintToString(beeps);
    }
}

TEST_F(RecordingXvfbTest, AKilledRecorderLeavesAPlayableFile) {
    const fs::path movie = dir() / "killed.mov";
    const pid_t recorder = spawn({TESSARIN_TOOL_BINARY, "record", "--area", "0,0,640,360", "--seconds", "60", "--out",
                                  movie.string()},
                                 dir() / "killed.out");
    // Two key frames (two fragments) written, then the hard way out.
    const bool written = waitFor([&] { return videoPacketTimes(movie).size() >= 70; });
    ::kill(recorder, SIGKILL);
    ::waitpid(recorder, nullptr, 0);
    ASSERT_TRUE(written) << "the recorder did not write fragments";
    // The fragments written before the kill play; only the one being
    // filled is lost.
    EXPECT_GE(decodedFrames(movie), 60);
}

TEST_F(RecordingXvfbTest, AFullDiskReportsFailureAndKeepsWhatWasWritten) {
    const fs::path movie = dir() / "full.mov";
    int status = 0;
    const json report = lastJsonLine(output({TESSARIN_TOOL_BINARY, "record", "--area", "0,0,1920,1080", "--seconds",
                                             "30", "--file-size-limit", "120000", "--out", movie},
                                            &status));
    EXPECT_EQ(status, 1);
    EXPECT_EQ(report.value("error", ""), "Recording failed: File too large") << report.dump();
    ASSERT_TRUE(fs::exists(movie));
    EXPECT_LE(fs::file_size(movie), 120000u);
    EXPECT_GE(videoPacketTimes(movie).size(), 30u) << "the fragments written before the disk filled are kept";
}

TEST_F(RecordingXvfbTest, ASelectionOutsideTheScreenIsRefusedAndLeavesNoFile) {
    const fs::path movie = dir() / "outside.mov";
    int status = 0;
    const json report = lastJsonLine(
        output({TESSARIN_TOOL_BINARY, "record", "--area", "1900,0,100,100", "--seconds", "1", "--out", movie}, &status));
    EXPECT_EQ(status, 1);
    EXPECT_EQ(report.value("error", ""), "Recording failed: the selection reaches outside the screen");
    EXPECT_FALSE(fs::exists(movie));
}

TEST_F(RecordingXvfbTest, OddSelectionsRecordAtTheNextEvenSize) {
    const fs::path movie = dir() / "odd.mov";
    const json report = lastJsonLine(
        output({TESSARIN_TOOL_BINARY, "record", "--area", "1,1,101,51", "--seconds", "1", "--no-cursor", "--out", movie}));
    ASSERT_FALSE(report.contains("error")) << report.dump();
    const json probed = probe(movie);
    const json* video = stream(probed, "video");
    ASSERT_TRUE(video) << probed.dump();
    EXPECT_EQ((*video)["width"], 102);
    EXPECT_EQ((*video)["height"], 52);
}

// The mean volume of a movie's sound, in dB.
double meanVolume(const fs::path& movie) {
    const std::string text =
        output({"sh", "-c", "ffmpeg -hide_banner -i " + quoted(movie) + " -af volumedetect -vn -f null - 2>&1"});
    const auto at = text.find("mean_volume: ");
    return at == std::string::npos ? 0.0 : std::atof(text.c_str() + at + 13);
}

TEST_F(RecordingXvfbTest, ExportsPerPresetAndAudioMode) {
    const std::string sourceBytes = readFile(exportSource());
    const double sourceVolume = meanVolume(exportSource());
    EXPECT_LT(sourceVolume, -1.0) << "the tone is in the recording";
    const struct {
        std::vector<std::string> flags;
        int width, height;
        int channels;  // 0: no audio track
        double duration;
        double volumeChange;  // dB against the source
    } cases[] = {
        {{"--preset", "p720", "--audio", "mono"}, 720, 404, 1, 3.0, 0},
        {{"--preset", "p480", "--audio", "mute", "--quality", "0.2"}, 480, 270, 0, 3.0, 0},
        {{"--preset", "original", "--audio", "preserve", "--trim", "1,1.5"}, 1920, 1080, 1, 1.5, 0},
        {{"--preset", "p1080", "--audio", "customVolume", "--volume", "0.5", "--quality", "0.9"}, 1080, 608, 1, 3.0, -6},
    };
    for (const auto& c : cases) {
        const json report = exportWith(exportSource(), c.flags);
        ASSERT_TRUE(report.contains("file")) << report.dump();
        const fs::path exported = report["file"].get<std::string>();
        const json probed = probe(exported);
        const json* video = stream(probed, "video");
        ASSERT_TRUE(video) << probed.dump();
        EXPECT_EQ((*video)["width"], c.width) << commandLine(c.flags);
        EXPECT_EQ((*video)["height"], c.height);
        const json* audio = stream(probed, "audio");
        EXPECT_EQ(audio ? (*audio)["channels"].get<int>() : 0, c.channels) << commandLine(c.flags);
        if (c.volumeChange != 0) {
            EXPECT_NEAR(meanVolume(exported) - sourceVolume, c.volumeChange, 1.0) << commandLine(c.flags);
        }
        const std::vector<double> times = videoPacketTimes(exported);
        ASSERT_FALSE(times.empty());
        EXPECT_NEAR(times.back() - times.front(), c.duration, 0.2) << commandLine(c.flags);
        EXPECT_NEAR(static_cast<double>(times.size()), c.duration * 30, c.duration * 3);
        const auto bytes = report["bytes"].get<double>();
        const auto estimated = report["estimatedBytes"].get<double>();
        EXPECT_NEAR(bytes, estimated, estimated * 0.2) << commandLine(c.flags);
        fs::remove(exported);
    }
    EXPECT_EQ(readFile(exportSource()), sourceBytes) << "the source is never modified";
}

TEST_F(RecordingXvfbTest, ACancelledExportLeavesNothing) {
    const json report = exportWith(exportSource(), {"--cancel-at", "0.3"});
    EXPECT_EQ(report.value("error", ""), "Recording failed: Export cancelled.");
    EXPECT_FALSE(fs::exists(dir() / "Source Edited.mov"));
    const json empty = exportWith(exportSource(), {"--trim", "9,1"});
    EXPECT_EQ(empty.value("error", ""), "Recording failed: Trim range is empty.");
    EXPECT_FALSE(fs::exists(dir() / "Source Edited.mov"));
}

TEST_F(RecordingXvfbTest, TheEditorsFramesDoNotDependOnHowTheyWereReached) {
    const json report = lastJsonLine(output({TESSARIN_TOOL_BINARY, "frames", "--in", exportSource(), "--check-order"}));
    ASSERT_FALSE(report.contains("error")) << report.dump();
    EXPECT_TRUE(report.value("consistent", false)) << report.dump();
    EXPECT_GE(report.value("times", 0), 11);  // every quarter second of about 3 s
    // The scene moves: the quarter seconds are different frames.
    EXPECT_EQ(report.value("distinctFrames", 0), report.value("times", 0)) << report.dump();
}

TEST_F(RecordingXvfbTest, ARenamedMp4ExportsAsMp4) {
    const fs::path clip = dir() / "clip.mp4";
    fs::copy_file(exportSource(), clip, fs::copy_options::overwrite_existing);
    const json report = exportWith(clip, {"--preset", "p480"});
    ASSERT_TRUE(report.contains("file")) << report.dump();
    EXPECT_EQ(fs::path(report["file"].get<std::string>()).filename(), "clip Edited.mp4");
    const json probed = probe(report["file"].get<std::string>());
    EXPECT_NE(probed["format"]["tags"].value("major_brand", ""), "qt  ") << probed["format"].dump();
}

}  // namespace
}  // namespace tessarin::integration
