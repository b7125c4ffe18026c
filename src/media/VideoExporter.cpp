#include "media/VideoExporter.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <system_error>

#include "core/common/PosixFiles.h"
#include "media/FfmpegDecoding.h"

namespace tessarin::media {

namespace fs = std::filesystem;

namespace {

std::optional<Image> firstFrameOf(Input& input) {
    PacketPtr packet(av_packet_alloc());
    FramePtr frame(av_frame_alloc());
    std::optional<Image> image;
    auto take = [&](AVFrame* decoded) {
        image = rgbaImage(decoded);
        return false;
    };
    while (!image && av_read_frame(input.format.get(), packet.get()) >= 0) {
        if (packet->stream_index == input.video.stream) decodePacket(input.video, packet.get(), frame.get(), take);
        av_packet_unref(packet.get());
    }
    if (!image) decodePacket(input.video, nullptr, frame.get(), take);
    return image;
}

bool isMp4(const fs::path& file) {
    std::string extension = file.extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(), [](unsigned char c) { return std::tolower(c); });
    return extension == ".mp4" || extension == ".m4v";
}

// makeEditedURL's name, claimed by an exclusive create (a name taken
// between the look and the create moves on to the next).
Expected<fs::path, RecordingError> claimEditedFile(const fs::path& source) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        const fs::path candidate = makeEditedURL(source);
        UniqueFd fd(openRetrying(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0644));
        if (fd.get() >= 0) return candidate;
        if (errno != EEXIST) return unexpected(RecordingError::recordingFailed(errnoText(errno)));
    }
    return unexpected(RecordingError::destinationUnavailable());
}

class Export {
public:
    Export(const VideoEditSource& source, const VideoEditState& state, const std::atomic<bool>& cancel,
           const ExportProgress& progress)
        : source_(source), state_(state), cancel_(cancel), progress_(progress) {}
    ~Export() {
        if (fifo_) av_audio_fifo_free(fifo_);
        if (output_) {
            if (output_->pb) avio_closep(&output_->pb);
            avformat_free_context(output_);
        }
    }

    std::optional<RecordingError> run(Input& input, const fs::path& file, MediaTimeRange range);

private:
    std::optional<RecordingError> setUpVideo(const AVStream* stream);
    std::optional<RecordingError> setUpAudio(const Decoder& decoder);
    std::optional<RecordingError> encode(AVCodecContext* codec, AVStream* stream, AVFrame* frame);
    std::optional<RecordingError> takeVideo(AVFrame* frame);
    std::optional<RecordingError> takeAudio(AVFrame* frame);
    std::optional<RecordingError> drainAudio(bool all);

    const VideoEditSource& source_;
    const VideoEditState& state_;
    const std::atomic<bool>& cancel_;
    const ExportProgress& progress_;
    MediaTimeRange range_;
    AVFormatContext* output_ = nullptr;
    CodecContextPtr video_;
    CodecContextPtr audio_;
    AVStream* videoOut_ = nullptr;
    AVStream* audioOut_ = nullptr;
    AVRational inputVideoBase_{1, 1};
    AVRational inputAudioBase_{1, 1};
    SwsPtr scaler_;
    SwrPtr resampler_;
    FramePtr scaled_;
    FramePtr audioFrame_;
    PacketPtr packet_{av_packet_alloc()};
    AVAudioFifo* fifo_ = nullptr;
    int64_t audioSamplesOut_ = 0;
    int64_t lastVideoPts_ = -1;
    bool videoDone_ = false;
    bool audioDone_ = false;
};

