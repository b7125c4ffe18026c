#include "media/FfmpegMovieEncoder.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "core/common/Log.h"
#include "core/common/PosixFiles.h"
#include "core/recording/MovieBoxes.h"

namespace tessarin::media {

namespace {

constexpr int kIoBufferBytes = 64 * 1024;
constexpr AVRational kVideoTimeBase{1, 90000};

}  // namespace

int FfmpegMovieEncoder::writePacket(void* opaque, uint8_t* data, int size) {
    auto* self = static_cast<FfmpegMovieEncoder*>(opaque);
    int written = 0;
    while (written < size) {
        const ssize_t n = ::write(self->fd_, data + written, static_cast<size_t>(size - written));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            self->writeErrno_ = n < 0 ? errno : ENOSPC;
            return AVERROR(self->writeErrno_);
        }
        written += static_cast<int>(n);
    }
    return written;
}

int64_t FfmpegMovieEncoder::seek(void* opaque, int64_t offset, int whence) {
    auto* self = static_cast<FfmpegMovieEncoder*>(opaque);
    if (whence & AVSEEK_SIZE) {
        struct stat info {};
        if (::fstat(self->fd_, &info) != 0) return AVERROR(errno);
        return info.st_size;
    }
    const off_t at = ::lseek(self->fd_, static_cast<off_t>(offset), whence & ~AVSEEK_FORCE);
    return at < 0 ? AVERROR(errno) : at;
}

std::unique_ptr<FfmpegMovieEncoder> FfmpegMovieEncoder::open(int fd, const MovieSettings& settings,
                                                            std::optional<RecordingError>& error) {
    std::unique_ptr<FfmpegMovieEncoder> encoder(new FfmpegMovieEncoder());
    encoder->fd_ = fd;
    if (avformat_alloc_output_context2(&encoder->output_, nullptr, "mov", nullptr) < 0 || !encoder->output_) {
        error = recording_failure::videoInputRefused();
        return nullptr;
    }
    auto* buffer = static_cast<uint8_t*>(av_malloc(kIoBufferBytes));
    encoder->io_ = buffer ? avio_alloc_context(buffer, kIoBufferBytes, 1, encoder.get(), nullptr, &writePacket, &seek)
                          : nullptr;
    if (!encoder->io_) {
        av_free(buffer);
        error = RecordingError::recordingFailed("out of memory");
        return nullptr;
    }
    encoder->output_->pb = encoder->io_;
    encoder->output_->flags |= AVFMT_FLAG_CUSTOM_IO | AVFMT_FLAG_FLUSH_PACKETS;
    if (auto failed = encoder->setUpVideo(settings)) {
        error = failed;
        return nullptr;
    }
    if (settings.includesAudio) {
        if (auto failed = encoder->setUpAudio(settings)) {
            error = failed;
            return nullptr;
        }
    }
    AVDictionary* options = nullptr;
    av_dict_set(&options, "movflags", "frag_keyframe+empty_moov+default_base_moof", 0);
    const int written = avformat_write_header(encoder->output_, &options);
    av_dict_free(&options);
    if (written < 0) {
        error = encoder->writeErrno_ ? RecordingError::recordingFailed(errnoText(encoder->writeErrno_))
                                     : ffmpegFailure("cannot start the movie", written);
        return nullptr;
    }
    encoder->headerWritten_ = true;
    encoder->packet_.reset(av_packet_alloc());
    return encoder;
}

