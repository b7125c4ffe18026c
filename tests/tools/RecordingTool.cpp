// tessarin-recording-tool: drives the recording engine and the exporter
// from the command line for the integration tests and the benchmark. It
// loads libtessarin-media.so the way the application does. Each command
// prints one JSON line.
//
//   record --display :N --area X,Y,W,H --seconds S --out FILE
//          [--fps N] [--microphone] [--pulse-server S] [--no-cursor]
//          [--file-size-limit BYTES] [--screencast]
//          --screencast: the area of the screen the ScreenCast portal shares
//          (Wayland), through a PipeWire region stream, instead of X11 grabs
//   export --in FILE [--preset original|p1440|p1080|p720|p480] [--quality Q]
//          [--audio preserve|mono|mute|customVolume] [--volume V]
//          [--trim START,DURATION] [--cancel-at FRACTION]
//   probe  --in FILE
//   frames --in FILE [--scrubs N] [--width W --height H] [--check-order]
//          the editor's reading: open to first frame, then N jumps to
//          scattered times (scrubbing) and N steps of one frame (playback);
//          --check-order: whether every time gives the same frame however
//          it was reached (forwards, backwards, by jumps)

#include <sys/resource.h>

#include <algorithm>
#include <set>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <mutex>
#include <string>

#include <nlohmann/json.hpp>

#include "core/recording/MediaEngine.h"
#include "core/recording/RecordingSession.h"
#include "core/recordingflow/RegionStreamRecordingSource.h"
#include "platform/portal/CastRegionStreams.h"

namespace tessarin {
namespace {

using Clock = std::chrono::steady_clock;
using nlohmann::json;

double millisecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// Notes when the first frame left the screen source.
class TimedScreenSource final : public ScreenRecordingSource {
public:
    explicit TimedScreenSource(std::unique_ptr<ScreenRecordingSource> inner) : inner_(std::move(inner)) {}
    void setHandlers(FrameHandler onFrame, RecordingErrorHandler onError) override {
        inner_->setHandlers(
            [this, onFrame = std::move(onFrame)](std::shared_ptr<const VideoFrame> frame) {
                if (!firstFrameAt_) {
                    std::lock_guard guard(lock_);
                    if (!firstFrameAt_) firstFrameAt_ = Clock::now();
                }
                ++frames_;
                onFrame(std::move(frame));
            },
            std::move(onError));
    }
    std::optional<RecordingError> start() override { return inner_->start(); }
    void stop() override { inner_->stop(); }