std::optional<RecordingError> Export::setUpVideo(const AVStream* stream) {
    const AVCodec* codec = avcodec_find_encoder_by_name("libx264");
    if (!codec) return recording_failure::exportSessionRefused();
    const VideoSize size = state_.resolvedOutputSize(source_.sourceSize);
    double rate = source_.nominalFrameRate > 0 ? source_.nominalFrameRate : streamFrameRate(stream);
    if (!(rate > 0)) rate = kDefaultRecordingFrameRate;
    video_.reset(avcodec_alloc_context3(codec));
    video_->width = static_cast<int>(size.width);
    video_->height = static_cast<int>(size.height);
    video_->pix_fmt = AV_PIX_FMT_YUV420P;
    video_->time_base = stream->time_base;
    video_->framerate = av_d2q(rate, 100000);
    video_->gop_size = static_cast<int>(std::lround(2 * rate));
    // A constant bit rate at the estimate's video rate: the size the editor
    // promised is the size the user gets, whatever the content.
    video_->bit_rate = static_cast<int64_t>(state_.estimatedVideoBitRate(source_));
    video_->rc_max_rate = video_->bit_rate;
    video_->rc_min_rate = video_->bit_rate;
    video_->rc_buffer_size = static_cast<int>(std::min<int64_t>(video_->bit_rate, INT32_MAX));
    av_opt_set(video_->priv_data, "x264-params", "nal-hrd=cbr:force-cfr=1", 0);
    video_->thread_count = 2;
    if (output_->oformat->flags & AVFMT_GLOBALHEADER) video_->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    switch (state_.qualityTier()) {
        case ExportQualityTier::low: av_opt_set(video_->priv_data, "preset", "superfast", 0); break;
        case ExportQualityTier::medium: av_opt_set(video_->priv_data, "preset", "veryfast", 0); break;
        case ExportQualityTier::highest: av_opt_set(video_->priv_data, "preset", "faster", 0); break;
    }
    if (avcodec_open2(video_.get(), codec, nullptr) < 0) return recording_failure::compositionTrackRefused();
    videoOut_ = avformat_new_stream(output_, nullptr);
    if (!videoOut_) return recording_failure::compositionTrackRefused();
    videoOut_->time_base = video_->time_base;
    avcodec_parameters_from_context(videoOut_->codecpar, video_.get());
    scaled_.reset(av_frame_alloc());
    scaled_->format = AV_PIX_FMT_YUV420P;
    scaled_->width = video_->width;
    scaled_->height = video_->height;
    if (av_frame_get_buffer(scaled_.get(), 0) < 0) return RecordingError::recordingFailed("out of memory");
    inputVideoBase_ = stream->time_base;
    return std::nullopt;
}

std::optional<RecordingError> Export::setUpAudio(const Decoder& decoder) {
    const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_AAC);
    if (!codec) return recording_failure::exportSessionRefused();
    const AVCodecContext* in = decoder.codec.get();
    audio_.reset(avcodec_alloc_context3(codec));
    audio_->sample_fmt = AV_SAMPLE_FMT_FLTP;
    audio_->sample_rate = in->sample_rate;
    audio_->bit_rate = 96000;
    if (state_.audioMode == VideoAudioMode::mono) {
        av_channel_layout_default(&audio_->ch_layout, 1);
    } else {
        av_channel_layout_copy(&audio_->ch_layout, &in->ch_layout);
    }
    audio_->time_base = {1, in->sample_rate};
    if (output_->oformat->flags & AVFMT_GLOBALHEADER) audio_->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    if (avcodec_open2(audio_.get(), codec, nullptr) < 0) return recording_failure::exportSessionRefused();
    audioOut_ = avformat_new_stream(output_, nullptr);
    if (!audioOut_) return recording_failure::exportSessionRefused();
    audioOut_->time_base = audio_->time_base;
    avcodec_parameters_from_context(audioOut_->codecpar, audio_.get());
    SwrContext* resampler = nullptr;
    if (swr_alloc_set_opts2(&resampler, &audio_->ch_layout, AV_SAMPLE_FMT_FLTP, audio_->sample_rate,
                            const_cast<AVChannelLayout*>(&in->ch_layout),
                            in->sample_fmt, in->sample_rate, 0, nullptr) < 0 ||
        swr_init(resampler) < 0) {
        swr_free(&resampler);
        return recording_failure::exportSessionRefused();
    }
    resampler_.reset(resampler);
    fifo_ = av_audio_fifo_alloc(AV_SAMPLE_FMT_FLTP, audio_->ch_layout.nb_channels, 4096);
    audioFrame_.reset(av_frame_alloc());
    if (!fifo_ || !audioFrame_) return RecordingError::recordingFailed("out of memory");
    inputAudioBase_ = decoder.codec->pkt_timebase;
    return std::nullopt;
}

