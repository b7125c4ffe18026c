#pragma once
// Reading movies back with FFmpeg: opening a movie's decoders, turning
// decoded frames into images, and feeding packets through a decoder. Shared
// by the exporter and the editor's frame reader.

#include <filesystem>
#include <optional>

#include "core/common/Expected.h"
#include "core/common/Image.h"
#include "media/FfmpegHandles.h"

namespace tessarin::media {

struct Decoder {
    int stream = -1;
    CodecContextPtr codec;
};

struct Input {
    InputPtr format;
    Decoder video;
    Decoder audio;
};

std::optional<Decoder> openDecoder(AVFormatContext* format, AVMediaType type);
// The movie with its video decoder (else "Video track unavailable.") and,
// when asked and present, its audio decoder.
Expected<Input, RecordingError> openInput(const std::filesystem::path& movie, bool withAudio);

inline double seconds(int64_t value, AVRational base) { return static_cast<double>(value) * av_q2d(base); }
// The frame rate the stream says, its average rate when it says none.
double streamFrameRate(const AVStream* stream);

// `frame` as RGBA, scaled to `width` × `height` (its own size when 0).
std::optional<Image> rgbaImage(const AVFrame* frame, int width = 0, int height = 0);

// Frames of `decoder` from `packet` (null drains) to `take`; false stops.
template <class Take>
bool decodePacket(Decoder& decoder, const AVPacket* packet, AVFrame* frame, Take&& take) {
    if (avcodec_send_packet(decoder.codec.get(), packet) < 0 && packet) return true;
    while (avcodec_receive_frame(decoder.codec.get(), frame) >= 0) {
        const bool more = take(frame);
        av_frame_unref(frame);
        if (!more) return false;
    }
    return true;
}

}  // namespace tessarin::media
