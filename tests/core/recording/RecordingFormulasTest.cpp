// The recorder's and the video editor's rules as tables: sizes, rates,
// texts, names and the size estimate.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <fstream>
#include <limits>
#include <set>
#include <tuple>

#include <fcntl.h>
#include <unistd.h>

#include "core/recording/MovieBoxes.h"
#include "core/recording/RecordingConfiguration.h"
#include "core/recording/RecordingCopy.h"
#include "core/recording/RecordingError.h"
#include "core/recording/VideoEditModel.h"
#include "core/recording/VideoGeometry.h"
#include "support/TempDir.h"

namespace tessarin {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInfinity = std::numeric_limits<double>::infinity();

// A box of `size` bytes in all; a 64-bit size when asked.
std::string box(const char* type, uint64_t size, bool large = false) {
    std::string bytes;
    const auto put = [&](uint64_t value, int count) {
        for (int i = count - 1; i >= 0; --i) bytes += static_cast<char>(value >> (8 * i) & 0xff);
    };
    put(large ? 1 : size, 4);
    bytes += type;
    if (large) put(size, 8);
    bytes.resize(std::max(bytes.size(), static_cast<size_t>(size)), '\x5a');
    return bytes;
}

TEST(MovieBoxes, AMovieCutByAFailedWriteKeepsItsWholeFragments) {
    const std::string head = box("ftyp", 20) + box("moov", 700);
    const std::string fragment = box("moof", 584) + box("mdat", 3000);
    const std::string whole = head + fragment + fragment;
    const struct {
        const char* what;
        std::string bytes;
        size_t kept;
    } cases[] = {
        {"whole", whole + box("mfra", 124), whole.size() + 124},
        {"cut in a moof's header", whole + box("moof", 584).substr(0, 6), whole.size()},
        {"cut in a moof", whole + box("moof", 584).substr(0, 300), whole.size()},
        {"a whole moof without its mdat", whole + box("moof", 584), whole.size()},
        {"cut in an mdat", whole + fragment.substr(0, 2000), whole.size()},
        {"cut in the trailer", whole + box("mfra", 124).substr(0, 50), whole.size()},
        {"cut before the first fragment ended", head + fragment.substr(0, 900), head.size()},
        {"a 64-bit mdat", head + box("moof", 584) + box("mdat", 3000, true), head.size() + 3584},
        {"a 64-bit mdat cut short", head + box("moof", 584) + box("mdat", 3000, true).substr(0, 12), head.size()},
        {"a box that runs to the end", head + box("moof", 584) + box("mdat", 0) + "tail", head.size() + 584 + 12},
        {"a size below its header", head + box("moof", 584) + box("mdat", 5), head.size()},
        {"empty", "", 0},
    };
    testing::TempDir dir;
    for (const auto& c : cases) {
        const auto file = dir / "movie.mov";
        std::ofstream(file, std::ios::binary | std::ios::trunc) << c.bytes;
        const int fd = ::open(file.c_str(), O_RDWR);
        ASSERT_GE(fd, 0);
        EXPECT_EQ(wholeMovieBoxesLength(fd), std::optional<uint64_t>(c.kept)) << c.what;
        EXPECT_TRUE(trimMovieToWholeBoxes(fd)) << c.what;
        ::close(fd);
        EXPECT_EQ(std::filesystem::file_size(file), c.kept) << c.what;
    }
    // A file that cannot be read is left as it is, not cut to nothing.
    const auto file = dir / "write-only.mov";
    std::ofstream(file, std::ios::binary | std::ios::trunc) << box("ftyp", 20) << box("moov", 700);
    const int fd = ::open(file.c_str(), O_WRONLY);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(wholeMovieBoxesLength(fd), std::nullopt);
    EXPECT_FALSE(trimMovieToWholeBoxes(fd));
    ::close(fd);
    EXPECT_EQ(std::filesystem::file_size(file), 720u);
}

TEST(RecordingVideoGeometry, SidesAreEvenRoundedUpAndBounded) {
    const struct {
        double points, scale;
        int64_t pixels;
    } cases[] = {
        {101, 2, 202}, {1, 2, 2},   {2.5, 1, 4},        {3, 1, 4},    {0, 1, 2},
        {-20, 1, 2},   {kNaN, 1, 2}, {kInfinity, 1, 2}, {1080, 1, 1080}, {100000, 1, kMaxVideoSide + 2},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(evenPixelLength(c.points, c.scale), c.pixels) << c.points << " x " << c.scale;
    }
}

TEST(RecordingVideoGeometry, SizesBeyondTheLargestLevelAreRefused) {
    const struct {
        VideoSize size;
        bool accepted;
    } cases[] = {
        {{2, 2}, true},        {{1920, 1080}, true}, {{8192, 4352}, true}, {{8192, 4354}, false},
        {{8194, 100}, false}, {{100, 8194}, false}, {{0, 2}, false},      {{3, 2}, false},
    };
    for (const auto& c : cases) {
        const auto refusal = checkVideoSize(c.size);
        EXPECT_EQ(!refusal, c.accepted) << c.size.width << "x" << c.size.height;
        if (refusal) { EXPECT_EQ(*refusal, recording_failure::videoInputRefused()); }
    }
}

TEST(RecordingVideoGeometry, FrameRatesAreWholeAndBounded) {
    const struct {
        double in, out;
    } cases[] = {{30, 30}, {0, 30}, {kNaN, 30}, {kInfinity, 30}, {0.2, 1}, {29.97, 30}, {1000, 120}};
    for (const auto& c : cases) EXPECT_EQ(clampedRecordingFrameRate(c.in), c.out) << c.in;
}

TEST(RecordingVideoGeometry, BitRateIsATenthOfABitPerPixelBetweenFourAndThirtyMegabits) {
    const struct {
        double rate;
        int64_t width, height, bits;
    } cases[] = {
        {30, 1920, 1080, 6'220'800}, {30, 320, 240, 4'000'000}, {60, 5120, 2880, 30'000'000}, {kNaN, 3840, 2160, 4'000'000},
    };
    for (const auto& c : cases) EXPECT_EQ(recordingVideoBitRate(c.rate, c.width, c.height), c.bits);
}

TEST(RecordingFileName, RecordingWordDateAndMov) {
    std::tm time{};
    std::tie(time.tm_year, time.tm_mon, time.tm_mday, time.tm_hour, time.tm_min, time.tm_sec) = std::tuple(125, 11, 1, 0, 5, 9);
    EXPECT_EQ(generateRecordingFilename(time), "Recording 2025-12-01 at 00.05.09.mov");
}

TEST(RecordingClock, MinutesAreNotWrappedIntoHours) {
    const struct {
        double seconds;
        const char* text;
    } cases[] = {{59.9, "00:59"}, {61, "01:01"}, {6001, "100:01"}, {-3, "00:00"}, {kNaN, "00:00"}};
    for (const auto& c : cases) EXPECT_EQ(recordingClockText(c.seconds), c.text) << c.seconds;
}

TEST(VideoEditPresets, NumberedPresetsLimitTheLongerSideAndStayEven) {
    using P = VideoDimensionPreset;
    const struct {
        P preset;
        VideoSize source, out;
    } cases[] = {
        {P::p1080, {2880, 1800}, {1080, 674}},  {P::p480, {1080, 1920}, {270, 480}}, {P::p1440, {1920, 1080}, {1440, 810}},
        {P::original, {1921, 1081}, {1920, 1080}}, {P::custom, {1366, 768}, {1366, 768}}, {P::p720, {0, 0}, {2, 2}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(resolvedSize(c.preset, c.source), c.out) << rawName(c.preset) << " " << c.source.width;
    }
}

TEST(VideoEditPresets, EvenPixelSizeRoundsDown) {
    const struct {
        double w, h;
        VideoSize out;
    } cases[] = {{101, 51, {100, 50}}, {1.2, 0, {2, 2}}, {kNaN, -1, {2, 2}}, {1e12, 99.5, {kMaxVideoSide, 100}}};
    for (const auto& c : cases) EXPECT_EQ(evenPixelSize(c.w, c.h), c.out) << c.w << "x" << c.h;
}

TEST(VideoEditCustomSize, KeepsTheAspectAndStaysWithinTheEncodersSides) {
    const VideoSize source{1920, 1080};
    const struct {
        bool width;
        double value;
        VideoSize out;
    } cases[] = {
        {true, 1280, {1280, 720}}, {false, 720, {1280, 720}}, {true, 1, {2, 2}}, {true, 101, {100, 56}},
        {false, 1e9, {8192, 4608}}, {false, kNaN, {4, 2}},
    };
    for (const auto& c : cases) {
        VideoEditState state;
        c.width ? state.updateCustomWidth(c.value, source) : state.updateCustomHeight(c.value, source);
        EXPECT_EQ(state.dimensionPreset, VideoDimensionPreset::custom);
        EXPECT_EQ(state.customSize, c.out) << c.value;
        EXPECT_EQ(state.resolvedOutputSize(source), c.out);
    }
    VideoEditState flat;
    flat.updateCustomWidth(640, {640, 1});
    EXPECT_EQ(flat.customSize, (VideoSize{640, 640})) << "a source height of 1 counts as square";
}

TEST(VideoEditQuality, LabelsAndTiers) {
    const struct {
        double quality;
        const char* label;
        ExportQualityTier tier;
    } cases[] = {{0.339, "Low", ExportQualityTier::low}, {0.34, "Medium", ExportQualityTier::medium},
                 {0.67, "High", ExportQualityTier::highest}};
    for (const auto& c : cases) {
        VideoEditState state;
        state.quality = c.quality;
        EXPECT_EQ(state.qualityLabel(), c.label) << c.quality;
        EXPECT_EQ(state.qualityTier(), c.tier);
    }
}

TEST(VideoEditEstimate, VideoAndAudioRatesOverTheTrimmedDuration) {
    VideoEditSource source;
    source.duration = 10;
    source.hasAudio = true;
    source.sourceSize = {1920, 1080};
    source.nominalFrameRate = 30;
    using A = VideoAudioMode;
    const struct {
        double quality, seconds;
        VideoDimensionPreset preset;
        A mode;
        double volume;
        bool audio;
        int64_t bytes;
    } cases[] = {
        // 1920*1080*30*0.065*(0.62*1.15+0.35) = 4,298,261.76 bit/s; + 96,000 audio.
        {0.62, 10, VideoDimensionPreset::original, A::preserve, 1, true, 5'492'827},
        {0.62, 10, VideoDimensionPreset::original, A::mute, 1, true, 5'372'827},
        {0.62, 10, VideoDimensionPreset::original, A::customVolume, 2, true, 5'612'827},
        {0.62, 10, VideoDimensionPreset::original, A::preserve, 1, false, 5'372'827},
        {0.62, -4, VideoDimensionPreset::original, A::preserve, 1, true, 0},
        // 480p: 480x270 → 252,720 x ... under the 320,000 bit/s floor at quality 0.
        {0, 8, VideoDimensionPreset::p480, A::mono, 1, true, 416'000},
    };
    for (const auto& c : cases) {
        VideoEditState state = VideoEditState::initial(source);
        state.quality = c.quality;
        state.selectedTimeRange = {0, c.seconds};
        state.dimensionPreset = c.preset;
        state.audioMode = c.mode;
        state.volumeMultiplier = c.volume;
        source.hasAudio = c.audio;
        EXPECT_EQ(state.estimatedFileSizeBytes(source), c.bytes) << rawName(c.mode) << " " << c.seconds;
    }
    EXPECT_EQ(estimatedFileSizeText(5'492'827), "Estimated file size: 5.5 MB");
    EXPECT_EQ(estimatedFileSizeText(999), "Estimated file size: 999 bytes");
}

TEST(VideoEditState, StartsWithTheWholeRecordingOnASixHundredthGrid) {
    VideoEditSource source;
    source.duration = 12.3456;
    source.sourceSize = {1280, 720};
    const VideoEditState state = VideoEditState::initial(source);
    EXPECT_EQ(state.selectedTimeRange.start, 0);
    EXPECT_DOUBLE_EQ(state.selectedTimeRange.duration, 7407.0 / 600);
}

TEST(VideoEditState, TrimRangesAreClampedToTheSource) {
    const struct {
        MediaTimeRange in;
        double duration;
        MediaTimeRange out;
    } cases[] = {{{1, 2}, 10, {1, 2}},   {{-1, 3}, 10, {0, 2}},    {{8, 5}, 10, {8, 2}},  {{12, 1}, 10, {10, 0}},
                 {{2, -1}, 10, {2, 0}}, {{kNaN, 4}, 10, {0, 0}}, {{0, 5}, kNaN, {0, 0}}};
    for (const auto& c : cases) {
        VideoEditState state;
        state.selectedTimeRange = c.in;
        EXPECT_EQ(state.clampedTimeRange(c.duration), c.out) << c.in.start << "+" << c.in.duration;
    }
}

TEST(VideoEditState, ExportVolumePerAudioMode) {
    const struct {
        VideoAudioMode mode;
        double multiplier, volume;
    } cases[] = {{VideoAudioMode::mono, 3, 1}, {VideoAudioMode::mute, 3, 0},
                 {VideoAudioMode::customVolume, 0.25, 0.25}, {VideoAudioMode::customVolume, -1, 0},
                 {VideoAudioMode::customVolume, kNaN, 1}};
    for (const auto& c : cases) {
        VideoEditState state;
        state.audioMode = c.mode;
        state.volumeMultiplier = c.multiplier;
        EXPECT_EQ(state.exportVolume(), c.volume) << rawName(c.mode);
    }
}

TEST(VideoTimeText, MinutesSecondsTenths) {
    const struct {
        double t;
        const char* text;
    } cases[] = {{1.99, "00:01.9"}, {61.25, "01:01.2"}, {-1, "00:00.0"}};
    for (const auto& c : cases) EXPECT_EQ(videoTimeText(c.t), c.text) << c.t;
    EXPECT_EQ(videoRangeText({1, 3.5}), "00:01.0 - 00:04.5");
}

TEST(EditedFileName, NumberedUntilFree) {
    std::set<std::string> taken;
    auto exists = [&](const std::filesystem::path& p) { return taken.count(p.string()) > 0; };
    EXPECT_EQ(makeEditedURL("/r/Recording.mov", exists), "/r/Recording Edited.mov");
    EXPECT_EQ(makeEditedURL("/r/noext", exists), "/r/noext Edited.mov");
    taken = {"/r/clip Edited.mp4", "/r/clip Edited 2.mp4"};
    EXPECT_EQ(makeEditedURL("/r/clip.mp4", exists), "/r/clip Edited 3.mp4");
}

TEST(RecordingSaveAsCopy, CopiesReplacesAndLeavesNothingBehind) {
    testing::TempDir dir;
    const auto source = dir / "Recording.mov";
    std::ofstream(source) << "movie";
    const auto other = dir / "Other.mov";
    std::ofstream(other) << "old";
    EXPECT_FALSE(copyRecordingSafely(source, dir / "Copy.mov"));
    EXPECT_FALSE(copyRecordingSafely(source, other));
    std::ifstream copied(other);
    std::string text;
    copied >> text;
    EXPECT_EQ(text, "movie");
    // Onto itself, also through a link: nothing is copied or truncated.
    std::filesystem::create_symlink(source, dir / "link.mov");
    EXPECT_FALSE(copyRecordingSafely(source, dir / "link.mov"));
    EXPECT_FALSE(copyRecordingSafely(source, source));
    EXPECT_EQ(std::filesystem::file_size(source), 5u);
    // A failed copy leaves no temporary file and the destination as it was.
    EXPECT_TRUE(copyRecordingSafely(dir / "missing.mov", other));
    EXPECT_TRUE(copyRecordingSafely(source, dir / "no-folder" / "New.mov"));
    copied = std::ifstream(other);
    copied >> text;
    EXPECT_EQ(text, "movie");
    int entries = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
        EXPECT_EQ(entry.path().filename().string().rfind(".", 0), std::string::npos) << entry.path();
        ++entries;
    }
    EXPECT_EQ(entries, 4);
}

}  // namespace
}  // namespace tessarin