    std::optional<Clock::time_point> firstFrameAt() {
        std::lock_guard guard(lock_);
        return firstFrameAt_;
    }
    int64_t frames() const { return frames_; }

private:
    std::unique_ptr<ScreenRecordingSource> inner_;
    std::mutex lock_;
    std::optional<Clock::time_point> firstFrameAt_;
    std::atomic<int64_t> frames_{0};
};

using Arguments = std::map<std::string, std::string>;

Arguments parse(int argc, char** argv) {
    Arguments arguments;
    for (int i = 2; i < argc; ++i) {
        std::string key = argv[i];
        if (key.rfind("--", 0) != 0) continue;
        key = key.substr(2);
        const bool flag = i + 1 >= argc || std::string(argv[i + 1]).rfind("--", 0) == 0;
        arguments[key] = flag ? "1" : argv[++i];
    }
    return arguments;
}

std::string argument(const Arguments& arguments, const std::string& key, const std::string& fallback = {}) {
    auto found = arguments.find(key);
    return found == arguments.end() ? fallback : found->second;
}

int fail(const std::string& message) {
    std::printf("%s\n", json{{"error", message}}.dump().c_str());
    return 1;
}

int record(const Arguments& arguments, MediaEngine& engine) {
    const std::filesystem::path out = argument(arguments, "out");
    if (out.empty()) return fail("--out is required");
    ScreenSourceSettings screen;
    screen.displayName = argument(arguments, "display", std::getenv("DISPLAY") ? std::getenv("DISPLAY") : "");
    long long x = 0, y = 0, width = 0, height = 0;
    if (std::sscanf(argument(arguments, "area").c_str(), "%lld,%lld,%lld,%lld", &x, &y, &width, &height) != 4) {
        return fail("--area X,Y,W,H is required");
    }
    screen.area = {x, y, width, height};
    screen.frameRate = std::atof(argument(arguments, "fps", "30").c_str());
    screen.showsCursor = !arguments.count("no-cursor");
    const double seconds = std::atof(argument(arguments, "seconds", "5").c_str());
    const bool microphone = arguments.count("microphone") > 0;
    const std::string pulseServer = argument(arguments, "pulse-server");
    if (arguments.count("file-size-limit")) {
        // A full disk, as the writer sees it: writes fail with EFBIG
        // instead of the signal ending the process.
        std::signal(SIGXFSZ, SIG_IGN);
        const rlim_t limit = std::strtoull(argument(arguments, "file-size-limit").c_str(), nullptr, 10);
        const rlimit fileSize{limit, limit};
        setrlimit(RLIMIT_FSIZE, &fileSize);
    }

    const bool screencast = arguments.count("screencast") > 0;
    RegionStreamRecordingSource* streamSource = nullptr;
    // The screen source: X11 grabs through the media module, or the portal's stream.
    const auto makeScreenSource = [&]() -> Expected<std::unique_ptr<ScreenRecordingSource>, RecordingError> {
        if (!screencast) return engine.makeScreenSource(screen);
        portal::CastRegionRequest request;
        request.area = screen.area;
        request.framesPerSecond = screen.frameRate;
        request.showsCursor = screen.showsCursor;
        auto stream = portal::openCastRegionStream(nullptr, request);
        if (!stream) return unexpected(recordingErrorOf(stream.error()));
        auto source = std::make_unique<RegionStreamRecordingSource>(std::move(stream.value()), screen.frameRate);
        streamSource = source.get();
        return std::unique_ptr<ScreenRecordingSource>(std::move(source));
    };
    TimedScreenSource* timed = nullptr;
    std::unique_ptr<RecordingCaptureCoordinator> coordinatorOwner;
    RecordingConfiguration configuration;
    configuration.frameRate = screen.frameRate;
    configuration.recordingDirectoryProvider = [&] { return out.parent_path().empty() ? "." : out.parent_path(); };
    configuration.fileNameProvider = [&](auto) { return out.filename().string(); };
    RecordingSession::Ports ports;
    ports.makeCoordinator = [&](const std::filesystem::path& file, bool withMicrophone)
        -> Expected<std::unique_ptr<RecordingCaptureCoordinator>, RecordingError> {
        const VideoSize size = recordingVideoSize(static_cast<double>(width), static_cast<double>(height), 1.0);
        auto writer = RecordingFileWriter::create(file, size, screen.frameRate, withMicrophone,
                                                  movieEncoderFactory(engine));
        if (!writer) return unexpected(writer.error());
        auto screenSource = makeScreenSource();
        if (!screenSource) return unexpected(screenSource.error());
        auto source = std::make_unique<TimedScreenSource>(std::move(screenSource.value()));
        timed = source.get();
        auto coordinator = std::make_unique<RecordingCaptureCoordinator>(
            std::move(source), withMicrophone ? engine.makeMicrophone(pulseServer) : nullptr,
            std::move(writer.value()));
        coordinator->setPosterFromFile([&engine](const std::filesystem::path& movie) { return engine.posterFrame(movie); });
        return coordinator;
    };
    RecordingSession session(configuration, microphone, ports);
    std::mutex lock;
    std::condition_variable wake;
    bool pipelineFailed = false;
    session.setOnPipelineError([&](const RecordingError&) {
        {
            std::lock_guard guard(lock);
            pipelineFailed = true;
        }
        wake.notify_all();
    });

    const auto started = Clock::now();
    if (auto error = session.start()) return fail(error->description());
    std::printf("%s\n", json{{"recording", true}}.dump().c_str());
    std::fflush(stdout);
    {
        std::unique_lock guard(lock);
        wake.wait_until(guard, started + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds)),
                        [&] { return pipelineFailed; });
    }
    const auto stopAt = Clock::now();
    RecordingSessionOutcome ended = session.finish(false);
    const double stopMs = millisecondsSince(stopAt);
    json report;
    report["file"] = out.string();
    report["stopToFinishedMs"] = stopMs;
    if (timed) {
        if (auto first = timed->firstFrameAt()) {
            report["startToFirstFrameMs"] = std::chrono::duration<double, std::milli>(*first - started).count();
        }
        report["framesDelivered"] = timed->frames();
    }
    if (streamSource) {
        const StreamRecordingCounts counts = streamSource->counts();
        report["streamRepeated"] = counts.repeated;
        report["streamMissed"] = counts.missed;
        report["skippedTicks"] = counts.skipped;
    }
    if (ended.result) {
        report["duration"] = ended.result->duration;
        report["hadMicrophoneTrack"] = ended.result->hadMicrophoneTrack;
        report["posterWidth"] = ended.result->posterFrame ? ended.result->posterFrame->width() : 0;
    }
    if (ended.error) report["error"] = ended.error->description();
    std::printf("%s\n", report.dump().c_str());
    return ended.error ? 1 : 0;
}