std::optional<RecordingError> FfmpegMovieEncoder::setUpVideo(const MovieSettings& settings) {
    const AVCodec* codec = avcodec_find_encoder_by_name("libx264");
    if (!codec) return recording_failure::videoInputRefused();
    video_.reset(avcodec_alloc_context3(codec));
    const int rate = static_cast<int>(settings.frameRate);
    video_->width = static_cast<int>(settings.videoSize.width);
    video_->height = static_cast<int>(settings.videoSize.height);
    video_->pix_fmt = AV_PIX_FMT_YUV420P;
    video_->time_base = kVideoTimeBase;
    video_->framerate = {rate, 1};
    video_->bit_rate = settings.videoBitRate;
    // A key frame, and so a fragment, every two seconds.
    video_->gop_size = 2 * rate;
    video_->max_b_frames = 0;
    video_->thread_count = 2;
    if (output_->oformat->flags & AVFMT_GLOBALHEADER) video_->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    // Real time: the fastest preset, and no look-ahead that would hold frames back.
    av_opt_set(video_->priv_data, "preset", "ultrafast", 0);
    av_opt_set(video_->priv_data, "tune", "zerolatency", 0);
    if (avcodec_open2(video_.get(), codec, nullptr) < 0) return recording_failure::videoInputRefused();
    videoStream_ = avformat_new_stream(output_, nullptr);
    if (!videoStream_) return recording_failure::videoInputRefused();
    videoStream_->time_base = kVideoTimeBase;
    avcodec_parameters_from_context(videoStream_->codecpar, video_.get());
    scaler_.reset(sws_getContext(video_->width, video_->height, AV_PIX_FMT_BGR0, video_->width, video_->height,
                                 AV_PIX_FMT_YUV420P, SWS_POINT, nullptr, nullptr, nullptr));
    videoFrame_.reset(av_frame_alloc());
    if (!scaler_ || !videoFrame_) return recording_failure::videoInputRefused();
    videoFrame_->format = AV_PIX_FMT_YUV420P;
    videoFrame_->width = video_->width;
    videoFrame_->height = video_->height;
    if (av_frame_get_buffer(videoFrame_.get(), 0) < 0) return recording_failure::videoInputRefused();
    return std::nullopt;
}

std::optional<RecordingError> FfmpegMovieEncoder::setUpAudio(const MovieSettings& settings) {
    const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_AAC);
    if (!codec) return recording_failure::audioInputRefused();
    audio_.reset(avcodec_alloc_context3(codec));
    audio_->sample_fmt = AV_SAMPLE_FMT_FLTP;
    audio_->sample_rate = settings.audioSampleRate;
    audio_->bit_rate = settings.audioBitRate;
    av_channel_layout_default(&audio_->ch_layout, kRecordingAudioChannels);
    audio_->time_base = {1, settings.audioSampleRate};
    if (output_->oformat->flags & AVFMT_GLOBALHEADER) audio_->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    if (avcodec_open2(audio_.get(), codec, nullptr) < 0) return recording_failure::audioInputRefused();
    audioStream_ = avformat_new_stream(output_, nullptr);
    if (!audioStream_) return recording_failure::audioInputRefused();
    audioStream_->time_base = audio_->time_base;
    avcodec_parameters_from_context(audioStream_->codecpar, audio_.get());
    audioFrame_.reset(av_frame_alloc());
    if (!audioFrame_) return recording_failure::audioInputRefused();
    return std::nullopt;
}

FfmpegMovieEncoder::~FfmpegMovieEncoder() { release(); }

void FfmpegMovieEncoder::release() noexcept {
    if (io_) {
        av_freep(&io_->buffer);
        avio_context_free(&io_);
    }
    if (output_) {
        output_->pb = nullptr;
        avformat_free_context(output_);
        output_ = nullptr;
    }
}

std::optional<RecordingError> FfmpegMovieEncoder::encode(AVCodecContext* codec, AVStream* stream, AVFrame* frame) {
    int result = avcodec_send_frame(codec, frame);
    if (result < 0) return ffmpegFailure("the encoder refused a frame", result);
    for (;;) {
        result = avcodec_receive_packet(codec, packet_.get());
        if (result == AVERROR(EAGAIN) || result == AVERROR_EOF) return std::nullopt;
        if (result < 0) return ffmpegFailure("the encoder failed", result);
        if (packet_->duration <= 0 && codec == video_.get()) {
            // The nominal frame time, so a fragment's last frame has a length.
            packet_->duration = av_rescale_q(1, av_inv_q(video_->framerate), video_->time_base);
        }
        av_packet_rescale_ts(packet_.get(), codec->time_base, stream->time_base);
        packet_->stream_index = stream->index;
        // Written in arrival order: the movie is fragmented, so nothing has
        // to wait for the other track (an interleaving queue would keep
        // video in memory while the microphone is silent).
        result = av_write_frame(output_, packet_.get());
        av_packet_unref(packet_.get());
        if (result < 0) {
            if (writeErrno_) return RecordingError::recordingFailed(errnoText(writeErrno_));
            return ffmpegFailure("cannot write the movie", result);
        }
    }
}