std::optional<RecordingError> Export::encode(AVCodecContext* codec, AVStream* stream, AVFrame* frame) {
    int result = avcodec_send_frame(codec, frame);
    if (result < 0 && result != AVERROR_EOF) return ffmpegFailure("the encoder refused a frame", result);
    for (;;) {
        result = avcodec_receive_packet(codec, packet_.get());
        if (result == AVERROR(EAGAIN) || result == AVERROR_EOF) return std::nullopt;
        if (result < 0) return ffmpegFailure("the encoder failed", result);
        av_packet_rescale_ts(packet_.get(), codec->time_base, stream->time_base);
        packet_->stream_index = stream->index;
        result = av_interleaved_write_frame(output_, packet_.get());
        if (result < 0) return ffmpegFailure("cannot write the exported movie", result);
    }
}

std::optional<RecordingError> Export::takeVideo(AVFrame* frame) {
    const int64_t stamp = frame->best_effort_timestamp != AV_NOPTS_VALUE ? frame->best_effort_timestamp : frame->pts;
    const double at = seconds(stamp, inputVideoBase_);
    if (at >= range_.end() - 1e-6) {
        videoDone_ = true;
        return std::nullopt;
    }
    if (at < range_.start - 1e-6) return std::nullopt;
    if (!scaler_) {
        scaler_.reset(sws_getContext(frame->width, frame->height, static_cast<AVPixelFormat>(frame->format),
                                     video_->width, video_->height, AV_PIX_FMT_YUV420P, SWS_BILINEAR, nullptr, nullptr,
                                     nullptr));
        if (!scaler_) return RecordingError::recordingFailed("cannot scale the video");
    }
    if (av_frame_make_writable(scaled_.get()) < 0) return RecordingError::recordingFailed("out of memory");
    sws_scale(scaler_.get(), frame->data, frame->linesize, 0, frame->height, scaled_->data, scaled_->linesize);
    int64_t pts = std::llround((at - range_.start) / av_q2d(video_->time_base));
    if (pts <= lastVideoPts_) pts = lastVideoPts_ + 1;
    lastVideoPts_ = pts;
    scaled_->pts = pts;
    if (progress_ && range_.duration > 0) progress_(std::clamp((at - range_.start) / range_.duration, 0.0, 1.0));
    return encode(video_.get(), videoOut_, scaled_.get());
}