int probe(const Arguments& arguments, MediaEngine& engine) {
    auto source = engine.openVideo(argument(arguments, "in"));
    if (!source) return fail(source.error().description());
    std::printf("%s\n", json{{"width", source->sourceSize.width},
                             {"height", source->sourceSize.height},
                             {"duration", source->duration},
                             {"frameRate", source->nominalFrameRate},
                             {"hasAudio", source->hasAudio},
                             {"posterWidth", source->posterFrame.width()}}
                            .dump()
                            .c_str());
    return 0;
}

template <class Enum, size_t N>
std::optional<Enum> named(const std::array<Enum, N>& cases, const std::string& name) {
    for (Enum value : cases) {
        if (rawName(value) == name) return value;
    }
    return std::nullopt;
}

int exportMovie(const Arguments& arguments, MediaEngine& engine) {
    auto source = engine.openVideo(argument(arguments, "in"));
    if (!source) return fail(source.error().description());
    VideoEditState state = VideoEditState::initial(*source);
    auto preset = named(kVideoDimensionPresets, argument(arguments, "preset", "original"));
    auto audio = named(kVideoAudioModes, argument(arguments, "audio", "preserve"));
    if (!preset || !audio) return fail("unknown --preset or --audio");
    state.dimensionPreset = *preset;
    state.audioMode = *audio;
    state.quality = std::atof(argument(arguments, "quality", "0.62").c_str());
    state.volumeMultiplier = std::atof(argument(arguments, "volume", "1").c_str());
    if (arguments.count("trim")) {
        double start = 0, duration = 0;
        if (std::sscanf(argument(arguments, "trim").c_str(), "%lf,%lf", &start, &duration) != 2) {
            return fail("--trim START,DURATION");
        }
        state.selectedTimeRange = {start, duration};
    }
    const double cancelAt = std::atof(argument(arguments, "cancel-at", "2").c_str());
    std::atomic<bool> cancel{false};
    const auto started = Clock::now();
    auto result = engine.exportVideo(*source, state, cancel, [&](double progress) {
        if (progress >= cancelAt) cancel = true;
    });
    const double elapsedMs = millisecondsSince(started);
    if (!result) return fail(result.error().description());
    json report{{"file", result->exportedURL.string()},
                {"duration", result->duration},
                {"hadAudioTrack", result->hadAudioTrack},
                {"bytes", std::filesystem::file_size(result->exportedURL)},
                {"estimatedBytes", state.estimatedFileSizeBytes(*source)},
                {"exportMs", elapsedMs}};
    std::printf("%s\n", report.dump().c_str());
    return 0;
}

double percentile(std::vector<double> values, double fraction) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const size_t index = std::min(values.size() - 1, static_cast<size_t>(fraction * static_cast<double>(values.size())));
    return values[index];
}

json latencyFigures(const std::vector<double>& milliseconds) {
    return {{"p50Ms", percentile(milliseconds, 0.5)},
            {"p95Ms", percentile(milliseconds, 0.95)},
            {"maxMs", percentile(milliseconds, 1.0)}};
}

// A digest of a frame's pixels (FNV-1a), to compare frames.
uint64_t digest(const Image& image) {
    uint64_t hash = 1469598103934665603ull;
    for (uint32_t row = 0; row < image.height(); ++row) {
        const uint8_t* pixel = image.data() + row * image.stride();
        for (size_t i = 0; i < size_t(image.width()) * 4; ++i) hash = (hash ^ pixel[i]) * 1099511628211ull;
    }
    return hash;
}

