#include "media/FfmpegFrameReader.h"

#include <algorithm>
#include <cmath>

#include "media/FfmpegDecoding.h"

namespace tessarin::media {

namespace {

// Further ahead than this, seeking beats decoding every frame on the way
// (the recorder puts a key frame every two seconds).
constexpr double kDecodeAheadSeconds = 2.5;

class FfmpegFrameReader final : public VideoFrameReader {
public:
    explicit FfmpegFrameReader(Input input)
        : input_(std::move(input)),
          stream_(input_.format->streams[input_.video.stream]),
          packet_(av_packet_alloc()),
          frame_(av_frame_alloc()),
          held_(av_frame_alloc()) {
        const double rate = streamFrameRate(stream_);
        halfFrame_ = rate > 0 ? 0.5 / rate : 0.0;
        startSeconds_ = stream_->start_time != AV_NOPTS_VALUE ? seconds(stream_->start_time, stream_->time_base) : 0;
    }

    bool isReady() const { return packet_ && frame_ && held_; }

    std::optional<Image> frameAt(double at, int64_t maxWidth, int64_t maxHeight) override {
        if (!std::isfinite(at)) at = 0;
        const double target = std::max(0.0, at) + startSeconds_;
        if (!heldSeconds_ || target < *heldSeconds_ - halfFrame_ || target > *heldSeconds_ + kDecodeAheadSeconds) {
            seek(target);
        }
        decodeUpTo(target);
        if (!heldSeconds_) return std::nullopt;
        int width = held_->width;
        int height = held_->height;
        if (maxWidth > 0 && maxHeight > 0 && (width > maxWidth || height > maxHeight)) {
            const double scale = std::min(double(maxWidth) / width, double(maxHeight) / height);
            width = std::max(1, static_cast<int>(std::lround(width * scale)));
            height = std::max(1, static_cast<int>(std::lround(height * scale)));
        }
        return rgbaImage(held_.get(), width, height);
    }

private:
    void seek(double target) {
        const auto pts = static_cast<int64_t>(target / av_q2d(stream_->time_base));
        av_seek_frame(input_.format.get(), input_.video.stream, pts, AVSEEK_FLAG_BACKWARD);
        avcodec_flush_buffers(input_.video.codec.get());
        heldSeconds_.reset();
        ended_ = false;
    }

    // Decodes until the held frame is the one on screen at `target`.
    void decodeUpTo(double target) {
        if (heldSeconds_ && *heldSeconds_ + halfFrame_ >= target) return;
        bool reached = false;
        auto take = [&](AVFrame* decoded) {
            const int64_t stamp = decoded->best_effort_timestamp != AV_NOPTS_VALUE ? decoded->best_effort_timestamp
                                                                                   : decoded->pts;
            const double at = stamp != AV_NOPTS_VALUE ? seconds(stamp, stream_->time_base) : heldSeconds_.value_or(0);
            // A frame that starts after the target is kept only when nothing earlier came.
            if (heldSeconds_ && at - halfFrame_ > target) {
                reached = true;
                return false;
            }
            av_frame_unref(held_.get());
            av_frame_ref(held_.get(), decoded);
            heldSeconds_ = at;
            reached = at + halfFrame_ >= target;
            return !reached;
        };
        while (!reached && !ended_) {
            if (av_read_frame(input_.format.get(), packet_.get()) < 0) {
                ended_ = true;
                decodePacket(input_.video, nullptr, frame_.get(), take);
                break;
            }
            if (packet_->stream_index == input_.video.stream) decodePacket(input_.video, packet_.get(), frame_.get(), take);
            av_packet_unref(packet_.get());
        }
    }

    Input input_;
    AVStream* stream_;
    PacketPtr packet_;
    FramePtr frame_;
    FramePtr held_;
    std::optional<double> heldSeconds_;
    double halfFrame_ = 0;
    double startSeconds_ = 0;
    bool ended_ = false;
};

}  // namespace

Expected<std::unique_ptr<VideoFrameReader>, RecordingError> openFfmpegFrameReader(const std::filesystem::path& movie) {
    auto input = openInput(movie, false);
    if (!input) return unexpected(input.error());
    auto reader = std::make_unique<FfmpegFrameReader>(std::move(*input));
    if (!reader->isReady()) return unexpected(RecordingError::recordingFailed("out of memory"));
    return std::unique_ptr<VideoFrameReader>(std::move(reader));
}

}  // namespace tessarin::media