std::optional<RecordingError> Export::takeAudio(AVFrame* frame) {
    if (audioDone_) return std::nullopt;
    const int64_t stamp = frame->best_effort_timestamp != AV_NOPTS_VALUE ? frame->best_effort_timestamp : frame->pts;
    const double at = seconds(stamp, inputAudioBase_);
    const double rate = frame->sample_rate;
    int first = std::clamp(static_cast<int>(std::lround((range_.start - at) * rate)), 0, frame->nb_samples);
    int last = std::clamp(static_cast<int>(std::lround((range_.end() - at) * rate)), 0, frame->nb_samples);
    if (at >= range_.end()) audioDone_ = true;
    if (last <= first) return std::nullopt;
    const int count = last - first;
    const int channels = frame->ch_layout.nb_channels;
    const bool planar = av_sample_fmt_is_planar(static_cast<AVSampleFormat>(frame->format));
    const int bytesPerSample = av_get_bytes_per_sample(static_cast<AVSampleFormat>(frame->format));
    const uint8_t* in[AV_NUM_DATA_POINTERS] = {};
    for (int c = 0; c < (planar ? channels : 1); ++c) {
        in[c] = frame->extended_data[c] + static_cast<size_t>(first) * bytesPerSample * (planar ? 1 : channels);
    }
    FramePtr converted(av_frame_alloc());
    converted->format = AV_SAMPLE_FMT_FLTP;
    converted->nb_samples = count + 32;
    av_channel_layout_copy(&converted->ch_layout, &audio_->ch_layout);
    if (av_frame_get_buffer(converted.get(), 0) < 0) return RecordingError::recordingFailed("out of memory");
    const int made = swr_convert(resampler_.get(), converted->extended_data, converted->nb_samples, in, count);
    if (made < 0) return RecordingError::recordingFailed("cannot convert the audio");
    const auto volume = static_cast<float>(state_.exportVolume());
    if (volume != 1.0f) {
        for (int c = 0; c < converted->ch_layout.nb_channels; ++c) {
            auto* samples = reinterpret_cast<float*>(converted->extended_data[c]);
            for (int i = 0; i < made; ++i) samples[i] = std::clamp(samples[i] * volume, -1.0f, 1.0f);
        }
    }
    if (av_audio_fifo_write(fifo_, reinterpret_cast<void**>(converted->extended_data), made) < made) {
        return RecordingError::recordingFailed("out of memory");
    }
    return drainAudio(false);
}

std::optional<RecordingError> Export::drainAudio(bool all) {
    const int frameSize = audio_->frame_size;
    while (av_audio_fifo_size(fifo_) >= frameSize || (all && av_audio_fifo_size(fifo_) > 0)) {
        const int count = std::min(frameSize, av_audio_fifo_size(fifo_));
        av_frame_unref(audioFrame_.get());
        audioFrame_->format = AV_SAMPLE_FMT_FLTP;
        audioFrame_->nb_samples = count;
        audioFrame_->sample_rate = audio_->sample_rate;
        av_channel_layout_copy(&audioFrame_->ch_layout, &audio_->ch_layout);
        if (av_frame_get_buffer(audioFrame_.get(), 0) < 0) return RecordingError::recordingFailed("out of memory");
        av_audio_fifo_read(fifo_, reinterpret_cast<void**>(audioFrame_->extended_data), count);
        audioFrame_->pts = audioSamplesOut_;
        audioSamplesOut_ += count;
        if (auto error = encode(audio_.get(), audioOut_, audioFrame_.get())) return error;
    }
    return std::nullopt;
}

std::optional<RecordingError> Export::run(Input& input, const fs::path& file, MediaTimeRange range) {
    range_ = range;
    if (avformat_alloc_output_context2(&output_, nullptr, isMp4(file) ? "mp4" : "mov", nullptr) < 0 || !output_) {
        return recording_failure::exportSessionRefused();
    }
    if (auto error = setUpVideo(input.format->streams[input.video.stream])) return error;
    const bool withAudio = input.audio.codec && state_.audioMode != VideoAudioMode::mute;
    if (withAudio) {
        if (auto error = setUpAudio(input.audio)) return error;
    }
    const int opened = avio_open(&output_->pb, file.c_str(), AVIO_FLAG_WRITE);
    if (opened < 0) return ffmpegFailure("cannot write " + file.filename().string(), opened);
    if (const int result = avformat_write_header(output_, nullptr); result < 0) {
        return ffmpegFailure("cannot start the exported movie", result);
    }
    if (range.start > 0) {
        av_seek_frame(input.format.get(), -1, static_cast<int64_t>(range.start * AV_TIME_BASE), AVSEEK_FLAG_BACKWARD);
    }
    audioDone_ = !withAudio;
    PacketPtr packet(av_packet_alloc());
    FramePtr frame(av_frame_alloc());
    std::optional<RecordingError> failure;
    auto onVideo = [&](AVFrame* decoded) {
        failure = takeVideo(decoded);
        return !failure && !videoDone_;
    };
    auto onAudio = [&](AVFrame* decoded) {
        failure = takeAudio(decoded);
        return !failure;
    };
    while (!(videoDone_ && audioDone_)) {
        if (cancel_) return recording_failure::exportCancelled();
        if (av_read_frame(input.format.get(), packet.get()) < 0) break;
        if (packet->stream_index == input.video.stream && !videoDone_) {
            decodePacket(input.video, packet.get(), frame.get(), onVideo);
        } else if (withAudio && packet->stream_index == input.audio.stream && !audioDone_) {
            decodePacket(input.audio, packet.get(), frame.get(), onAudio);
        }
        av_packet_unref(packet.get());
        if (failure) return failure;
    }
    if (!videoDone_) decodePacket(input.video, nullptr, frame.get(), onVideo);
    if (!failure && withAudio && !audioDone_) decodePacket(input.audio, nullptr, frame.get(), onAudio);
    if (failure) return failure;
    if (cancel_) return recording_failure::exportCancelled();
    if (lastVideoPts_ < 0) return recording_failure::trimRangeEmpty();
    if (auto error = encode(video_.get(), videoOut_, nullptr)) return error;
    if (withAudio) {
        if (auto error = drainAudio(true)) return error;
        if (auto error = encode(audio_.get(), audioOut_, nullptr)) return error;
    }
    if (const int result = av_write_trailer(output_); result < 0) return ffmpegFailure("cannot finish the export", result);
    if (const int result = avio_closep(&output_->pb); result < 0) return ffmpegFailure("cannot finish the export", result);
    if (fifo_) av_audio_fifo_free(fifo_);
    fifo_ = nullptr;
    return std::nullopt;
}

}  // namespace

