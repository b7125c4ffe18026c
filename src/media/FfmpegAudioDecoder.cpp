#include "media/FfmpegAudioDecoder.h"

#include <algorithm>
#include <cmath>

namespace tessarin::media {

Expected<std::unique_ptr<FfmpegAudioDecoder>, RecordingError> FfmpegAudioDecoder::open(
    const std::filesystem::path& movie) {
    auto input = openInput(movie, true);
    if (!input) return unexpected(input.error());
    if (input->audio.stream < 0) return unexpected(RecordingError::recordingFailed("This recording has no sound."));
    std::unique_ptr<FfmpegAudioDecoder> decoder(new FfmpegAudioDecoder(std::move(*input)));
    if (!decoder->isReady()) return unexpected(RecordingError::recordingFailed("cannot convert the recording's sound"));
    return decoder;
}

FfmpegAudioDecoder::FfmpegAudioDecoder(Input input)
    : input_(std::move(input)), packet_(av_packet_alloc()), frame_(av_frame_alloc()) {
    stream_ = input_.format->streams[input_.audio.stream];
    AVCodecContext* codec = input_.audio.codec.get();
    rate_ = codec->sample_rate;
    channels_ = std::clamp(codec->ch_layout.nb_channels, 1, 2);
    startSeconds_ = stream_->start_time != AV_NOPTS_VALUE ? seconds(stream_->start_time, stream_->time_base) : 0;
    if (rate_ <= 0) return;
    AVChannelLayout layout{};
    av_channel_layout_default(&layout, channels_);
    SwrContext* raw = nullptr;
    if (swr_alloc_set_opts2(&raw, &layout, AV_SAMPLE_FMT_FLT, rate_, &codec->ch_layout, codec->sample_fmt, rate_, 0,
                            nullptr) >= 0 &&
        swr_init(raw) >= 0) {
        resampler_.reset(raw);
    } else {
        swr_free(&raw);
    }
    av_channel_layout_uninit(&layout);
}

void FfmpegAudioDecoder::seek(double at) {
    target_ = std::max(0.0, std::isfinite(at) ? at : 0.0);
    const auto pts = static_cast<int64_t>((target_ + startSeconds_) / av_q2d(stream_->time_base));
    av_seek_frame(input_.format.get(), input_.audio.stream, pts, AVSEEK_FLAG_BACKWARD);
    avcodec_flush_buffers(input_.audio.codec.get());
    seeking_ = true;
    ended_ = false;
}

size_t FfmpegAudioDecoder::read(std::vector<float>& out) {
    size_t appended = 0;
    auto take = [&](AVFrame* decoded) {
        appended += convert(decoded, out);
        return true;
    };
    while (appended == 0 && !ended_) {
        if (av_read_frame(input_.format.get(), packet_.get()) < 0) {
            ended_ = true;
            decodePacket(input_.audio, nullptr, frame_.get(), take);
            break;
        }
        if (packet_->stream_index == input_.audio.stream) decodePacket(input_.audio, packet_.get(), frame_.get(), take);
        av_packet_unref(packet_.get());
    }
    return appended;
}

size_t FfmpegAudioDecoder::convert(const AVFrame* frame, std::vector<float>& out) {
    if (frame->nb_samples <= 0) return 0;
    if (seeking_) {
        // The key point before the target: the frames up to it are dropped.
        const int64_t stamp = frame->best_effort_timestamp != AV_NOPTS_VALUE ? frame->best_effort_timestamp : frame->pts;
        const double at = stamp != AV_NOPTS_VALUE ? seconds(stamp, stream_->time_base) - startSeconds_ : target_;
        skipFrames_ = std::max<int64_t>(0, std::llround((target_ - at) * rate_));
        seeking_ = false;
    }
    const size_t before = out.size();
    const int capacity = swr_get_out_samples(resampler_.get(), frame->nb_samples);
    if (capacity <= 0) return 0;
    out.resize(before + static_cast<size_t>(capacity) * static_cast<size_t>(channels_));
    auto* target = reinterpret_cast<uint8_t*>(out.data() + before);
    const int converted = swr_convert(resampler_.get(), &target, capacity,
                                      const_cast<const uint8_t**>(frame->extended_data), frame->nb_samples);
    int64_t frames = std::max(0, converted);
    const int64_t dropped = std::min(frames, skipFrames_);
    skipFrames_ -= dropped;
    frames -= dropped;
    if (dropped > 0 && frames > 0) {
        std::copy(out.begin() + static_cast<ptrdiff_t>(before + static_cast<size_t>(dropped * channels_)),
                  out.begin() + static_cast<ptrdiff_t>(before + static_cast<size_t>((dropped + frames) * channels_)),
                  out.begin() + static_cast<ptrdiff_t>(before));
    }
    out.resize(before + static_cast<size_t>(frames * channels_));
    return static_cast<size_t>(frames);
}

}  // namespace tessarin::media
