#include "platform/portal/PipeWireParams.h"

#include <spa/buffer/buffer.h>
#include <spa/buffer/meta.h>
#include <spa/param/buffers.h>
#include <spa/param/video/format-utils.h>
#include <spa/pod/builder.h>

#include <algorithm>
#include <cmath>

#include "platform/portal/CastFrames.h"

namespace tessarin::portal {

namespace {

// The largest pointer image we take in metadata.
constexpr int32_t kCursorSide = 256;

int32_t cursorMetaSize(int32_t side) {
    return static_cast<int32_t>(sizeof(spa_meta_cursor) + sizeof(spa_meta_bitmap)) + side * side * 4;
}

// Each parameter goes after the previous ones in the same buffer.
spa_pod_builder builderAfter(PodBuffer& buffer) {
    spa_pod_builder builder{};
    builder.data = buffer.bytes + buffer.used;
    builder.size = static_cast<uint32_t>(sizeof buffer.bytes) - buffer.used;
    return builder;
}

const spa_pod* finish(PodBuffer& buffer, spa_pod_builder& builder, spa_pod* pod) {
    if (!pod) return nullptr;
    buffer.used += (builder.state.offset + 7u) & ~7u;
    return pod;
}

}  // namespace

const spa_pod* castFormatParam(PodBuffer& buffer, double framesPerSecond) {
    spa_pod_builder builder = builderAfter(buffer);
    spa_pod_frame object{};
    spa_pod_builder_push_object(&builder, &object, SPA_TYPE_OBJECT_Format, SPA_PARAM_EnumFormat);
    spa_pod_builder_prop(&builder, SPA_FORMAT_mediaType, 0);
    spa_pod_builder_id(&builder, SPA_MEDIA_TYPE_video);
    spa_pod_builder_prop(&builder, SPA_FORMAT_mediaSubtype, 0);
    spa_pod_builder_id(&builder, SPA_MEDIA_SUBTYPE_raw);

    spa_pod_builder_prop(&builder, SPA_FORMAT_VIDEO_format, 0);
    spa_pod_frame choice{};
    spa_pod_builder_push_choice(&builder, &choice, SPA_CHOICE_Enum, 0);
    const auto formats = offeredCastFormats();
    spa_pod_builder_id(&builder, formats.front());  // the default, then the alternatives
    for (const uint32_t format : formats) spa_pod_builder_id(&builder, format);
    spa_pod_builder_pop(&builder, &choice);

    spa_pod_builder_prop(&builder, SPA_FORMAT_VIDEO_size, 0);
    spa_pod_builder_push_choice(&builder, &choice, SPA_CHOICE_Range, 0);
    spa_pod_builder_rectangle(&builder, 1920, 1080);
    spa_pod_builder_rectangle(&builder, 1, 1);
    spa_pod_builder_rectangle(&builder, 16384, 16384);
    spa_pod_builder_pop(&builder, &choice);

    const auto rate = static_cast<uint32_t>(std::clamp(std::lround(framesPerSecond), 1L, 240L));
    spa_pod_builder_prop(&builder, SPA_FORMAT_VIDEO_framerate, 0);
    spa_pod_builder_push_choice(&builder, &choice, SPA_CHOICE_Range, 0);
    spa_pod_builder_fraction(&builder, rate, 1);
    spa_pod_builder_fraction(&builder, 0, 1);
    spa_pod_builder_fraction(&builder, 240, 1);
    spa_pod_builder_pop(&builder, &choice);
    // The sender's pace may go no faster than asked.
    spa_pod_builder_prop(&builder, SPA_FORMAT_VIDEO_maxFramerate, 0);
    spa_pod_builder_push_choice(&builder, &choice, SPA_CHOICE_Range, 0);
    spa_pod_builder_fraction(&builder, rate, 1);
    spa_pod_builder_fraction(&builder, 1, 1);
    spa_pod_builder_fraction(&builder, rate, 1);
    spa_pod_builder_pop(&builder, &choice);
    return finish(buffer, builder, static_cast<spa_pod*>(spa_pod_builder_pop(&builder, &object)));
}

const spa_pod* castBuffersParam(PodBuffer& buffer) {
    spa_pod_builder builder = builderAfter(buffer);
    spa_pod_frame object{};
    spa_pod_builder_push_object(&builder, &object, SPA_TYPE_OBJECT_ParamBuffers, SPA_PARAM_Buffers);
    spa_pod_builder_prop(&builder, SPA_PARAM_BUFFERS_dataType, 0);
    spa_pod_frame choice{};
    spa_pod_builder_push_choice(&builder, &choice, SPA_CHOICE_Flags, 0);
    spa_pod_builder_int(&builder, (1 << SPA_DATA_MemFd) | (1 << SPA_DATA_MemPtr));
    spa_pod_builder_pop(&builder, &choice);
    return finish(buffer, builder, static_cast<spa_pod*>(spa_pod_builder_pop(&builder, &object)));
}

const spa_pod* castCropMetaParam(PodBuffer& buffer) {
    spa_pod_builder builder = builderAfter(buffer);
    spa_pod_frame object{};
    spa_pod_builder_push_object(&builder, &object, SPA_TYPE_OBJECT_ParamMeta, SPA_PARAM_Meta);
    spa_pod_builder_prop(&builder, SPA_PARAM_META_type, 0);
    spa_pod_builder_id(&builder, SPA_META_VideoCrop);
    spa_pod_builder_prop(&builder, SPA_PARAM_META_size, 0);
    spa_pod_builder_int(&builder, static_cast<int32_t>(sizeof(spa_meta_region)));
    return finish(buffer, builder, static_cast<spa_pod*>(spa_pod_builder_pop(&builder, &object)));
}

const spa_pod* castCursorMetaParam(PodBuffer& buffer) {
    spa_pod_builder builder = builderAfter(buffer);
    spa_pod_frame object{};
    spa_pod_builder_push_object(&builder, &object, SPA_TYPE_OBJECT_ParamMeta, SPA_PARAM_Meta);
    spa_pod_builder_prop(&builder, SPA_PARAM_META_type, 0);
    spa_pod_builder_id(&builder, SPA_META_Cursor);
    spa_pod_builder_prop(&builder, SPA_PARAM_META_size, 0);
    spa_pod_frame choice{};
    spa_pod_builder_push_choice(&builder, &choice, SPA_CHOICE_Range, 0);
    spa_pod_builder_int(&builder, cursorMetaSize(64));
    spa_pod_builder_int(&builder, cursorMetaSize(1));
    spa_pod_builder_int(&builder, cursorMetaSize(kCursorSide));
    spa_pod_builder_pop(&builder, &choice);
    return finish(buffer, builder, static_cast<spa_pod*>(spa_pod_builder_pop(&builder, &object)));
}

}  // namespace tessarin::portal
