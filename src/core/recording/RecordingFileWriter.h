#pragma once
// The recording's movie file: claims the destination, and encodes the
// sources' frames and samples on its own thread. The sources only hand
// buffers over: at most kMaxQueuedVideoFrames frames wait at a time and a
// frame beyond them is dropped (a busy writer drops video), while audio
// always waits its turn (a gap in sound is worse than a repeated frame).
//
// The destination is claimed by an exclusive create, so an existing file is
// never overwritten, and it is removed again when the writer is cancelled
// or no frame ever arrived. A write error is reported once to the error
// handler and stops further writes; what was written stays in the file.

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <variant>

#include "core/common/Expected.h"
#include "core/common/PosixFiles.h"
#include "core/recording/RecordingMedia.h"
#include "core/recording/RecordingTimeline.h"

namespace tessarin {

struct RecordingFileWriteSummary {
    double duration = 0;  // seconds from the first to the last written frame
    bool hadAudioTrack = false;
};

struct RecordingWriteCounts {
    int64_t framesWritten = 0;
    int64_t framesDropped = 0;  // the queue was full or the time went backwards
    int64_t audioSamplesWritten = 0;
};

class RecordingFileWriter {
public:
    // Claims `file`, checks the size and opens the encoder: destinationExists
    // when the file exists, destinationUnavailable when its folder does not,
    // videoInputRefused for a size H.264 cannot take.
    static Expected<std::unique_ptr<RecordingFileWriter>, RecordingError> create(
        const std::filesystem::path& file, VideoSize videoSize, double frameRate, bool includesMicrophone,
        const MovieEncoderFactory& makeEncoder);
    ~RecordingFileWriter();
    RecordingFileWriter(const RecordingFileWriter&) = delete;
    RecordingFileWriter& operator=(const RecordingFileWriter&) = delete;

    const std::filesystem::path& file() const { return file_; }
    const MovieSettings& settings() const { return settings_; }
    // Set before the first append; called on the writer's thread, once.
    void setErrorHandler(RecordingErrorHandler handler);

    // Any thread. Ignored once finishing or cancelled.
    void appendVideo(std::shared_ptr<const VideoFrame> frame);
    void appendAudio(AudioChunk chunk);

    // Writes what is queued and closes the movie. noFrames (and the file
    // removed) when no frame arrived; cancelled after cancel().
    Expected<RecordingFileWriteSummary, RecordingError> finish();
    // Drops what is queued, closes and removes the file.
    void cancel();

    RecordingWriteCounts counts() const;

private:
    using Job = std::variant<std::shared_ptr<const VideoFrame>, AudioChunk>;

    RecordingFileWriter(std::filesystem::path file, UniqueFd fd, MovieSettings settings,
                        std::unique_ptr<MovieEncoder> encoder);
    void run();
    void write(const std::shared_ptr<const VideoFrame>& frame);
    void write(const AudioChunk& chunk);
    void fail(RecordingError error);
    void stopThread();
    void removeFile() noexcept;

    std::filesystem::path file_;
    UniqueFd fd_;
    MovieSettings settings_;
    std::unique_ptr<MovieEncoder> encoder_;

    // Touched by the writer's thread only (and after it ended).
    RecordingTimeline timeline_;
    VideoFrame padded_;
    bool broken_ = false;
    bool hadAudio_ = false;

    mutable std::mutex lock_;
    std::condition_variable wake_;
    std::deque<Job> jobs_;
    size_t queuedFrames_ = 0;
    bool closing_ = false;
    bool cancelled_ = false;
    bool done_ = false;
    RecordingErrorHandler errorHandler_;
    RecordingWriteCounts counts_;
    std::thread thread_;
};

}  // namespace tessarin
