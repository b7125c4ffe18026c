#include "core/recording/RecordingFileWriter.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

#include "core/common/Log.h"

namespace tessarin {

namespace fs = std::filesystem;

Expected<std::unique_ptr<RecordingFileWriter>, RecordingError> RecordingFileWriter::create(
    const fs::path& file, VideoSize videoSize, double frameRate, bool includesMicrophone,
    const MovieEncoderFactory& makeEncoder) {
    if (auto refused = checkVideoSize(videoSize)) return unexpected(*refused);
    UniqueFd fd(openRetrying(file.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0644));
    if (fd.get() < 0) {
        const int error = errno;
        if (error == EEXIST) return unexpected(recording_failure::destinationExists());
        if (error == ENOENT || error == ENOTDIR) return unexpected(RecordingError::destinationUnavailable());
        return unexpected(RecordingError::recordingFailed(errnoText(error)));
    }
    MovieSettings settings;
    settings.videoSize = videoSize;
    settings.frameRate = clampedRecordingFrameRate(frameRate);
    settings.videoBitRate = recordingVideoBitRate(settings.frameRate, videoSize.width, videoSize.height);
    settings.includesAudio = includesMicrophone;
    std::optional<RecordingError> error;
    std::unique_ptr<MovieEncoder> encoder = makeEncoder(fd.get(), settings, error);
    if (!encoder) {
        fd.reset();
        std::error_code ignored;
        fs::remove(file, ignored);
        return unexpected(error.value_or(recording_failure::videoInputRefused()));
    }
    return std::unique_ptr<RecordingFileWriter>(
        new RecordingFileWriter(file, std::move(fd), settings, std::move(encoder)));
}

RecordingFileWriter::RecordingFileWriter(fs::path file, UniqueFd fd, MovieSettings settings,
                                         std::unique_ptr<MovieEncoder> encoder)
    : file_(std::move(file)), fd_(std::move(fd)), settings_(settings), encoder_(std::move(encoder)) {
    thread_ = std::thread([this] { run(); });
}

RecordingFileWriter::~RecordingFileWriter() {
    bool open = false;
    {
        std::lock_guard guard(lock_);
        open = !done_;
    }
    if (open) cancel();
}

void RecordingFileWriter::setErrorHandler(RecordingErrorHandler handler) {
    std::lock_guard guard(lock_);
    errorHandler_ = std::move(handler);
}

void RecordingFileWriter::appendVideo(std::shared_ptr<const VideoFrame> frame) {
    if (!frame) return;
    {
        std::lock_guard guard(lock_);
        if (closing_) return;
        if (queuedFrames_ >= kMaxQueuedVideoFrames) {
            ++counts_.framesDropped;
            return;
        }
        ++queuedFrames_;
        jobs_.emplace_back(std::move(frame));
    }
    wake_.notify_one();
}

void RecordingFileWriter::appendAudio(AudioChunk chunk) {
    if (!settings_.includesAudio || chunk.samples.empty()) return;
    {
        std::lock_guard guard(lock_);
        if (closing_) return;
        jobs_.emplace_back(std::move(chunk));
    }
    wake_.notify_one();
}

void RecordingFileWriter::run() {
    for (;;) {
        Job job;
        {
            std::unique_lock guard(lock_);
            wake_.wait(guard, [this] { return !jobs_.empty() || closing_; });
            if (cancelled_ || jobs_.empty()) return;
            job = std::move(jobs_.front());
            jobs_.pop_front();
            if (job.index() == 0) --queuedFrames_;
        }
        std::visit([this](const auto& item) { write(item); }, job);
    }
}

void RecordingFileWriter::write(const std::shared_ptr<const VideoFrame>& frame) {
    if (broken_ || !frame->isWellFormed()) return;
    const std::optional<int64_t> pts = timeline_.placeVideo(frame->timestampNs);
    if (!pts) {
        std::lock_guard guard(lock_);
        ++counts_.framesDropped;
        return;
    }
    const VideoSize size = settings_.videoSize;
    const VideoFrame* encoded = frame.get();
    if (frame->width != size.width || frame->height != size.height) {
        padded_.width = size.width;
        padded_.height = size.height;
        padded_.bytesPerRow = static_cast<size_t>(size.width) * 4;
        padVideoFrame(*frame, size, padded_.bytes, padded_.bytesPerRow);
        padded_.timestampNs = frame->timestampNs;
        encoded = &padded_;
    }
    if (auto error = encoder_->writeVideo(*encoded, *pts)) return fail(*error);
    std::lock_guard guard(lock_);
    ++counts_.framesWritten;
}

void RecordingFileWriter::write(const AudioChunk& chunk) {
    if (broken_) return;
    const auto placement = timeline_.placeAudio(chunk.timestampNs, chunk.samples.size(), chunk.sampleRate);
    if (!placement) return;
    if (placement->silenceBefore > 0) {
        const std::vector<float> silence(static_cast<size_t>(placement->silenceBefore), 0.0f);
        if (auto error = encoder_->writeAudio(silence)) return fail(*error);
    }
    const std::span<const float> samples = std::span(chunk.samples).subspan(placement->skip);
    if (auto error = encoder_->writeAudio(samples)) return fail(*error);
    hadAudio_ = true;
    std::lock_guard guard(lock_);
    counts_.audioSamplesWritten += placement->silenceBefore + static_cast<int64_t>(samples.size());
}

void RecordingFileWriter::fail(RecordingError error) {
    broken_ = true;
    logLine(LogLevel::error, LogCategory::capture, "recording.write failed error=" + error.description());
    RecordingErrorHandler handler;
    {
        std::lock_guard guard(lock_);
        handler = std::move(errorHandler_);
        errorHandler_ = nullptr;
    }
    if (handler) handler(error);
}

void RecordingFileWriter::stopThread() {
    {
        std::lock_guard guard(lock_);
        closing_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable()) thread_.join();
}

void RecordingFileWriter::removeFile() noexcept {
    std::error_code ignored;
    fs::remove(file_, ignored);
}

Expected<RecordingFileWriteSummary, RecordingError> RecordingFileWriter::finish() {
    {
        std::lock_guard guard(lock_);
        if (cancelled_) return unexpected(recording_failure::cancelled());
        if (done_) return unexpected(recording_failure::writerReleased());
    }
    stopThread();
    {
        std::lock_guard guard(lock_);
        done_ = true;
    }
    if (!timeline_.hasStarted()) {
        encoder_->abandon();
        encoder_.reset();
        fd_.reset();
        removeFile();
        return unexpected(recording_failure::noFrames());
    }
    auto error = encoder_->finish();
    encoder_.reset();
    if (!error && ::fsync(fd_.get()) != 0 && errno != EINVAL) error = RecordingError::recordingFailed(errnoText(errno));
    fd_.reset();
    if (error) return unexpected(*error);
    const double duration = static_cast<double>(timeline_.videoDurationMicroseconds()) / 1e6;
    return RecordingFileWriteSummary{duration > 0 ? duration : 0, hadAudio_};
}

void RecordingFileWriter::cancel() {
    {
        std::lock_guard guard(lock_);
        if (done_) return;
        cancelled_ = true;
        jobs_.clear();
        queuedFrames_ = 0;
    }
    stopThread();
    {
        std::lock_guard guard(lock_);
        done_ = true;
    }
    encoder_->abandon();
    encoder_.reset();
    fd_.reset();
    removeFile();
}

RecordingWriteCounts RecordingFileWriter::counts() const {
    std::lock_guard guard(lock_);
    return counts_;
}

}  // namespace tessarin
