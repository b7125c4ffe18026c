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

// One parameter object of `type` and `id` whose properties `body` writes,
// placed after the previous ones in the same buffer.
template <class Body>
const spa_pod* paramObject(PodBuffer& buffer, uint32_t type, uint32_t id, Body body) {
    spa_pod_builder builder = builderAfter(buffer);
    spa_pod_frame object{};
    spa_pod_builder_push_object(&builder, &object, type, id);
    body(builder);
    auto* pod = static_cast<spa_pod*>(spa_pod_builder_pop(&builder, &object));
    if (!pod) return nullptr;
    buffer.used += (builder.state.offset + 7u) & ~7u;
    return pod;
}

// A property whose value is a choice of `kind`; `values` writes the
// default first, then the alternatives or the range.
template <class Values>
void choiceProperty(spa_pod_builder& builder, uint32_t key, uint32_t kind, Values values) {
    spa_pod_builder_prop(&builder, key, 0);
    spa_pod_frame choice{};
    spa_pod_builder_push_choice(&builder, &choice, kind, 0);
    values();
    spa_pod_builder_pop(&builder, &choice);
}

}  // namespace

const spa_pod* castFormatParam(PodBuffer& buffer, double framesPerSecond) {
    const auto rate = static_cast<uint32_t>(std::clamp(std::lround(framesPerSecond), 1L, 240L));
    return paramObject(buffer, SPA_TYPE_OBJECT_Format, SPA_PARAM_EnumFormat, [rate](spa_pod_builder& b) {
        spa_pod_builder_prop(&b, SPA_FORMAT_mediaType, 0);
        spa_pod_builder_id(&b, SPA_MEDIA_TYPE_video);
        spa_pod_builder_prop(&b, SPA_FORMAT_mediaSubtype, 0);
        spa_pod_builder_id(&b, SPA_MEDIA_SUBTYPE_raw);
        choiceProperty(b, SPA_FORMAT_VIDEO_format, SPA_CHOICE_Enum, [&b] {
            const auto formats = offeredCastFormats();
            spa_pod_builder_id(&b, formats.front());  // the default, then the alternatives
            for (const uint32_t format : formats) spa_pod_builder_id(&b, format);
        });
        choiceProperty(b, SPA_FORMAT_VIDEO_size, SPA_CHOICE_Range, [&b] {
            spa_pod_builder_rectangle(&b, 1920, 1080);
            spa_pod_builder_rectangle(&b, 1, 1);
            spa_pod_builder_rectangle(&b, 16384, 16384);
        });
        choiceProperty(b, SPA_FORMAT_VIDEO_framerate, SPA_CHOICE_Range, [&b, rate] {
            spa_pod_builder_fraction(&b, rate, 1);
            spa_pod_builder_fraction(&b, 0, 1);
            spa_pod_builder_fraction(&b, 240, 1);
        });
        // The sender's pace may go no faster than asked.
        choiceProperty(b, SPA_FORMAT_VIDEO_maxFramerate, SPA_CHOICE_Range, [&b, rate] {
            spa_pod_builder_fraction(&b, rate, 1);
            spa_pod_builder_fraction(&b, 1, 1);
            spa_pod_builder_fraction(&b, rate, 1);
        });
    });
}

const spa_pod* castBuffersParam(PodBuffer& buffer) {
    return paramObject(buffer, SPA_TYPE_OBJECT_ParamBuffers, SPA_PARAM_Buffers, [](spa_pod_builder& b) {
        choiceProperty(b, SPA_PARAM_BUFFERS_dataType, SPA_CHOICE_Flags,
                       [&b] { spa_pod_builder_int(&b, (1 << SPA_DATA_MemFd) | (1 << SPA_DATA_MemPtr)); });
    });
}

const spa_pod* castCropMetaParam(PodBuffer& buffer) {
    return paramObject(buffer, SPA_TYPE_OBJECT_ParamMeta, SPA_PARAM_Meta, [](spa_pod_builder& b) {
        spa_pod_builder_prop(&b, SPA_PARAM_META_type, 0);
        spa_pod_builder_id(&b, SPA_META_VideoCrop);
        spa_pod_builder_prop(&b, SPA_PARAM_META_size, 0);
        spa_pod_builder_int(&b, static_cast<int32_t>(sizeof(spa_meta_region)));
    });
}

const spa_pod* castCursorMetaParam(PodBuffer& buffer) {
    return paramObject(buffer, SPA_TYPE_OBJECT_ParamMeta, SPA_PARAM_Meta, [](spa_pod_builder& b) {
        spa_pod_builder_prop(&b, SPA_PARAM_META_type, 0);
        spa_pod_builder_id(&b, SPA_META_Cursor);
        choiceProperty(b, SPA_PARAM_META_size, SPA_CHOICE_Range, [&b] {
            spa_pod_builder_int(&b, cursorMetaSize(64));
            spa_pod_builder_int(&b, cursorMetaSize(1));
            spa_pod_builder_int(&b, cursorMetaSize(kCursorSide));
        });
    });
}

}  // namespace tessarin::portal
