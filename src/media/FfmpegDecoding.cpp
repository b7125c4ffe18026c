#include "media/FfmpegDecoding.h"

namespace tessarin::media {

namespace fs = std::filesystem;

std::optional<Decoder> openDecoder(AVFormatContext* format, AVMediaType type) {
    const AVCodec* codec = nullptr;
    const int index = av_find_best_stream(format, type, -1, -1, &codec, 0);
    if (index < 0 || !codec) return std::nullopt;
    Decoder decoder;
    decoder.stream = index;
    decoder.codec.reset(avcodec_alloc_context3(codec));
    if (!decoder.codec) return std::nullopt;
    avcodec_parameters_to_context(decoder.codec.get(), format->streams[index]->codecpar);
    decoder.codec->pkt_timebase = format->streams[index]->time_base;
    decoder.codec->thread_count = 2;
    if (avcodec_open2(decoder.codec.get(), codec, nullptr) < 0) return std::nullopt;
    return decoder;
}

Expected<Input, RecordingError> openInput(const fs::path& movie, bool withAudio) {
    AVFormatContext* raw = nullptr;
    const int opened = avformat_open_input(&raw, movie.c_str(), nullptr, nullptr);
    if (opened < 0) return unexpected(ffmpegFailure("cannot open " + movie.filename().string(), opened));
    Input input;
    input.format.reset(raw);
    if (avformat_find_stream_info(raw, nullptr) < 0) return unexpected(recording_failure::videoTrackUnavailable());
    auto video = openDecoder(raw, AVMEDIA_TYPE_VIDEO);
    if (!video) return unexpected(recording_failure::videoTrackUnavailable());
    input.video = std::move(*video);
    if (withAudio) {
        if (auto audio = openDecoder(raw, AVMEDIA_TYPE_AUDIO)) input.audio = std::move(*audio);
    }
    return input;
}

double streamFrameRate(const AVStream* stream) {
    for (AVRational rate : {stream->avg_frame_rate, stream->r_frame_rate}) {
        if (rate.num > 0 && rate.den > 0) return av_q2d(rate);
    }
    return 0;
}

std::optional<Image> rgbaImage(const AVFrame* frame, int width, int height) {
    if (width <= 0 || height <= 0) {
        width = frame->width;
        height = frame->height;
    }
    auto image = Image::allocate(static_cast<uint32_t>(width), static_cast<uint32_t>(height));
    if (!image) return std::nullopt;
    SwsPtr scaler(sws_getContext(frame->width, frame->height, static_cast<AVPixelFormat>(frame->format), width, height,
                                 AV_PIX_FMT_RGBA, SWS_BILINEAR, nullptr, nullptr, nullptr));
    if (!scaler) return std::nullopt;
    uint8_t* planes[1] = {image->data()};
    const int strides[1] = {static_cast<int>(image->stride())};
    sws_scale(scaler.get(), frame->data, frame->linesize, 0, frame->height, planes, strides);
    return image;
}

}  // namespace tessarin::media