std::optional<RecordingError> FfmpegMovieEncoder::writeVideo(const VideoFrame& frame, int64_t ptsMicroseconds) {
    if (frame.width != video_->width || frame.height != video_->height || !frame.isWellFormed()) {
        return RecordingError::recordingFailed("a frame of the wrong size reached the encoder");
    }
    if (av_frame_make_writable(videoFrame_.get()) < 0) return RecordingError::recordingFailed("out of memory");
    const uint8_t* source[1] = {frame.bytes.data()};
    const int sourceStride[1] = {static_cast<int>(frame.bytesPerRow)};
    sws_scale(scaler_.get(), source, sourceStride, 0, video_->height, videoFrame_->data, videoFrame_->linesize);
    int64_t pts = av_rescale_q(ptsMicroseconds, {1, 1000000}, kVideoTimeBase);
    if (pts <= lastVideoPts_) pts = lastVideoPts_ + 1;
    lastVideoPts_ = pts;
    videoFrame_->pts = pts;
    return encode(video_.get(), videoStream_, videoFrame_.get());
}

std::optional<RecordingError> FfmpegMovieEncoder::encodeAudioFrame(int sampleCount) {
    AVFrame* frame = audioFrame_.get();
    av_frame_unref(frame);
    frame->format = AV_SAMPLE_FMT_FLTP;
    frame->sample_rate = audio_->sample_rate;
    frame->nb_samples = sampleCount;
    av_channel_layout_copy(&frame->ch_layout, &audio_->ch_layout);
    if (av_frame_get_buffer(frame, 0) < 0) return RecordingError::recordingFailed("out of memory");
    std::memcpy(frame->data[0], pendingAudio_.data(), static_cast<size_t>(sampleCount) * sizeof(float));
    pendingAudio_.erase(pendingAudio_.begin(), pendingAudio_.begin() + sampleCount);
    frame->pts = audioSamplesEncoded_;
    audioSamplesEncoded_ += sampleCount;
    return encode(audio_.get(), audioStream_, frame);
}

std::optional<RecordingError> FfmpegMovieEncoder::writeAudio(std::span<const float> samples) {
    if (!audio_) return std::nullopt;
    pendingAudio_.insert(pendingAudio_.end(), samples.begin(), samples.end());
    const auto frameSize = static_cast<size_t>(audio_->frame_size);
    while (pendingAudio_.size() >= frameSize) {
        if (auto error = encodeAudioFrame(audio_->frame_size)) return error;
    }
    return std::nullopt;
}

std::optional<RecordingError> FfmpegMovieEncoder::finish() {
    std::optional<RecordingError> error;
    if (audio_ && !pendingAudio_.empty()) error = encodeAudioFrame(static_cast<int>(pendingAudio_.size()));
    if (!error) error = encode(video_.get(), videoStream_, nullptr);
    if (!error && audio_) error = encode(audio_.get(), audioStream_, nullptr);
    if (!error) {
        const int result = av_write_trailer(output_);
        if (result < 0) error = ffmpegFailure("cannot finish the movie", result);
    }
    if (!error) avio_flush(io_);
    if (writeErrno_) error = RecordingError::recordingFailed(errnoText(writeErrno_));
    release();
    // A write that failed part way may have cut a fragment's header, which
    // would make the whole movie unreadable: keep the whole fragments.
    if (writeErrno_ && !trimMovieToWholeBoxes(fd_)) {
        logLine(LogLevel::error, LogCategory::capture, "recording.trim failed error=" + errnoText(errno));
    }
    return error;
}

void FfmpegMovieEncoder::abandon() noexcept { release(); }

}  // namespace tessarin::media
