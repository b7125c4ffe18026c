#pragma once
// The one bitmap type every capture, annotation, stitch and export passes
// around: 8-bit RGBA, straight (not premultiplied) alpha, rows top to bottom,
// no padding between rows.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>

namespace tessarin {

// Frees either kind of pixel buffer: heap (mappedBytes 0) or mapping.
struct ImagePixelRelease {
    size_t mappedBytes = 0;
    void operator()(uint8_t* pixels) const noexcept;
};

class Image {
public:
    // The largest image we agree to allocate: 2^28 pixels (1 GiB of RGBA).
    static constexpr uint64_t kMaxPixels = uint64_t{1} << 28;

    Image() = default;
    // Pixels are left uninitialised (a large image's pages are mapped and
    // zeroed up front); callers fill every row. Returns nothing when the size
    // is empty or over kMaxPixels, so no caller multiplies sizes unchecked,
    // and when the memory cannot be had: it never throws.
    static std::optional<Image> allocate(uint32_t width, uint32_t height);
    // The same for a buffer sized for the most rows it may ever need and
    // filled a few rows at a time: its pages are mapped on first touch, in
    // huge pages where the kernel offers them, and read as zero until
    // written. Falls back to allocate() when no mapping can be made.
    static std::optional<Image> allocateOnDemand(uint32_t width, uint32_t height);
    // A hint that rows [first, first + count) are about to be written: maps
    // their pages now, so the writer does not stop at each new page. Does
    // nothing for an ordinary allocation or rows outside the image.
    void prepareRows(uint32_t first, uint32_t count);

    uint32_t width() const { return width_; }
    uint32_t height() const { return height_; }
    size_t stride() const { return size_t{width_} * 4; }
    size_t byteCount() const { return stride() * height_; }
    bool isEmpty() const { return width_ == 0 || height_ == 0; }

    uint8_t* data() { return pixels_.get(); }
    const uint8_t* data() const { return pixels_.get(); }
    uint8_t* row(uint32_t y) { return pixels_.get() + stride() * y; }
    const uint8_t* row(uint32_t y) const { return pixels_.get() + stride() * y; }
    std::span<const uint8_t> bytes() const { return {pixels_.get(), byteCount()}; }

    // Keeps rows [0, height) and forgets the rest without copying: an image
    // allocated for the most rows it may need (whose untouched pages cost no
    // memory) ends at the height it reached. No-op for a larger height.
    void keepTopRows(uint32_t height) {
        if (height < height_) height_ = height;
    }
    // A deep copy (Image is move-only so large buffers are never copied by accident).
    Image clone() const;
    // A copy of the given sub-rectangle; nothing when it is not inside the image.
    std::optional<Image> cropped(uint32_t x, uint32_t y, uint32_t width, uint32_t height) const;

private:
    uint32_t width_ = 0;
    uint32_t height_ = 0;
    std::unique_ptr<uint8_t[], ImagePixelRelease> pixels_;
};

}  // namespace tessarin