Expected<VideoEditSource, RecordingError> openVideoSource(const fs::path& movie) {
    auto input = openInput(movie, true);
    if (!input) return unexpected(input.error());
    const AVStream* stream = input->format->streams[input->video.stream];
    VideoEditSource source;
    source.originalURL = movie;
    source.sourceSize = {stream->codecpar->width, stream->codecpar->height};
    source.nominalFrameRate = streamFrameRate(stream);
    source.hasAudio = input->audio.codec != nullptr;
    source.duration = stream->duration != AV_NOPTS_VALUE ? seconds(stream->duration, stream->time_base)
                                                         : seconds(input->format->duration, AV_TIME_BASE_Q);
    if (input->format->duration != AV_NOPTS_VALUE) {
        source.duration = std::max(source.duration, seconds(input->format->duration, AV_TIME_BASE_Q));
    }
    if (auto poster = firstFrameOf(*input)) source.posterFrame = std::move(*poster);
    return source;
}

std::optional<Image> firstVideoFrame(const fs::path& movie) {
    auto input = openInput(movie, false);
    if (!input) return std::nullopt;
    return firstFrameOf(*input);
}

Expected<VideoEditResult, RecordingError> exportVideo(const VideoEditSource& source, const VideoEditState& state,
                                                      const std::atomic<bool>& cancel, const ExportProgress& progress) {
    auto input = openInput(source.originalURL, source.hasAudio);
    if (!input) return unexpected(input.error());
    const MediaTimeRange range = state.clampedTimeRange(source.duration);
    if (range.duration <= 0) return unexpected(recording_failure::trimRangeEmpty());
    auto file = claimEditedFile(source.originalURL);
    if (!file) return unexpected(file.error());
    std::optional<RecordingError> failure;
    {
        Export run(source, state, cancel, progress);
        failure = run.run(*input, *file, range);
    }
    std::optional<Image> poster;
    if (!failure) {
        poster = firstVideoFrame(*file);
        if (!poster) failure = recording_failure::exportFailed();
    }
    if (failure) {
        std::error_code ignored;
        fs::remove(*file, ignored);
        return unexpected(*failure);
    }
    VideoEditResult result;
    result.exportedURL = *file;
    result.posterFrame = std::make_shared<const Image>(std::move(*poster));
    result.duration = range.duration;
    result.hadAudioTrack = input->audio.codec && state.audioMode != VideoAudioMode::mute;
    return result;
}

}  // namespace tessarin::media