int checkFrameOrder(const std::filesystem::path& movie, double duration, MediaEngine& engine) {
    std::vector<double> times;
    for (double at = 0; at < duration; at += 0.25) times.push_back(at);
    std::vector<size_t> forwards(times.size()), backwards, jumps;
    for (size_t i = 0; i < times.size(); ++i) forwards[i] = i;
    backwards.assign(forwards.rbegin(), forwards.rend());
    for (size_t i = 0; i < times.size(); ++i) jumps.push_back((i * 7) % times.size());
    std::vector<std::optional<uint64_t>> seen(times.size());
    bool consistent = true;
    for (const auto& order : {forwards, backwards, jumps}) {
        auto reader = engine.openFrameReader(movie);
        if (!reader) return fail(reader.error().description());
        for (size_t index : order) {
            auto frame = (*reader)->frameAt(times[index], 320, 180);
            if (!frame) return fail("no frame at " + std::to_string(times[index]));
            const uint64_t hash = digest(*frame);
            if (seen[index] && *seen[index] != hash) consistent = false;
            seen[index] = hash;
        }
    }
    std::set<uint64_t> distinct;
    for (const auto& hash : seen) distinct.insert(hash.value_or(0));
    std::printf("%s\n", json{{"times", times.size()}, {"consistent", consistent}, {"distinctFrames", distinct.size()}}
                            .dump()
                            .c_str());
    return consistent ? 0 : 1;
}

int frames(const Arguments& arguments, MediaEngine& engine) {
    const std::filesystem::path movie = argument(arguments, "in");
    const int64_t width = std::atoll(argument(arguments, "width", "960").c_str());
    const int64_t height = std::atoll(argument(arguments, "height", "540").c_str());
    const int scrubs = std::max(1, std::atoi(argument(arguments, "scrubs", "40").c_str()));
    // As the editor opens: what the movie is, a reader, the first frame.
    const auto opened = Clock::now();
    auto source = engine.openVideo(movie);
    if (!source) return fail(source.error().description());
    auto reader = engine.openFrameReader(movie);
    if (!reader) return fail(reader.error().description());
    if (!(*reader)->frameAt(0, width, height)) return fail("no first frame");
    const double firstFrameMs = millisecondsSince(opened);
    if (arguments.count("check-order")) return checkFrameOrder(movie, source->duration, engine);

    // Scattered jumps, as a drag across the strip makes them: a fixed
    // pseudo-random walk so every run asks for the same times.
    std::vector<double> scrub;
    uint32_t seed = 12345;
    for (int i = 0; i < scrubs; ++i) {
        seed = seed * 1664525u + 1013904223u;
        const double at = source->duration * static_cast<double>(seed >> 8) / static_cast<double>(1u << 24);
        const auto started = Clock::now();
        if (!(*reader)->frameAt(at, width, height)) return fail("no frame at " + std::to_string(at));
        scrub.push_back(millisecondsSince(started));
    }
    std::vector<double> steps;
    const double frame = source->nominalFrameRate > 0 ? 1.0 / source->nominalFrameRate : 1.0 / 30;
    (*reader)->frameAt(0, width, height);
    for (int i = 1; i <= scrubs; ++i) {
        const auto started = Clock::now();
        (*reader)->frameAt(i * frame, width, height);
        steps.push_back(millisecondsSince(started));
    }
    json report{{"width", source->sourceSize.width},
                {"height", source->sourceSize.height},
                {"firstFrameMs", firstFrameMs},
                {"scrub", latencyFigures(scrub)},
                {"step", latencyFigures(steps)}};
    std::printf("%s\n", report.dump().c_str());
    return 0;
}

}  // namespace
}  // namespace tessarin

int main(int argc, char** argv) {
    if (argc < 2) return tessarin::fail("usage: tessarin-recording-tool record|export|probe|frames [flags]");
    const std::string command = argv[1];
    const auto arguments = tessarin::parse(argc, argv);
    auto engine = tessarin::loadMediaEngine(tessarin::argument(arguments, "module"));
    if (!engine) return tessarin::fail(engine.error());
    if (command == "record") return tessarin::record(arguments, **engine);
    if (command == "export") return tessarin::exportMovie(arguments, **engine);
    if (command == "probe") return tessarin::probe(arguments, **engine);
    if (command == "frames") return tessarin::frames(arguments, **engine);
    return tessarin::fail("unknown command " + command);
}
