#include "core/common/Image.h"

#include <sys/mman.h>

#include <algorithm>
#include <cstring>
#include <new>

namespace tessarin {
namespace {

constexpr size_t kHugePageBytes = size_t{2} << 20;
constexpr size_t kPageBytes = 4096;
// Below this a heap block is cheaper than a mapping of its own.
constexpr size_t kMappedImageBytes = size_t{1} << 20;

size_t roundUp(size_t value, size_t unit) { return (value + unit - 1) / unit * unit; }

// A private anonymous mapping of `bytes` (whole huge pages) reserved but not
// backed, starting on a huge-page boundary, so every 2 MiB of it can be a
// huge page.
uint8_t* mapAlignedOnDemand(size_t bytes) {
    const size_t mapped = bytes + kHugePageBytes;
    void* region =
        ::mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (region == MAP_FAILED) return nullptr;
    auto* start = static_cast<uint8_t*>(region);
    const auto misalignment = reinterpret_cast<uintptr_t>(start) % kHugePageBytes;
    const size_t lead = misalignment == 0 ? 0 : kHugePageBytes - misalignment;
    if (lead > 0) ::munmap(start, lead);
    if (mapped - lead > bytes) ::munmap(start + lead + bytes, mapped - lead - bytes);
    // Only a hint: without huge pages the mapping still works page by page.
    (void)::madvise(start + lead, bytes, MADV_HUGEPAGE);
    return start + lead;
}

// Maps the pages of [begin, begin + bytes) now, in one call, instead of one
// fault per page as they are first written.
void populate(uint8_t* begin, size_t bytes) {
#ifdef MADV_POPULATE_WRITE
    // Kernels before 5.14 refuse the advice; the pages are then mapped as written.
    (void)::madvise(begin, bytes, MADV_POPULATE_WRITE);
#else
    (void)begin;
    (void)bytes;
#endif
}

}  // namespace

void ImagePixelRelease::operator()(uint8_t* pixels) const noexcept {
    if (mappedBytes == 0) {
        delete[] pixels;
    } else {
        ::munmap(pixels, mappedBytes);
    }
}

std::optional<Image> Image::allocate(uint32_t width, uint32_t height) {
    const uint64_t pixels = uint64_t{width} * uint64_t{height};
    if (pixels == 0 || pixels > kMaxPixels) return std::nullopt;
    Image image;
    image.width_ = width;
    image.height_ = height;
    const size_t bytes = size_t(pixels) * 4;
    if (bytes >= kMappedImageBytes) {
        // A large image is written whole right after it is made. Mapping all
        // its pages at once costs a fraction of taking one page fault per
        // 4 KiB while it is filled. No huge pages here: finding free 2 MiB
        // blocks sometimes stalls for 100 ms (seen on a 4K capture one run
        // in three), where 4 KiB pages cost a steady few milliseconds more.
        const size_t mapped = roundUp(bytes, kPageBytes);
        void* pages = ::mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (pages != MAP_FAILED) {
            populate(static_cast<uint8_t*>(pages), mapped);
            image.pixels_ = std::unique_ptr<uint8_t[], ImagePixelRelease>(static_cast<uint8_t*>(pages),
                                                                          ImagePixelRelease{mapped});
            return image;
        }
    }
    uint8_t* heap = new (std::nothrow) uint8_t[bytes];
    if (!heap) return std::nullopt;
    image.pixels_.reset(heap);
    return image;
}

std::optional<Image> Image::allocateOnDemand(uint32_t width, uint32_t height) {
    const uint64_t pixels = uint64_t{width} * uint64_t{height};
    if (pixels == 0 || pixels > kMaxPixels) return std::nullopt;
    const size_t bytes = roundUp(size_t(pixels) * 4, kHugePageBytes);
    uint8_t* pages = mapAlignedOnDemand(bytes);
    if (!pages) return allocate(width, height);
    Image image;
    image.width_ = width;
    image.height_ = height;
    image.pixels_ = std::unique_ptr<uint8_t[], ImagePixelRelease>(pages, ImagePixelRelease{bytes});
    return image;
}

void Image::prepareRows(uint32_t first, uint32_t count) {
    if (pixels_.get_deleter().mappedBytes == 0 || first >= height_) return;
    const size_t begin = stride() * first;
    const size_t end = stride() * std::min<uint64_t>(height_, uint64_t{first} + count);
    const size_t pageBegin = begin / kHugePageBytes * kHugePageBytes;
    populate(pixels_.get() + pageBegin, end - pageBegin);
}

Image Image::clone() const {
    if (isEmpty()) return {};
    auto copy = allocate(width_, height_);
    if (!copy) throw std::bad_alloc();
    std::memcpy(copy->data(), data(), byteCount());
    return std::move(*copy);
}

std::optional<Image> Image::cropped(uint32_t x, uint32_t y, uint32_t width, uint32_t height) const {
    if (uint64_t{x} + width > width_ || uint64_t{y} + height > height_) return std::nullopt;
    auto out = allocate(width, height);
    if (!out) return std::nullopt;
    for (uint32_t r = 0; r < height; ++r) {
        std::memcpy(out->row(r), row(y + r) + size_t{x} * 4, out->stride());
    }
    return out;
}

}  // namespace tessarin
